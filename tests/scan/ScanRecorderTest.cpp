// What a finished scan records: every list's outcome per address, through
// the one recorder the window, automation and the command line share.
#include "scan/ScanRecorder.h"
#include "storage/HistoryStore.h"
#include "support/FakeDnsServer.h"
#include "support/HistoryRecords.h"
#include "support/ModelBuilders.h"
#include "support/RbldnsdScan.h"

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
        return reply(Fake::NoError, {Fake::A(listed && name.startsWith("2.0.0.127.") ? "127.0.0.2" : "127.255.255.254")});
    }
    if (name.endsWith(".everything.test")) return reply(Fake::NoError, {Fake::A("127.0.0.2")});
    if (name.endsWith(".dom.test")) return reply(name.startsWith("test.") ? Fake::NoError : Fake::NxDomain, {Fake::A("127.0.0.2")});
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
        auto refusing = makeServer("refusing.test", true,
                                   {{"127.0.0.2", "Spam source"}, {"127.255.255.254", "Query refused"}});
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

TEST_F(Recorder, RecordsEveryEnabledListPerAddressOnceTheScanIsComplete)
{
    ScanRecorder recorder(*list, QStringLiteral("window"));
    recorder.setHistoryPath(path);
    QSignalSpy recorded(&recorder, &ScanRecorder::Recorded);
    QSignalSpy failed(&recorder, &ScanRecorder::RecordFailed);
    list->AddTarget("192.0.2.1");
    list->AddTarget("192.0.2.9");
    list->StartScan();
    list->Tick();
    ASSERT_TRUE(recorded.wait(30000)) << "nothing recorded";
    EXPECT_EQ(failed.count(), 0);

    const auto changes = recorded.at(0).at(0).value<std::vector<HistoryChange>>();
    QStringList got;
    for (const HistoryChange& c : changes) got << HistoryChange::Keyword(c.kind) + " " + c.target + " " + c.zone;
    EXPECT_EQ(got, (QStringList{"listed 192.0.2.1 listed.test", "failing  servfail.test", "failing  refusing.test",
                                "failing  everything.test"}));

    HistoryStore store;
    ASSERT_TRUE(store.Open(path, true));
    struct Expect {
        const char* target;
        const char* zone;
        Outcome outcome;
    };
    const Expect expected[] = {
        {"192.0.2.1", "listed.test", Outcome::Listed},       {"192.0.2.1", "servfail.test", Outcome::Failed},
        {"192.0.2.1", "refusing.test", Outcome::Refused},    {"192.0.2.1", "everything.test", Outcome::Skipped},
        {"192.0.2.1", "dom.test", Outcome::NotApplicable},   {"192.0.2.9", "listed.test", Outcome::NotListed},
        {"192.0.2.9", "servfail.test", Outcome::Failed},     {"192.0.2.9", "refusing.test", Outcome::Refused},
    };
    for (const Expect& e : expected) {
        std::vector<ZoneStanding> standing;
        ASSERT_TRUE(store.Standing(e.target, &standing));
        EXPECT_EQ(standing.size(), 5u) << "the disabled list is not recorded";
        const ZoneStanding* found = nullptr;
        for (const ZoneStanding& s : standing)
            if (s.latest.zone == e.zone) found = &s;
        ASSERT_NE(found, nullptr) << e.target << " " << e.zone;
        EXPECT_EQ(found->latest.outcome, e.outcome) << e.target << " " << e.zone;
    }
    std::vector<HistoryEvent> events;
    ASSERT_TRUE(store.Timeline("192.0.2.1", &events));
    const auto listing = std::find_if(events.begin(), events.end(),
                                      [](const HistoryEvent& e) { return e.observation.zone == "listed.test"; });
    ASSERT_NE(listing, events.end());
    EXPECT_EQ(listing->observation.listName, "Listed List");
    EXPECT_EQ(listing->observation.codes, QStringList{"127.0.0.2"});
    EXPECT_EQ(listing->observation.reasons, QStringList{"Spam source"});
    EXPECT_EQ(listing->observation.txt, QStringList{"Listed, see http://listed.test/"}) << "late TXT texts are waited for";
    EXPECT_EQ(listing->observation.link, "https://listed.test/");

    // The same results again: recorded, nothing changed.
    list->StartScan();
    list->Tick();
    ASSERT_TRUE(recorded.wait(30000));
    EXPECT_TRUE(recorded.at(1).at(0).value<std::vector<HistoryChange>>().empty());
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

TEST_F(Recorder, StoppedScansAndUncheckableTargetsAreLeftOut)
{
    list->AddTarget("not a target!");
    const ScanRecord none = ScanRecorder::Observe(*list, "cli");
    EXPECT_TRUE(none.observations.empty()) << "nothing scanned yet";
    list->StartScan();
    list->StopScan();
    EXPECT_TRUE(ScanRecorder::Observe(*list, "cli").observations.empty());
    EXPECT_EQ(ScanRecorder::Observe(*list, "cli").targets, 1);
}

// The "History Days" option prunes after every record: old changes go, the
// present stays, so the next scan reports nothing new.
TEST(RecorderRetention, RecordingPrunesWhatIsOlderThanTheRetention)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    const auto scan = [](const QDateTime& when, Outcome outcome) {
        return scanRecord(when, {seen("192.0.2.1", "bl.test", outcome, outcome == Outcome::Listed ? QStringList{"127.0.0.2"}
                                                                                                 : QStringList{})});
    };
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QString error;
    std::vector<HistoryChange> changes;
    ASSERT_TRUE(ScanRecorder::Record(scan(now.addDays(-100), Outcome::NotListed), path, 0, &changes, &error));
    ASSERT_TRUE(ScanRecorder::Record(scan(now.addDays(-90), Outcome::Listed), path, 0, &changes, &error));
    ASSERT_TRUE(ScanRecorder::Record(scan(now.addDays(-80), Outcome::NotListed), path, 0, &changes, &error));
    ASSERT_EQ(changes.size(), 1u);
    HistoryStore store;
    std::vector<HistoryEvent> events;
    ASSERT_TRUE(store.Open(path, true));
    ASSERT_TRUE(store.Timeline("192.0.2.1", &events));
    EXPECT_EQ(events.size(), 3u);
    store.Close();

    ASSERT_TRUE(ScanRecorder::Record(scan(now, Outcome::NotListed), path, 30, &changes, &error)) << error.toStdString();
    EXPECT_TRUE(changes.empty());
    ASSERT_TRUE(store.Open(path, true));
    ASSERT_TRUE(store.Timeline("192.0.2.1", &events));
    ASSERT_EQ(events.size(), 1u) << "only the outcome that still holds is kept";
    EXPECT_EQ(events[0].observation.outcome, Outcome::NotListed);
    std::vector<ZoneStanding> standing;
    ASSERT_TRUE(store.Standing("192.0.2.1", &standing));
    ASSERT_EQ(standing.size(), 1u);
    EXPECT_TRUE(standing[0].delistedOn.isValid()) << "the delisting date survives pruning";
}
