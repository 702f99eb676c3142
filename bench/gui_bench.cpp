// The main window scanning a large list against a local blacklist server:
// time from ScanStarted to a fully drawn tree, the longest stall of the event
// loop meanwhile, and the cost of one UpdateRow at that size.
#include "app/Application.h"
#include "app/SilentPrompts.h"
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/AresDirectDns.h"
#include "scan/AresDnsLookup.h"
#include "scan/DnsServers.h"
#include "ui/MainForm.h"
#include "ui/ResultsTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

using namespace quarlo;

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CONFIG LIST\n", argv[0]);
        return 2;
    }
    VolatileRegistryBackend backend;
    Registry registry(backend);
    SilentPrompts prompts;
    Settings settings(registry, QString::fromLocal8Bit(argv[1]));
    const QStringList servers = ConfiguredDnsServers(QString());
    AresDnsLookup dns(servers);
    Addresslist list(settings, dns, std::make_unique<AresDirectDns>(servers));
    Application app(list, settings, prompts);
    MainForm window(MainForm::Services{app, list, settings, dns, registry, prompts,
                                       [servers] { return std::make_unique<AresDirectDns>(servers); },
                                       QApplication::applicationDirPath(), QStringLiteral("quarlo")});
    window.resize(1200, 800);
    window.show();

    QElapsedTimer load;
    load.start();
    app.FileOpen(QString::fromLocal8Bit(argv[2]));
    std::printf("list loaded into the window   %8.3f s (%d addresses)\n", load.elapsed() / 1000.0, list.Count());

    // A 5 ms heartbeat: the longest gap between two beats is the longest
    // time the window could not react.
    QElapsedTimer beat;
    qint64 longestStall = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, beat.restart());
    });

    QElapsedTimer scan;
    QEventLoop done;
    QObject::connect(&list, &Addresslist::ScanStarted, [&] {
        scan.start();
        beat.start();
        heartbeat.start();
    });
    QObject::connect(&list, &Addresslist::ScanComplete, &done, &QEventLoop::quit);
    app.StartScan();
    list.Tick();
    done.exec();
    // Late TXT replies still redraw their rows.
    while (list.directDns().OutstandingCount() > 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QCoreApplication::processEvents();
    const qint64 scanMs = scan.elapsed();
    heartbeat.stop();

    int listed = 0;
    for (const AddressPtr& address : list) listed += address->Blacklisted();

    QElapsedTimer one;
    const AddressPtr sample = list.Item(1);
    const int repeats = 1000;
    one.start();
    for (int i = 0; i < repeats; ++i) window.UpdateRow(sample);
    const double updateUs = one.nsecsElapsed() / 1000.0 / repeats;

    // Building every address's rows from nothing, as after a grid reset.
    QElapsedTimer rebuild;
    window.Table().GridReset();
    rebuild.start();
    window.RefreshData();
    const double rebuildMs = rebuild.nsecsElapsed() / 1e6;
    QCoreApplication::processEvents();

    std::printf("scan to fully drawn tree      %8.3f s (%d listed)\n", scanMs / 1000.0, listed);
    std::printf("longest event-loop stall      %8lld ms   target <= 100 ms  %s\n", static_cast<long long>(longestStall),
                longestStall <= 100 ? "OK" : "MISSED");
    std::printf("one UpdateRow, nothing changed %7.1f us\n", updateUs);
    std::printf("one UpdateRow, rows built      %7.1f us (RefreshData of all %d addresses: %.0f ms)\n",
                rebuildMs * 1000.0 / std::max(1, list.Count()), list.Count(), rebuildMs);
    std::printf("SCAN_SECONDS %.3f\n", scanMs / 1000.0);
    list.setChanged(false);
    return 0;
}
