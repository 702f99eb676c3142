#include "app/AutomationProperties.h"

#include "app/AutomationObject.h"

#include <QDBusError>
#include <QDBusObjectPath>
#include <QMetaClassInfo>
#include <limits>

namespace quarlo {
namespace {

const char* interfaceOf(const QObject* adaptor)
{
    const QMetaObject* meta = adaptor->metaObject();
    const int index = meta->indexOfClassInfo("D-Bus Interface");
    return index >= 0 ? meta->classInfo(index).value() : "";
}

QString kindOf(QMetaType type)
{
    switch (type.id()) {
    case QMetaType::QString: return QStringLiteral("a text");
    case QMetaType::Bool: return QStringLiteral("a Boolean");
    case QMetaType::Int: return QStringLiteral("an integer");
    default:
        if (type == QMetaType::fromType<QDBusObjectPath>()) return QStringLiteral("an object path");
        return QString::fromLatin1(type.isValid() ? type.name() : "nothing");
    }
}

} // namespace

AutomationProperties::AutomationProperties(AutomationObject* object) : QDBusAbstractAdaptor(object), object_(object) {}

void AutomationProperties::replyError(const QString& name, const QString& text)
{
    object_->replyError(name, text);
}

QObject* AutomationProperties::adaptorOf(const QString& interface) const
{
    for (QObject* child : object_->children()) {
        auto* adaptor = qobject_cast<QDBusAbstractAdaptor*>(child);
        if (adaptor && adaptor != this && interface == QLatin1String(interfaceOf(adaptor))) return adaptor;
    }
    return nullptr;
}

bool AutomationProperties::find(const QString& interface, const QString& name, QObject*& adaptor,
                                QMetaProperty& property)
{
    const QByteArray key = name.toUtf8();
    for (QObject* child : object_->children()) {
        auto* candidate = qobject_cast<QDBusAbstractAdaptor*>(child);
        if (!candidate || candidate == this) continue;
        if (!interface.isEmpty() && interface != QLatin1String(interfaceOf(candidate))) continue;
        const int index = candidate->metaObject()->indexOfProperty(key.constData());
        if (index >= QDBusAbstractAdaptor::staticMetaObject.propertyCount()) {
            adaptor = candidate;
            property = candidate->metaObject()->property(index);
            return true;
        }
    }
    if (!interface.isEmpty() && !adaptorOf(interface)) {
        replyError(QDBusError::errorString(QDBusError::UnknownInterface),
                   QStringLiteral("Interface %1 was not found in object %2")
                       .arg(AutomationObject::excerpt(interface), object_->path()));
    } else {
        replyError(QDBusError::errorString(QDBusError::UnknownProperty),
                   QStringLiteral("Property %1 was not found in object %2")
                       .arg(AutomationObject::excerpt(name), object_->path()));
    }
    return false;
}

bool AutomationProperties::convert(const QMetaProperty& property, QVariant& value)
{
    const QMetaType type = property.metaType();
    if (value.metaType() == type) return true;
    if (type.id() == QMetaType::Int && AutomationObject::isInteger(value.metaType().id())) {
        // Clients' languages pick integer widths of their own.
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        const bool huge = value.metaType().id() == QMetaType::ULongLong
            && value.toULongLong() > quint64(std::numeric_limits<int>::max());
        if (ok && !huge && n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max()) {
            value = QVariant(static_cast<int>(n));
            return true;
        }
        replyError(QDBusError::errorString(QDBusError::InvalidArgs),
                   QStringLiteral("%1 is out of range").arg(QLatin1String(property.name())));
        return false;
    }
    replyError(QDBusError::errorString(QDBusError::InvalidArgs),
               QStringLiteral("%1 must be %2, not %3")
                   .arg(QLatin1String(property.name()), kindOf(type), kindOf(value.metaType())));
    return false;
}

QDBusVariant AutomationProperties::Get(const QString& interface, const QString& name)
{
    QObject* adaptor = nullptr;
    QMetaProperty property;
    if (!find(interface, name, adaptor, property)) return QDBusVariant();
    return QDBusVariant(property.read(adaptor));
}

QVariantMap AutomationProperties::GetAll(const QString& interface)
{
    if (!interface.isEmpty() && !adaptorOf(interface)) {
        replyError(QDBusError::errorString(QDBusError::UnknownInterface),
                   QStringLiteral("Interface %1 was not found in object %2")
                       .arg(AutomationObject::excerpt(interface), object_->path()));
        return {};
    }
    QVariantMap all;
    for (QObject* child : object_->children()) {
        auto* adaptor = qobject_cast<QDBusAbstractAdaptor*>(child);
        if (!adaptor || adaptor == this) continue;
        if (!interface.isEmpty() && interface != QLatin1String(interfaceOf(adaptor))) continue;
        const QMetaObject* meta = adaptor->metaObject();
        for (int i = QDBusAbstractAdaptor::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (!property.isReadable()) continue;
            all.insert(QString::fromLatin1(property.name()), property.read(adaptor));
            // A getter that answered with an error (the object is gone)
            // has given the reply.
            if (object_->isDelayedReply()) return {};
        }
    }
    return all;
}

void AutomationProperties::Set(const QString& interface, const QString& name, const QDBusVariant& value)
{
    QObject* adaptor = nullptr;
    QMetaProperty property;
    if (!find(interface, name, adaptor, property)) return;
    if (!property.isWritable()) {
        replyError(QDBusError::errorString(QDBusError::PropertyReadOnly),
                   QStringLiteral("Property %1 is read-only").arg(QLatin1String(property.name())));
        return;
    }
    QVariant v = value.variant();
    if (convert(property, v)) property.write(adaptor, v);
}

} // namespace quarlo
