#include "storage/XmlFunctions.h"

#include "common/NameFunctions.h"

namespace quarlo {

pugi::xml_node AddElement(pugi::xml_node parent, const QString& name, const QString& text)
{
    pugi::xml_node element = parent.append_child(ToXml(SafeName(name, QString())).constData());
    if (!text.isEmpty()) element.text().set(ToXml(text).constData());
    return element;
}

pugi::xml_attribute SetAttribute(pugi::xml_node element, const QString& name, const QVariant& value)
{
    const QByteArray key = ToXml(SafeName(name, QString()));
    pugi::xml_attribute attribute = element.attribute(key.constData());
    if (!attribute) attribute = element.append_attribute(key.constData());
    QString text;
    if (value.typeId() == QMetaType::Bool)
        text = value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    else if (!value.isNull())
        text = value.toString();
    attribute.set_value(ToXml(text).constData());
    return attribute;
}

QString BoolToText(bool value)
{
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

bool TextToBool(const QString& text)
{
    const QString upper = text.toUpper();
    return upper == QLatin1String("YES") || upper == QLatin1String("TRUE") || upper == QLatin1String("1")
        || upper == QLatin1String("Y");
}

} // namespace quarlo
