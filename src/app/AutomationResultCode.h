#pragma once

#include "app/AutomationHandle.h"
#include "app/AutomationObject.h"
#include "model/ResultCodes.h"

#include <QList>

namespace quarlo {

// /ResultCode/<id>: one row of a server's answer table.
class AutomationResultCode : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(QString Address READ Address WRITE setAddress)
    Q_PROPERTY(QString Reason READ Reason WRITE setReason)
    // False for a code that means the operator refused the query.
    Q_PROPERTY(bool Listing READ Listing WRITE setListing)
public:
    AutomationResultCode(AutomationServer& server, const QString& path, AutomationHandle<ResultCode> owner);

    QString Address() const;
    void setAddress(const QString& address);
    QString Reason() const;
    void setReason(const QString& reason);
    bool Listing() const;
    void setListing(bool on);

private:
    AutomationHandle<ResultCode> owner_;
};

} // namespace quarlo
