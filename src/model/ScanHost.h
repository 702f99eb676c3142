#pragma once

#include <QString>

namespace quarlo {

class Address;

// What an address needs from the list that drives its scan: the shared DNS
// lookup control and the list's update event.
class ScanHost {
public:
    virtual ~ScanHost() = default;

    virtual void SubmitDNSLookup(const QString& tag, const QString& name, bool blacklistQuery) = 0;
    virtual int PendingDNSLookups() const = 0;
    virtual void NotifyUpdate(Address& address) = 0;
};

} // namespace quarlo
