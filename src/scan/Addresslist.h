#pragma once

#include "common/ErrorText.h"
#include "common/KeyedCollection.h"
#include "model/Address.h"
#include "model/ScanHost.h"
#include "scan/ScanSummary.h"
#include "scan/TargetResolver.h"
#include "scan/ZoneTest.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace quarlo {

class DirectDns;
class IpRange;
class DnsLookup;
class DnsResponse;
class TargetLookup;
class Settings;

// The list of addresses the user checks, and the driver of the scan.
//
// A scan is paced by a one-second tick: each pass gives every incomplete
// address a turn while the lookup control has fewer lookups pending than
// Settings::MaxQueries, and ends the scan when no address needed a turn and
// nothing is pending. Besides the tick, the same pass runs as soon as control
// is back in the event loop after a reply has freed a slot, so a scan is
// limited by the number of queries in flight and the round-trip time, not by
// the tick. A pass that moved the scan on queues one more pass the same way,
// so the end of a scan is found without waiting for the tick either.
//
// Every scan ends: when lookups are outstanding and no reply at all came for
// longer than their tries could take (DnsLookup::LongestWaitMs plus
// kStallSlackMs), the tick gives them up as unanswered. Their addresses end
// incomplete, never clean, and the summary says how many were given up.
class Addresslist : public QObject, public ScanHost {
    Q_OBJECT
public:
    Addresslist(Settings& settings, DnsLookup& dns, std::unique_ptr<DirectDns> directDns, QObject* parent = nullptr);
    ~Addresslist() override;

    QString Filename() const { return filename_; }
    void setFilename(const QString& filename) { filename_ = filename; }
    bool Changed() const { return changed_; }
    void setChanged(bool changed) { changed_ = changed; }
    // As the object model gives it: the reason below the failure.
    QString LastError() const { return lastError_.Boxed(); }
    const ErrorText& LastErrorText() const { return lastError_; }

    // The held address for the target (any letter case), or a new one
    // appended under it. Raises AddAddress either way.
    AddressPtr AddTarget(const QString& target);
    // Adds one entry as typed or pasted: a network range (see IpRange) adds
    // each of its addresses through AddRange; anything else is one target
    // for AddTarget. A refused range adds nothing and returns false, with
    // *why saying why; so does a range that could take the list past
    // TargetLimits::kMaxTargets addresses.
    bool AddEntry(const QString& text, QString* why = nullptr);
    // Appends every address of range that is not held yet, in order, each
    // remembering range.Text(); addresses already held stay as they are
    // (and where they are). Raises AddAddress for each new address only.
    // Returns how many were added. Linear in the range's size.
    int AddRange(const IpRange& range);
    // Empties the list at once (a running load ends first, as cancelled);
    // raises one NewFile and no DeleteAddress.
    void Clear();
    AddressPtr Item(const QString& key) const { return items_.Item(key); }
    AddressPtr Item(int position) const { return items_.Item(position); }
    int Count() const { return items_.Count(); }
    // A key that is not held does nothing.
    void Remove(const QString& key);
    void Remove(int position);
    // Gives a held address a new target and files it under it, in its
    // place. False (and nothing changed) when the address is not held or
    // another one already holds the target (any letter case).
    bool Rename(const AddressPtr& address, const QString& target);
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // Address list files (".BlackList"). A range whose addresses are all
    // still listed is saved as one entry where its first address stands, so
    // files stay small; a range the user removed addresses from is saved
    // address by address. Loading expands ranges again; a refused range in
    // a file is skipped and named in LoadWarnings().
    //
    // A file is counted before anything is made: one that stands for more
    // than TargetLimits::kMaxTargets addresses loads nothing. The loaded
    // list replaces the old one in one step at the end, raising one NewFile
    // and no AddAddress, so until then (and after a cancelled load) the
    // list is as it was; the file itself is only read.
    bool Save(const QString& filename = QString());
    // Loads at once. False, with the list unchanged and LastError saying
    // why, when the file cannot be read or holds too many addresses. (A
    // load in steps holds the old list until its end, so it may take twice
    // a list's memory meanwhile.)
    bool Load(const QString& filename);
    // Loading in steps, for the window and automation: PrepareLoad reads
    // and counts the file (false as for Load), PreparedCount says how many
    // addresses it will make, and StartLoad expands it a slice at a time
    // from the event loop, raising LoadProgress between slices and
    // LoadFinished at the end. CancelLoad drops a prepared or running load.
    bool PrepareLoad(const QString& filename);
    qint64 PreparedCount() const;
    void StartLoad();
    void CancelLoad();
    // A started load has not finished yet.
    bool Loading() const;
    // What the last load skipped, one line per entry; empty when nothing.
    QStringList LoadWarnings() const { return loadWarnings_; }
    // The targets Save writes, in file order.
    QStringList FileTargets() const;

    bool ScanActive() const { return scanTimer_.isActive(); }
    // Starts a scan; with Settings::CheckListsBeforeScanning each enabled
    // zone is first tested, and addresses ask a zone only once its test
    // passed (the others go on meanwhile).
    void StartScan();
    // Stops the scan; addresses it had not finished read as not checked.
    void StopScan();

    // The zone tests of the current or last scan, in server order; empty
    // when the scan ran without them.
    const std::vector<ZoneTest>& ZoneTests() const { return zoneTests_; }
    bool ZoneTestsPending() const { return zoneTestsPending_ > 0; }
    // What the current or last scan met as a whole.
    const ScanSummary& Summary() const { return summary_; }

    // Drops every lookup out, the scan's and any dialog's, without a report:
    // for a program that is closing.
    void CancelLookups();

    // One scheduler pass, as the tick runs it. Callers that cannot wait for
    // the first tick (the command-line scanner) run it right after StartScan.
    void Tick();

    // Sends one TXT query for name to every DNS server of the list.
    void QueryTXT(const QString& name, const QString& tag);
    QStringList DNSServerList() const { return dnsServerList_; }
    // TXT queries sent and not yet answered or given up.
    int OutstandingTxtQueries() const;

    // ScanHost
    void SubmitDNSLookup(const QString& tag, const QString& name, bool blacklistQuery) override;
    void SubmitBlacklistQuery(const QString& tag, const QString& name, const Server& server) override;
    void ResolveTarget(Address& address, const ResolveRequest& request) override;
    int PendingDNSLookups() const override;
    int BusyDNSLookups() const override { return busyLookups(); }
    void NotifyUpdate(Address& address) override;
    ZoneState StateOfZone(const QString& zone) const override;
    QString WhyZoneSkipped(const QString& zone) const override;

    DnsLookup& lookupControl() { return dns_; }
    // Makes the lookup control for a list's own DNS servers (the
    // DnsServers attribute); without one, every list is asked through the
    // shared control.
    using LookupFactory = std::function<std::unique_ptr<DnsLookup>(const QStringList& servers)>;
    void setLookupFactory(LookupFactory factory) { lookupFactory_ = std::move(factory); }
    // Looks targets up by the scan's rules before they join the list (the
    // add-addresses dialog), on the list's lookup control.
    std::unique_ptr<TargetLookup> NewTargetLookup();
    DirectDns& directDns() { return *directDns_; }
    Settings& settings() { return settings_; }

    // How host names and e-mail addresses are looked up: AAAA records too,
    // every mail server rather than the best-preference ones.
    void setResolverOptions(const TargetResolver::Options& options) { resolver_.setOptions(options); }
    const TargetResolver::Options& resolverOptions() const { return resolver_.options(); }

    // The tick interval; tests shorten it.
    void setTickInterval(int ms) { scanTimer_.setInterval(ms); }

    // Silence beyond the longest retry schedule before the tick gives up
    // the outstanding lookups: room for a busy event loop.
    static constexpr int kStallSlackMs = 2000;

signals:
    void NewFile();
    void AddAddress(const quarlo::AddressPtr& address);
    void DeleteAddress(const quarlo::AddressPtr& address);
    void UpdateAddress(const quarlo::AddressPtr& address);
    void ScanStarted();
    void ScanCanceled();
    void ScanComplete();
    // Every zone test of the scan has been answered.
    void ZoneTestComplete();
    // No TXT query is outstanding any more (OutstandingTxtQueries() is 0).
    void TxtQueriesSettled();
    // A started load made done of its total addresses so far.
    void LoadProgress(qint64 done, qint64 total);
    // A started load ended: loaded, or cancelled with the list unchanged.
    void LoadFinished(bool loaded);

private:
    void onLookupComplete(const QString& name, const QString& answer, int failureFlag, const QString& tag);
    void onDirectDnsReply(const DnsResponse& response);
    void schedulePass();
    // The next pass walks the list from its start again.
    void rewindPasses();
    // Gives up the outstanding lookups when nothing came back for too long.
    void checkForStall();
    void startZoneTests();
    void sendZoneTests();
    void onZoneTestReply(const QString& zone, const QString& testAddress, const QString& answer, int failureFlag);
    const ZoneTest* zoneTest(const QString& zone) const;
    void count(QueryOutcome outcome, QStringView zone, const QString& detail);
    void detach(const AddressPtr& address);
    // The held address a reply is for; null when it left the list.
    AddressPtr addressById(quint64 id);
    AddressPtr addressByQueryKey(QStringView key, int* subject);
    struct LoadJob;
    // Expands job for at most budgetMs (all of it when negative); true
    // when nothing is left.
    bool expand(LoadJob& job, qint64 budgetMs);
    void loadSlice();
    // Puts the loaded addresses in place of the held ones.
    void finishLoad();

    Settings& settings_;
    DnsLookup& dns_;
    // The lookup control a zone's queries go to: its list's own servers'
    // (made when first needed, one per distinct server set), else dns_.
    void submitBlacklistQuery(const QString& tag, const QString& name, const QString& zone, DnsLookup* lookup);
    DnsLookup& lookupFor(const Server& server);
    // The DNS servers zone's list names for itself, those usable; empty: the shared ones.
    QStringList ownDnsServers(const QString& zone) const;
    static QStringList ownDnsServers(const Server& server);
    // Over dns_ and every list's own control.
    int pendingLookups() const;
    int busyLookups() const;
    int longestWaitMs() const;
    void cancelLookups();
    void expireLookups();
    LookupFactory lookupFactory_;
    std::map<QString, std::unique_ptr<DnsLookup>> ownLookups_;
    std::unique_ptr<DirectDns> directDns_;
    KeyedCollection<Address> items_;
    QHash<quint64, std::weak_ptr<Address>> byId_; // replies are routed by Address::Id
    bool byIdStale_ = false;                      // a load replaced items_: byId_ is rebuilt when next asked
    TargetResolver resolver_;
    QString filename_;
    bool changed_ = false;
    ErrorText lastError_;
    QStringList loadWarnings_;
    QStringList dnsServerList_;
    QTimer scanTimer_;
    bool passQueued_ = false;
    QElapsedTimer lastReply_;  // since the scan started or the last lookup reply
    quint64 replies_ = 0;      // lookup replies in scans
    quint64 repliesTimed_ = 0; // of those, the ones lastReply_ has seen
    // Positions before this one hold complete addresses.
    int firstIncomplete_ = 1;
    // Positions before this one hold addresses that are complete or wait on
    // list tests only; passes start here. A test that ends moves it back.
    int resumeAt_ = 1;
    std::vector<ZoneTest> zoneTests_;
    QHash<QString, int> zoneTestIndex_;                     // case-folded zone -> position in zoneTests_
    int zoneTestsPending_ = 0;                              // queued or in flight
    std::deque<std::pair<QString, QString>> zoneTestQueue_; // zone, test address: not sent yet
    ScanSummary summary_;
    std::unique_ptr<LoadJob> load_;
    QTimer loadTimer_;
};

} // namespace quarlo
