#pragma once

#include "model/QueryOutcome.h"
#include "model/Server.h"
#include "model/RespondingServers.h"
#include "model/Verdict.h"
#include "model/ZoneNote.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <vector>

namespace quarlo {

class ScanHost;
class Settings;

// One entry of the address list: the target as entered, its resolved IPv4
// address, its scan progress and its results.
class Address : public std::enable_shared_from_this<Address> {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds kLookupRetry{30};
    // Host lookups sent without a reply before the host counts as
    // unresolvable, so no target can hold a scan open for ever.
    static constexpr int kLookupTries = 3;
    static inline const QString kUnresolvable = QStringLiteral("Unresolvable");

    Address(const QString& target, Settings& settings, ScanHost* host = nullptr);

    QString Key() const { return target_; }
    QString Target() const { return target_; }
    // Changes the text and Key, not the key under which the list holds it
    // (Addresslist::Rename changes both).
    void setTarget(const QString& target) { target_ = target; }
    // The canonical text of the network range this address was added with
    // ("203.0.113.0/24"); empty for an address added on its own. The list
    // file keeps a range whose addresses are all still listed as one entry.
    QString Range() const { return range_; }
    void setRange(const QString& range) { range_ = range; }
    QString IP() const { return ip_; }
    quarlo::RespondingServers& RespondingServers() { return respondingServers_; }
    const quarlo::RespondingServers& RespondingServers() const { return respondingServers_; }
    // The target, followed by its IP (or "Unresolvable") in parentheses when
    // that differs from it.
    QString Caption() const;
    bool Scanning() const { return scanning_; }
    bool Complete() const { return complete_; }
    QString Results() const { return results_; }
    // True when a server listed it in this scan; refusals do not count.
    bool Blacklisted() const { return blacklisted_; }

    // The target as it is put into query names: without surrounding blanks.
    QString QueryTarget() const { return target_.trimmed(); }

    // What this scan found, from every query's outcome.
    quarlo::Verdict Verdict() const;
    // Servers that list it (refusing servers are responding servers too).
    int ListingServerCount() const;
    // Blacklist queries sent in this scan and not answered yet.
    int PendingQueries() const { return pendingQueries_; }
    // Zones asked or skipped in this scan.
    int ZonesChecked() const { return zonesChecked_; }
    // The lists that gave no usable answer, in the order they ended.
    const std::vector<ZoneNote>& ZoneNotes() const { return zoneNotes_; }
    QStringList ZonesWith(ZoneNote::Kind kind) const;
    // Why the host lookup failed ("timed out", ...); empty when it did not.
    QString HostLookupProblem() const { return hostLookupProblem_; }
    // The scan was stopped before this address was finished.
    bool Stopped() const { return stopped_; }
    // Marks the address as left unfinished by a stopped scan; a finished
    // address keeps its verdict.
    void MarkStopped();

    // Setting false also resets the address for a new scan.
    void SetComplete(bool value);

    // Why the target cannot be checked at all; empty when it can.
    QString InvalidReason() const { return invalidReason_; }
    // The domain asked of domain lists: a host name's registered domain or
    // an e-mail address's domain, in ASCII; empty for IP targets.
    QString ListDomain() const { return domain_; }
    // The checked address is an IPv6 address.
    bool IsIPv6() const { return ip_.contains(QLatin1Char(':')); }
    // Enabled lists not asked because they cannot answer for this target.
    int ZonesNotApplicable() const { return zonesNotApplicable_; }

    // One scheduling step: host lookup first, then blacklist queries.
    void Query();
    // Sends blacklist queries from ServerIndex on, while the limit allows.
    void BlacklistCheck();
    // Applies one lookup reply; parts is the reply's tag split at ":" (key
    // first), failureFlag the lookup's DnsFailure flag. Returns how a
    // blacklist query ended.
    QueryOutcome ProcessDNSReply(const QStringList& parts, const QString& queryName, const QString& answer,
                                 int failureFlag = 0);

    // The first look at a blacklist answer, before result codes: NotListed,
    // Failed (detail says why), or Listed for answers in 127.0.0.0/8 whose
    // codes still decide between a listing and a refusal.
    // The reply to the query of one list, as ProcessDNSReply gives it for a
    // "BlacklistCheck" tag (the scan's path, without the tag's parts).
    QueryOutcome ProcessBlacklistReply(const QString& zone, const QString& answer, int failureFlag);

    static QueryOutcome ScreenAnswer(const QString& answer, int failureFlag, QString* detail);

    int ServerIndex() const { return serverIndex_; }
    Clock::time_point RetryTime() const { return retryTime_; }

    // The list this address belongs to; null once it left the list.
    void setHost(ScanHost* host) { host_ = host; }
    ScanHost* host() const { return host_; }

private:
    // Reads the target once per scan: what it is, what to look up, what
    // domain lists are asked. False when it cannot be checked.
    bool classifyTarget();
    // The name to ask the server's zone for this target; empty (why says
    // why) when the list cannot answer for it.
    QString queryNameFor(const Server& server, QString* why) const;
    void submitQuery(const QString& zone, const QString& name);
    void askOrDefer(const Server& server);
    void note(const QString& zone, ZoneNote::Kind kind, const QString& detail);
    void becomeUnresolvable(const QString& problem);
    // Sends queries to zones put off while their test was running.
    void askDeferredZones();

    Settings& settings_;
    ScanHost* host_;
    QString target_;
    QString range_;
    QString ip_;
    QString results_;
    bool complete_ = false;
    bool scanning_ = false;
    bool blacklisted_ = false;
    int serverIndex_ = 0;
    Clock::time_point retryTime_{};
    int lookupsSent_ = 0;
    int pendingQueries_ = 0;
    int zonesChecked_ = 0;
    bool stopped_ = false;
    bool unsupported_ = false;
    bool classified_ = false;
    bool mailTarget_ = false;
    QString lookupName_; // the host name in ASCII, as looked up
    mutable QString reversedIp_; // ip_ reversed for an IP list's query name
    mutable QString reversedFor_; // the ip_ that reversedIp_ was made from
    QString domain_;
    QString invalidReason_;
    int zonesNotApplicable_ = 0;
    QString hostLookupProblem_;
    std::vector<ZoneNote> zoneNotes_;
    QStringList deferredZones_;
    quarlo::RespondingServers respondingServers_;
};

using AddressPtr = std::shared_ptr<Address>;

} // namespace quarlo
