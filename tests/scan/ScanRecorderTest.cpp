// What a finished scan records: every list's outcome per address, through
// the one recorder the window, automation and the command line share.
#include "scan/ScanRecorder.h"

#include "storage/HistoryStore.h"
#include "support/FakeDnsServer.h"
#include "support/HistoryRecords.h"
#include "support/ModelBuilders.h"
#include "support/RbldnsdScan.h"
#include <QTest>

using namespace quarlo;
using Fake = FakeDnsServer;
using Outcome = ScanObservation::Outcome;

namespace {

QList<Fake::Send> behave(const Fake::Query& q)
{
    const QByteArray name = q.name.toLower();
    const auto reply = [&](int rcode, const QList<Fake::Record>& answers = {}) {
        return Fake::Reply(Fake::BuildReply(q, rcode, answers));
    };
    const bool listed = name.startsWith("1.2.0.192.") || name.startsWith("2.0.0.127.");
    if (name.endsWith(".listed.test")) {
        if (!listed) return reply(Fake::NxDomain);
        if (q.type == 16) return reply(Fake::NoError, {Fake::Txt({"Listed, see http://listed.test/"})});
        return reply(Fake::NoError, {Fake::A("127.0.0.2")});
    }
    if (name.endsWith(".servfail.test")) { // passes its self-test, then fails
        if (name.startsWith("2.0.0.127.")) return reply(Fake::NoError, {Fake::A("127.0.0.2")});
        if (name.startsWith("1.0.0.127.")) return reply(Fake::NxDomain);
        return reply(Fake::ServFail);
    }
    if (name.endsWith(".refusing.test")) {
        if (name.startsWith("1.0.0.127.")) return reply(Fake::NxDomain);
        return reply(Fake::NoError,
                     {Fake::A(listed && name.startsWith("2.0.0.127.") ? "127.0.0.2" : "127.255.255.254")});
    }
    if (name.endsWith(".everything.test")) return reply(Fake::NoError, {Fake::A("127.0.0.2")});
    if (name.endsWith(".dom.test"))
        return reply(name.startsWith("test.") ? Fake::NoError : Fake::NxDomain, {Fake::A("127.0.0.2")});
    if (name.endsWith("gone.hosts.test")) return reply(Fake::NxDomain);
    return {};
}

class Recorder : public RbldnsdScan {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dns.start());
        dns.setScript(behave);
        auto& servers = settings.BlacklistServers();
        servers.Add(makeServer("listed.test", true, {{"127.0.0.2", "Spam source"}}, false, "Listed List"));
        servers.Add(makeServer("servfail.test", true, {{"127.0.0.2", "Spam source"}}));
        auto refusing =
            makeServer("refusing.test", true, {{"127.0.0.2", "Spam source"}, {"127.255.255.254", "Query refused"}});
        refusing->ResultCodes().Item("127.255.255.254")->setListing(false);
        servers.Add(refusing);
        servers.Add(makeServer("everything.test", true, {{"127.0.0.2", "Listed"}}));
        auto domains = makeServer("dom.test", true, {{"127.0.0.2", "Spam domain"}});
        domains->setKind(Server::ListKind::DomainList);
        servers.Add(domains);
        servers.Add(makeServer("disabled.test", false, {{"127.0.0.2", "Listed"}}));
        settings.setCheckListsBeforeScanning(true);
        connect(QStringList{dns.serverSpec()});
        path = dir.filePath("history.sqlite");
    }

    Fake dns;
    QString path;
};

} // namespace

TEST_F(Recorder, RecordsEveryEnabledListPerAddressOnceTheScanIsCompleteAndNeverAStoppedOne)
{
    ScanRecorder recorder(*list, QStringLiteral("window"));
    recorder.setHistoryPath(path);
    QSignalSpy recorded(&recorder, &ScanRecorder::Recorded);
    QSignalSpy failed(&recorder, &ScanRecorder::RecordFailed);
    list->AddTarget("192.0.2.1");
    list->AddTarget("192.0.2.9");
    // No list can be asked about these; they are recorded all the same.
    list->AddTarget("gone.hosts.test");
    list->AddTarget("not a target!");
    EXPECT_TRUE(ScanRecorder::Observe(*list, "cli").observations.empty()) << "nothing scanned yet";
    list->StartScan();
    list->Tick();
    ASSERT_TRUE(recorded.wait(30000)) << "nothing recorded";
    EXPECT_EQ(failed.count(), 0);

    const auto changes = recorded.at(0).at(0).value<std::vector<HistoryChange>>();
    QStringList got;
    for (const HistoryChange& c : changes) got << HistoryChange::Keyword(c.kind) + " " + c.target + " " + c.zone;
    EXPECT_EQ(got,
              (QStringList{"listed 192.0.2.1 listed.test", "failing  servfail.test", "failing  refusing.test",
                           "failing  everything.test"}));

    // Every enabled list per address, the disabled one never.
    HistoryStore store;
    ASSERT_TRUE(store.Open(path, true));
    QStringList outcomes;
    for (const char* target : {"192.0.2.1", "192.0.2.9"}) {
        std::vector<ZoneStanding> standing;
        ASSERT_TRUE(store.Standing(target, &standing));
        for (const ZoneStanding& s : standing)
            outcomes << s.latest.zone + " " + ScanObservation::Keyword(s.latest.outcome);
    }
    EXPECT_EQ(
        outcomes,
        (QStringList{"listed.test listed", "servfail.test failed", "refusing.test refused", "everything.test skipped",
                     "dom.test not-applicable", "listed.test not-listed", "servfail.test failed",
                     "refusing.test refused", "everything.test skipped", "dom.test not-applicable"}));
    std::vector<HistoryEvent> events;
    ASSERT_TRUE(store.Timeline("192.0.2.1", &events));
    const auto listing = std::find_if(events.begin(), events.end(),
                                      [](const HistoryEvent& e) { return e.observation.zone == "listed.test"; });
    ASSERT_NE(listing, events.end());
    const ScanObservation& o = listing->observation;
    // The TXT text comes after the scan's answers: the recorder waits for it.
    EXPECT_EQ(QStringList({o.listName, o.codes.join(','), o.reasons.join(','), o.txt.join(','), o.link}),
              QStringList({"Listed List", "127.0.0.2", "Spam source", "Listed, see http://listed.test/",
                           "https://listed.test/"}));

    // A host name that does not resolve and a target no scan can check:
    // once per enabled list, with why, so their history has something to show.
    const struct {
        const char* target;
        const char* keyword;
    } notAsked[] = {{"gone.hosts.test", "unresolvable"}, {"not a target!", "invalid"}};
    for (const auto& c : notAsked) {
        SCOPED_TRACE(c.target);
        std::vector<ZoneStanding> standing;
        ASSERT_TRUE(store.Standing(c.target, &standing));
        QStringList kinds;
        for (const ZoneStanding& s : standing) {
            kinds << s.latest.zone + " " + ScanObservation::Keyword(s.latest.outcome);
            EXPECT_FALSE(s.latest.detail.isEmpty()) << s.latest.zone.toStdString();
        }
        const QString k = QString::fromLatin1(c.keyword);
        EXPECT_EQ(kinds,
                  (QStringList{"listed.test " + k, "servfail.test " + k, "refusing.test " + k, "everything.test " + k,
                               "dom.test " + k}));
        ASSERT_TRUE(store.Timeline(c.target, &events));
        EXPECT_EQ(events.size(), 5u);
    }

    // The same results again: recorded, nothing changed.
    list->StartScan();
    list->Tick();
    ASSERT_TRUE(recorded.wait(30000));
    EXPECT_TRUE(recorded.at(1).at(0).value<std::vector<HistoryChange>>().empty());

    // A stopped scan is left out.
    list->StartScan();
    list->StopScan();
    EXPECT_TRUE(ScanRecorder::Observe(*list, "cli").observations.empty());
    EXPECT_EQ(ScanRecorder::Observe(*list, "cli").targets, 4);
}

TEST_F(Recorder, AHistoryThatCannotBeWrittenIsReportedAndTheResultsStay)
{
    QFile junk(path);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(8192, 'x'));
    junk.close();
    ScanRecorder recorder(*list, QStringLiteral("automation"));
    recorder.setHistoryPath(path);
    QSignalSpy failed(&recorder, &ScanRecorder::RecordFailed);
    const AddressPtr address = list->AddTarget("192.0.2.1");
    list->StartScan();
    list->Tick();
    ASSERT_TRUE(failed.wait(30000));
    EXPECT_TRUE(failed.at(0).at(0).toString().contains("is damaged")) << failed.at(0).at(0).toString().toStdString();
    EXPECT_EQ(address->Verdict(), Verdict::Listed);
    EXPECT_EQ(QFileInfo(path).size(), 8192);
}

// A list too large to read in one event-loop turn is read in slices while
// the store writes beside it: every entry is recorded once; a new scan drops
// a record still being read, and closing finishes it rather than losing it.
TEST_F(Recorder, LargeListsAreRecordedInSlicesThatANewScanDropsAndClosingFinishes)
{
    settings.setCheckListsBeforeScanning(false);
    constexpr int Entries = 1500;
    for (int i = 0; i < Entries; ++i) list->AddTarget(QStringLiteral("10.0.%1.%2").arg(i / 250).arg(i % 250));
    auto recorder = std::make_unique<ScanRecorder>(*list, QStringLiteral("window"));
    recorder->setHistoryPath(path);
    QSignalSpy recorded(recorder.get(), &ScanRecorder::Recorded);
    list->StartScan();
    list->Tick();
    ASSERT_TRUE(recorded.wait(60000)) << "nothing recorded";
    const auto scanCount = [&] {
        HistoryStore store;
        qint64 count = -1;
        EXPECT_TRUE(store.Open(path, true) && store.ScanCount(&count)) << store.LastError().toStdString();
        return count;
    };
    const auto lists = [&](const QString& target) {
        HistoryStore store;
        std::vector<ZoneStanding> standing;
        EXPECT_TRUE(store.Open(path, true) && store.Standing(target, &standing));
        return standing.size();
    };
    EXPECT_EQ(scanCount(), 1);
    EXPECT_EQ(lists("10.0.0.0"), 5u);
    EXPECT_EQ(lists("10.0.5.249"), 5u) << "the last slice";

    recorder->recordNow();
    EXPECT_TRUE(recorder->Recording());
    list->StartScan();
    EXPECT_FALSE(recorder->Recording()) << "a new scan drops the record being read";
    list->StopScan();
    QTest::qWait(200);
    const qint64 afterDrop = scanCount();

    recorder->recordNow();
    recorder.reset();
    EXPECT_EQ(scanCount(), afterDrop + 1) << "closing finishes the record";
}

// The "History Days" option prunes after every record: old changes go, the
// present stays, so the next scan reports nothing new. (What pruning keeps:
// the history's own tests.)
TEST(RecorderRetention, RecordingPrunesWhatIsOlderThanTheRetention)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    const auto events = [&] {
        HistoryStore store;
        std::vector<HistoryEvent> all;
        EXPECT_TRUE(store.Open(path, true) && store.Timeline("192.0.2.1", &all));
        return all;
    };
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QString error;
    std::vector<HistoryChange> changes;
    for (const auto& [days, outcome] : {std::pair{-100, Outcome::NotListed},
                                        {-90, Outcome::Listed},
                                        {-80, Outcome::NotListed},
                                        {0, Outcome::NotListed}}) {
        const QStringList codes = outcome == Outcome::Listed ? QStringList{"127.0.0.2"} : QStringList{};
        if (days == 0) {
            EXPECT_EQ(events().size(), 3u) << "a retention of 0 keeps everything";
        }
        ASSERT_TRUE(ScanRecorder::Record(scanRecord(now.addDays(days), {seen("192.0.2.1", "bl.test", outcome, codes)}),
                                         path, days == 0 ? 30 : 0, &changes, &error))
            << error.toStdString();
    }
    EXPECT_TRUE(changes.empty());
    ASSERT_EQ(events().size(), 1u) << "only the outcome that still holds is kept";
    EXPECT_EQ(events()[0].observation.outcome, Outcome::NotListed);
}
