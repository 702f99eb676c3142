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
    // False for an operator's refusal or error answer (say, "query via a
    // public resolver"): a real answer that does not list the address.
    bool Listing() const { return listing_; }
    void setListing(bool on) { listing_ = on; }

private:
    QString address_;
    QString reason_;
    bool listing_ = true;
};

} // namespace quarlo
