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

struct Options {
    std::vector<int> sizes{2500, 20000, 65536};
    bool open = true, over = true, paths = true;
};

// False after saying how the program is called.
bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--sizes") && i + 1 < argc) {
            options.sizes.clear();
            for (const QString& part : QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(',')))
                options.sizes.push_back(part.toInt());
        } else if (!std::strcmp(argv[i], "--no-open"))
            options.open = false;
        else if (!std::strcmp(argv[i], "--no-over"))
            options.over = false;
        else if (!std::strcmp(argv[i], "--no-paths"))
            options.paths = false;
        else {
            std::fprintf(stderr, "usage: %s [--sizes N,N,...] [--no-open] [--no-over] [--no-paths]\n", argv[0]);
            return false;
        }
    }
    return true;
}

// What every step works on: the window, its list and the automation server.
struct Bench {
    const QTemporaryDir& dir;
    Application& app;
    Addresslist& list;
    MainForm& window;
    AutomationServer& automation;
    bool bus; // the automation server is on a bus: paths can be handed out
};

// False when the file could not be written.
bool openSlash16(Bench& b)
{
    const QString file = b.dir.filePath(QStringLiteral("slash16.BlackList"));
    if (!writeList(file, {QStringLiteral("10.1.0.0/16")})) return false;
    const Step s = measure(b.window, [&] { b.app.FileOpen(file); });
    print(qPrintable(QStringLiteral("open a /16 (%1 addresses)").arg(b.list.Count())), s, "stall <= 100 ms",
          b.list.Count() == 65536 && s.longestStallMs <= 100);
    b.list.setChanged(false);
    return true;
}

// A file of 256 /16s is refused whole, quickly and without the memory.
bool refuseOversizedFile(Bench& b)
{
    QStringList ranges;
    for (int n = 0; n < 256; ++n) ranges << QStringLiteral("10.%1.0.0/16").arg(n);
    const QString file = b.dir.filePath(QStringLiteral("over.BlackList"));
    if (!writeList(file, ranges)) return false;
    const int before = b.list.Count();
    const Step s = measure(b.window, [&] { b.app.FileOpen(file); });
    print("refuse 256 /16s (16,777,216 addresses)", s, "< 1 s, < 50 MiB",
          b.list.Count() == before && s.seconds < 1 && s.addedMiB < 50);
    std::printf("  list after: %d addresses; %s\n", b.list.Count(),
                qPrintable(b.list.LastError().simplified().left(160)));
    return true;
}

// Opens the file into an empty list and waits for the grid; its time in
// seconds, or a negative value when the list did not get n addresses.
double loadForNew(Bench& b, const QString& file, int n)
{
    b.app.FileNew();
    QElapsedTimer load;
    load.start();
    b.app.FileOpen(file);
    while (b.window.Table().Drawing()) QCoreApplication::processEvents();
    const double loadSeconds = load.nsecsElapsed() / 1e9;
    if (b.list.Count() != n) {
        std::fprintf(stderr, "loaded %d addresses of %d\n", b.list.Count(), n);
        return -1;
    }
    return loadSeconds;
}

// What a client's NewEnum of the list hands out.
void handOutPaths(Bench& b, int n)
{
    QElapsedTimer handOut;
    handOut.start();
    for (const AddressPtr& address : b.list) b.automation.PathOf(address);
    std::printf("  paths handed out for %d addresses: %.3f s (%d objects)\n", n, handOut.nsecsElapsed() / 1e9,
                b.automation.ExposedObjects());
}

// New of a list of n addresses loaded from a file, then again with every
// address's path held by a client (when there is a bus and paths are wanted).
bool newOfSize(Bench& b, int n, bool paths)
{
    const QString file = b.dir.filePath(QStringLiteral("list%1.BlackList").arg(n));
    if (!writeList(file, addresses(n))) return false;
    for (bool withPaths : {false, true}) {
        if (withPaths && !(paths && b.bus)) continue;
        const double loadSeconds = loadForNew(b, file, n);
        if (loadSeconds < 0) return false;
        if (withPaths) handOutPaths(b, n);
        b.list.setChanged(false);
        const Step s = measure(b.window, [&] { b.app.FileNew(); });
        const QString what = QStringLiteral("New of %1 addresses%2 (loaded in %3 s)")
                                 .arg(n)
                                 .arg(withPaths ? QStringLiteral(", paths held") : QString())
                                 .arg(loadSeconds, 0, 'f', 2);
        print(qPrintable(what), s, "< 1 s", b.list.Count() == 0 && s.seconds < 1);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    Options options;
    if (!parseOptions(argc, argv, options)) return 2;

    QTemporaryDir dir;
    VolatileRegistryBackend backend;
    Registry registry(backend);
    SilentPrompts prompts; // every question answered Yes
    DesktopSession desktop(registry, prompts, {.configPath = dir.filePath(QStringLiteral("none.cfg"))});
    Application& app = desktop.Application();
    AutomationServer automation(app, false);
    const bool bus = automation.Start(QDBusConnection::sessionBus());
    if (!bus) std::printf("no automation (%s): its figures are skipped\n", qPrintable(automation.StartError()));
    MainForm window(desktop.WindowServices(QApplication::applicationDirPath(), QStringLiteral("quarlo")));
    window.resize(1200, 800);
    window.show();
    automation.setWindow(&window);

    Bench bench{dir, app, desktop.Addresslist(), window, automation, bus};
    if (options.open && !openSlash16(bench)) return 1;
    if (options.over && !refuseOversizedFile(bench)) return 1;
    for (int n : options.sizes)
        if (!newOfSize(bench, n, options.paths)) return 1;
    bench.list.setChanged(false);
    return 0;
}
