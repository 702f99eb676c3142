// Big address lists in the real window (offscreen): opening a /16 from a
// file, refusing a file of 256 /16s, and emptying a large list with New,
// with and without an automation client holding every address's path.
// Prints the time of each step, the longest event-loop stall meanwhile and
// the peak memory it added; the exit status says only whether the run worked.
//
// Usage: loads_bench [--sizes 2500,20000,65536] [--no-open] [--no-over] [--no-paths]
// Run it on a session bus (bench/loads uses dbus-run-session): without one
// the automation figures are skipped.
#include "app/Application.h"
#include "app/AutomationServer.h"
#include "app/DesktopSession.h"
#include "app/SilentPrompts.h"
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
#include "scan/Addresslist.h"
#include "ui/MainForm.h"
#include "ui/ResultsTable.h"

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <time.h>

using namespace quarlo;

namespace {

double peakMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return -1;
}

double currentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return -1;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool writeList(const QString& path, const QStringList& targets)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write("<AddressList>");
    for (const QString& target : targets) file.write("<Address Target=\"" + target.toUtf8() + "\"/>");
    file.write("</AddressList>");
    return file.error() == QFile::NoError;
}

// The first n addresses of 10.0.0.0/8, one element each.
QStringList addresses(int n)
{
    QStringList out;
    out.reserve(n);
    for (int i = 0; i < n; ++i) out << QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255);
    return out;
}

// CPU time of the calling (window) thread: on a busy machine the wall time
// of a step can be a multiple of it.
double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Step {
    double seconds = 0;
    double cpuSeconds = 0;
    qint64 longestStallMs = 0;
    double addedMiB = 0;
};

// Runs step from inside the event loop with a 5 ms heartbeat beside it, and
// lets the window settle afterwards (queued grid rows, automation sweeps): the
// time runs until then, the stall is the longest gap between two beats.
Step measure(MainForm& window, const std::function<void()>& step)
{
    QCoreApplication::processEvents();
    const double before = currentMiB();
    resetPeak();
    QElapsedTimer beat;
    qint64 longest = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longest = std::max(longest, beat.restart()); });
    QElapsedTimer clock;
    double cpuStart = 0;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        cpuStart = threadCpuSeconds();
        clock.start();
        beat.start();
        heartbeat.start();
        step();
        // Settled: nothing queued for the grid and the event queue drained.
        QTimer* settle = new QTimer(&loop);
        settle->setInterval(0);
        QObject::connect(settle, &QTimer::timeout, &loop, [&window, &loop] {
            if (!window.Table().Drawing()) loop.quit();
        });
        settle->start();
    });
    loop.exec();
    Step result;
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.cpuSeconds = threadCpuSeconds() - cpuStart;
    longest = std::max(longest, beat.elapsed());
    result.longestStallMs = longest;
    result.addedMiB = peakMiB() - before;
    return result;
}

void print(const char* what, const Step& s, const char* target, bool ok)
{
    std::printf("%-52s %7.3f s (cpu %6.3f)  stall %6lld ms  +%6.1f MiB  %-18s %s\n", what, s.seconds, s.cpuSeconds,
                static_cast<long long>(s.longestStallMs), s.addedMiB, target, ok ? "OK" : "MISSED");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    std::vector<int> sizes{2500, 20000, 65536};
    bool open = true, over = true, paths = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--sizes") && i + 1 < argc) {
            sizes.clear();
            for (const QString& part : QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(',')))
                sizes.push_back(part.toInt());
        } else if (!std::strcmp(argv[i], "--no-open"))
            open = false;
        else if (!std::strcmp(argv[i], "--no-over"))
            over = false;
        else if (!std::strcmp(argv[i], "--no-paths"))
            paths = false;
        else {
            std::fprintf(stderr, "usage: %s [--sizes N,N,...] [--no-open] [--no-over] [--no-paths]\n", argv[0]);
            return 2;
        }
    }

    QTemporaryDir dir;
    VolatileRegistryBackend backend;
    Registry registry(backend);
    SilentPrompts prompts; // every question answered Yes
    DesktopSession desktop(registry, prompts, {.configPath = dir.filePath(QStringLiteral("none.cfg"))});
    Addresslist& list = desktop.Addresslist();
    Application& app = desktop.Application();
    AutomationServer automation(app, false);
    const bool bus = automation.Start(QDBusConnection::sessionBus());
    if (!bus) std::printf("no automation (%s): its figures are skipped\n", qPrintable(automation.StartError()));
    MainForm window(desktop.WindowServices(QApplication::applicationDirPath(), QStringLiteral("quarlo")));
    window.resize(1200, 800);
    window.show();
    automation.setWindow(&window);

    if (open) {
        const QString file = dir.filePath(QStringLiteral("slash16.BlackList"));
        if (!writeList(file, {QStringLiteral("10.1.0.0/16")})) return 1;
        const Step s = measure(window, [&] { app.FileOpen(file); });
        print(qPrintable(QStringLiteral("open a /16 (%1 addresses)").arg(list.Count())), s, "stall <= 100 ms",
              list.Count() == 65536 && s.longestStallMs <= 100);
        list.setChanged(false);
    }
    if (over) {
        QStringList ranges;
        for (int n = 0; n < 256; ++n) ranges << QStringLiteral("10.%1.0.0/16").arg(n);
        const QString file = dir.filePath(QStringLiteral("over.BlackList"));
        if (!writeList(file, ranges)) return 1;
        const int before = list.Count();
        const Step s = measure(window, [&] { app.FileOpen(file); });
        print("refuse 256 /16s (16,777,216 addresses)", s, "< 1 s, < 50 MiB",
              list.Count() == before && s.seconds < 1 && s.addedMiB < 50);
        std::printf("  list after: %d addresses; %s\n", list.Count(),
                    qPrintable(list.LastError().simplified().left(160)));
    }

    for (int n : sizes) {
        const QString file = dir.filePath(QStringLiteral("list%1.BlackList").arg(n));
        if (!writeList(file, addresses(n))) return 1;
        for (bool withPaths : {false, true}) {
            if (withPaths && !(paths && bus)) continue;
            app.FileNew();
            QElapsedTimer load;
            load.start();
            app.FileOpen(file);
            while (window.Table().Drawing()) QCoreApplication::processEvents();
            const double loadSeconds = load.nsecsElapsed() / 1e9;
            if (list.Count() != n) {
                std::fprintf(stderr, "loaded %d addresses of %d\n", list.Count(), n);
                return 1;
            }
            if (withPaths) {
                // What a client's NewEnum of the list hands out.
                QElapsedTimer handOut;
                handOut.start();
                for (const AddressPtr& address : list) automation.PathOf(address);
                std::printf("  paths handed out for %d addresses: %.3f s (%d objects)\n", n,
                            handOut.nsecsElapsed() / 1e9, automation.ExposedObjects());
            }
            list.setChanged(false);
            const Step s = measure(window, [&] { app.FileNew(); });
            const QString what = QStringLiteral("New of %1 addresses%2 (loaded in %3 s)")
                                     .arg(n)
                                     .arg(withPaths ? QStringLiteral(", paths held") : QString())
                                     .arg(loadSeconds, 0, 'f', 2);
            print(qPrintable(what), s, "< 1 s", list.Count() == 0 && s.seconds < 1);
        }
    }
    list.setChanged(false);
    return 0;
}
