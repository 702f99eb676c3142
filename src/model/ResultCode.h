#pragma once

#include <QString>

namespace quarlo {

// One answer of a blacklist server and the reason it stands for. Only
// ResultCodes::Add creates them, with both fields filled.
class ResultCode {
public:
    ResultCode(const QString& address, const QString& reason) : address_(address), reason_(reason) {}

    QString Address() const { return address_; }
    void setAddress(const QString& address) { address_ = address; }
    QString Reason() const { return reason_; }
    void setReason(const QString& reason) { reason_ = reason; }

private:
    QString address_;
    QString reason_;
};

} // namespace quarlo
