// Stopping and restarting a scan of the real lookup control against rbldnsd.
// (What a scan finds, end to end: the list kinds' tests here and the
// command line's.)
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RbldnsdScan.h"

using namespace quarlo;

namespace {

class ScanIntegration : public RbldnsdScan {
protected:
    void SetUp() override
    {
        server.addZone("exact.test", "ip4set", ":127.0.0.2:Listed in exact.test $\n192.0.2.1\n");
        ASSERT_NO_FATAL_FAILURE(startServer());
        settings.BlacklistServers().Add(makeServer("exact.test", true, {{"127.0.0.2", "Spam source"}}));
    }
};

} // namespace

TEST_F(ScanIntegration, StopMidScanCancelsLookupsAndRestartScansAgain)
{
    settings.setMaxQueries(10);
    for (int i = 0; i < 200; ++i) list->AddTarget(QString("10.0.%1.%2").arg(i / 250).arg(i % 250));
    list->AddTarget("192.0.2.1");
    QSignalSpy canceled(list.get(), &Addresslist::ScanCanceled);
    QSignalSpy complete(list.get(), &Addresslist::ScanComplete);
    // Stop from inside a reply, as a user's click between two replies would.
    const auto stopper = QObject::connect(list.get(), &Addresslist::UpdateAddress, [&] {
        if (list->Item(20)->Complete() && list->ScanActive()) list->StopScan();
    });
    list->StartScan();
    list->Tick();
    ASSERT_TRUE(canceled.count() == 1 || canceled.wait(30000));
    QObject::disconnect(stopper);
    EXPECT_EQ(canceled.count(), 1);
    EXPECT_FALSE(list->ScanActive());
    EXPECT_EQ(lookup->PendingCount(), 0);
    const auto completeCount = [&] {
        int count = 0;
        for (const auto& a : *list) count += a->Complete();
        return count;
    };
    const int completeAfterStop = completeCount();
    EXPECT_FALSE(QTest::qWaitFor([&] { return completeCount() != completeAfterStop; }, 300)) << "moved after the stop";
    EXPECT_EQ(complete.count(), 0);
    EXPECT_EQ(list->Item("192.0.2.1")->Verdict(), Verdict::NotChecked) << "stopped before its answer: never clean";

    // Restart while scanning: the first scan's queries are dropped and the
    // second one ends with the right results, once.
    list->StartScan();
    list->Tick();
    ASSERT_GT(lookup->PendingCount(), 0);
    scanToEnd();
    EXPECT_EQ(complete.count(), 1);
    EXPECT_TRUE(list->Item("192.0.2.1")->Blacklisted());
    for (const auto& a : *list) EXPECT_TRUE(a->Complete());
}
