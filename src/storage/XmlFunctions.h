#pragma once

#include <QString>
#include <QVariant>
#include <pugixml.hpp>

// How the program writes XML nodes and spells Booleans in its files.
namespace quarlo {

// Appends a new element (its name passed through SafeName) with the given
// text as the last child of parent.
pugi::xml_node AddElement(pugi::xml_node parent, const QString& name, const QString& text);

// Sets an attribute (name through SafeName) to the value as text, empty for a
// null value; an existing attribute of that name is replaced.
pugi::xml_attribute SetAttribute(pugi::xml_node element, const QString& name, const QVariant& value);

QString BoolToText(bool value);
// True for "YES", "TRUE", "1" and "Y" in any letter case; blanks are not trimmed.
bool TextToBool(const QString& text);

// UTF-8 conversions between pugixml's char strings and QString.
inline QString FromXml(const char* text)
{
    return QString::fromUtf8(text);
}
inline QByteArray ToXml(const QString& text)
{
    return text.toUtf8();
}

} // namespace quarlo
