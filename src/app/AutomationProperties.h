#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusVariant>
#include <QMetaProperty>
#include <QVariantMap>

namespace quarlo {

class AutomationObject;

// org.freedesktop.DBus.Properties of an automation object, answered here
// rather than by QtDBus: QtDBus reads and writes properties outside the
// call, so the InvalidArgs or ObjectGone a setter or getter sends never
// reaches the client, who hears success. As an adaptor of the object these
// are ordinary calls, and a setter's error is the reply.
class AutomationProperties : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Properties")
    // QtDBus describes the interface itself; a second description would
    // repeat it.
    Q_CLASSINFO("D-Bus Introspection", "")
public:
    explicit AutomationProperties(AutomationObject* object);

public slots:
    QDBusVariant Get(const QString& interface, const QString& name);
    QVariantMap GetAll(const QString& interface);
    void Set(const QString& interface, const QString& name, const QDBusVariant& value);

private:
    // The adaptor of interface that has the property name (any interface
    // when empty) and its property; false (and the error sent) when none.
    bool find(const QString& interface, const QString& name, QObject*& adaptor, QMetaProperty& property);
    QObject* adaptorOf(const QString& interface) const;
    // value as the property's type: integers of any width that fit, else
    // exactly the type. False (and InvalidArgs sent) otherwise.
    bool convert(const QMetaProperty& property, QVariant& value);
    void replyError(const QString& name, const QString& text);

    AutomationObject* object_;
};

} // namespace quarlo
