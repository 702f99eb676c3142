#pragma once

#include "model/QueryOutcome.h"
#include "model/RespondingServers.h"
#include "model/Server.h"
#include "model/TargetResolution.h"
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

// One entry of the address list: the target as entered, what it was found to
// stand for in this scan (its addresses, an e-mail address's mail servers,
// the domain asked of domain lists), its scan progress and its results.
//
// A host name is checked at every address it has, an e-mail address at every
// address of its mail servers; the target's verdict is the worst of them.
class Address : public std::enable_shared_from_this<Address> {
public:
    using Clock = std::chrono::steady_clock;

    // Addresses of one target checked at most: a name with hundreds of
    // records must not multiply a scan's queries without bound.
    static constexpr int kMaxCheckedAddresses = 32;
    static inline const QString kUnresolvable = QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "Unresolvable"));
    // The address's texts with a part filled in. They stay English in
    // reports, automation and the history; the window reads them back into
    // the user's language (ui/ShownText).
    static constexpr const char* kMoreAddressesText = QT_TRANSLATE_NOOP("quarlo::EngineText", "%1 more");
    static constexpr const char* kBadAddressLiteralText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "e-mail address: not an address literal: %1");
    static constexpr const char* kBadMailDomainText = QT_TRANSLATE_NOOP("quarlo::EngineText", "e-mail address: %1");
    static constexpr const char* kPublicSuffixText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "a domain list; %1 is itself a public suffix");
    static constexpr const char* kOutsideLoopbackText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "answered %1, outside 127.0.0.0/8");

    Address(const QString& target, Settings& settings, ScanHost* host = nullptr);

    // The address's identity for its whole life: replies of a scan are
    // routed by it, so a rename cannot send them to another entry.
    quint64 Id() const { return id_; }
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
    // The first checked address, kUnresolvable when the target has none;
    // empty before the scan found one.
    QString IP() const;
    // Every address checked in this scan, each with the host it belongs to.
    const std::vector<TargetResolution::Ip>& CheckedAddresses() const { return addresses_; }
    // An e-mail address: the mail servers checked in this scan.
    QStringList MailHosts() const { return mailHosts_; }
    // Why no list was asked: no enabled list; empty otherwise.
    QString NotCheckedReason() const { return notCheckedReason_; }
    quarlo::RespondingServers& RespondingServers() { return respondingServers_; }
    const quarlo::RespondingServers& RespondingServers() const { return respondingServers_; }
    // The target, followed in parentheses by what was checked for it (an
    // e-mail address's mail servers, then the addresses; "Unresolvable";
    // "no mail") when that differs from it.
    QString Caption() const;
    bool Scanning() const { return scanning_; }
    bool Complete() const { return complete_; }
    // Every list asked but those whose tests are still out: nothing to do
    // here until one of those tests ends.
    bool AwaitsListTests() const { return awaitsTests_; }
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
    // Why looking the target up failed or was partial ("MX lookup failed:
    // SERVFAIL", ...); empty when it did not.
    QString HostLookupProblem() const { return resolutionProblem_; }
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
    // The (first) checked address is an IPv6 address.
    bool IsIPv6() const { return !addresses_.empty() && addresses_.front().address.contains(QLatin1Char(':')); }
    // Enabled lists not asked because they cannot answer for this target.
    int ZonesNotApplicable() const { return zonesNotApplicable_; }

    // One scheduling step: the target's lookups first, then blacklist queries.
    void Query();
    // What the list's lookups made of the target (see ScanHost::ResolveTarget).
    void ApplyResolution(const TargetResolution& resolution);
    // The key a blacklist query for one checked subject carries in its tag:
    // the Id, and the subject's position when it is not the first.
    QString QueryKey(int subject) const;
    // Reads a QueryKey; false for text that is not one.
    static bool ParseQueryKey(QStringView key, quint64* id, int* subject);
    // Sends blacklist queries from ServerIndex on, while the limit allows.
    void BlacklistCheck();
    // Applies one lookup reply; parts is the reply's tag split at ":" (key
    // first), failureFlag the lookup's DnsFailure flag. Returns how a
    // blacklist query ended.
    QueryOutcome ProcessDNSReply(const QStringList& parts, const QString& queryName, const QString& answer,
                                 int failureFlag = 0);

    // The reply to the query of one list, as ProcessDNSReply gives it for a
    // "BlacklistCheck" tag (the scan's path, without the tag's parts).
    QueryOutcome ProcessBlacklistReply(QStringView zone, const QString& answer, int failureFlag, int subject = 0);
    // The responding server a listing of subject on zone is filed under.
    RespondingServerPtr RespondingServerFor(const QString& zone, int subject) const;
    // Every responding server of the zone: one per subject it answered for.
    std::vector<RespondingServerPtr> RespondingServersOf(const QString& zone) const;

    // The first look at a blacklist answer, before result codes: NotListed,
    // Failed (detail says why), or Listed for answers in 127.0.0.0/8 whose
    // codes still decide between a listing and a refusal.
    static QueryOutcome ScreenAnswer(const QString& answer, int failureFlag, QString* detail);

    int ServerIndex() const { return serverIndex_; }

    // The list this address belongs to; null once it left the list.
    void setHost(ScanHost* host) { host_ = host; }
    ScanHost* host() const { return host_; }

private:
    // Reads the target once per scan: what it is, what to look up, what
    // domain lists are asked. False when it cannot be checked.
    bool classifyTarget();
    // One thing asked of lists: a checked address (IP lists) or a domain
    // (domain lists).
    struct Subject {
        QString value; // the address, or the domain in ASCII
        bool domain = false;
        mutable QString reversed; // the address reversed for query names, made once
        // A special-purpose address other than a list test entry: never
        // sent to a public list.
        bool reserved = false;
    };
    // Whether the server's kind of list can answer for the subject.
    static bool answersFor(const Server& server, const Subject& subject);
    // The name to ask the server's zone for one subject; empty when the
    // list cannot answer for it.
    QString queryNameFor(const Server& server, const Subject& subject) const;
    // Why the server cannot answer for any subject of this target.
    QString whyNotApplicable(const Server& server) const;
    // Asks the zone for every subject it can answer for; false when none.
    bool askZone(const Server& server);
    void submitQuery(const Server& server, const QString& name, int subject);
    void addSubject(const QString& value, bool domain);
    QString subjectLabel(int subject) const;
    void askOrDefer(const Server& server);
    void note(const QString& zone, ZoneNote::Kind kind, const QString& detail);
    // Asks the domain lists what is left to ask, or ends the scan of it.
    void checkWhatIsLeft();
    // Sends queries to zones put off while their test was running.
    // False when the query limit stopped it before every held zone was seen.
    bool askDeferredZones();

    Settings& settings_;
    ScanHost* host_;
    quint64 id_;
    QString target_;
    QString range_;
    QString results_;
    bool complete_ = false;
    bool scanning_ = false;
    bool blacklisted_ = false;
    int serverIndex_ = 0;
    bool resolving_ = false; // the list is looking the target up
    bool resolved_ = false;  // subjects_ holds what the lookups found
    bool unresolvable_ = false;
    bool noMail_ = false;
    QString resolutionProblem_; // lookups that failed: the verdict cannot be clean
    ResolveRequest request_;
    std::vector<TargetResolution::Ip> addresses_;
    QStringList mailHosts_;
    std::vector<Subject> subjects_;
    QString notCheckedReason_;
    int pendingQueries_ = 0;
    int zonesChecked_ = 0;
    bool stopped_ = false;
    bool unsupported_ = false;
    bool classified_ = false;
    bool mailTarget_ = false;
    QString domain_;
    QString invalidReason_;
    int zonesNotApplicable_ = 0;
    std::vector<ZoneNote> zoneNotes_;
    QStringList deferredZones_;
    bool awaitsTests_ = false;
    quarlo::RespondingServers respondingServers_;
};

using AddressPtr = std::shared_ptr<Address>;

} // namespace quarlo
