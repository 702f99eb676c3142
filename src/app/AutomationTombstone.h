#pragma once

#include <QDBusVirtualObject>

namespace quarlo {

// Stands at the paths of objects that are gone (an address removed, a list
// cleared) and answers every call there with a clear error, so a client
// holding an old path never reaches another object or a default value.
class AutomationTombstone : public QDBusVirtualObject {
    Q_OBJECT
public:
    using QDBusVirtualObject::QDBusVirtualObject;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
};

} // namespace quarlo
