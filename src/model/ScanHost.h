#pragma once

#include "model/TargetResolution.h"

#include <QString>

namespace quarlo {

class Address;
class Server;

// What an address needs from the list that drives its scan: the shared DNS
// lookup control, the state of each zone's pre-scan test and the list's
// update event.
class ScanHost {
public:
    enum class ZoneState {
        Ready,   // may be asked
        Pending, // its test has not been answered yet: ask it later
        Skipped, // failed its test: not asked in this scan
    };

    virtual ~ScanHost() = default;

    virtual void SubmitDNSLookup(const QString& tag, const QString& name, bool blacklistQuery) = 0;
    // A list's query from a caller that holds the list's definition: spares
    // finding it again by the zone in the tag, once per query of a scan.
    virtual void SubmitBlacklistQuery(const QString& tag, const QString& name, const Server& server)
    {
        (void)server;
        SubmitDNSLookup(tag, name, true);
    }
    virtual int PendingDNSLookups() const = 0;
    // Of those, the ones that count against the scan's limit: lookups not
    // expected to be answered soon (a list that does not answer) leave
    // room for the lists that do.
    virtual int BusyDNSLookups() const { return PendingDNSLookups(); }
    // Looks up what a host name or e-mail address stands for; the list
    // answers through Address::ApplyResolution, always, once.
    virtual void ResolveTarget(Address& address, const ResolveRequest& request) = 0;
    virtual void NotifyUpdate(Address& address) = 0;
    virtual ZoneState StateOfZone(const QString& zone) const
    {
        (void)zone;
        return ZoneState::Ready;
    }
    // Why a skipped zone was skipped, for the user.
    virtual QString WhyZoneSkipped(const QString& zone) const
    {
        (void)zone;
        return QString();
    }
};

} // namespace quarlo
