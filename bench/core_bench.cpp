// Address list core benchmark: load and save of a large .BlackList file,
// look-ups by key, and the memory all of that takes. Prints measured figures
// next to their targets; the exit status says only whether the run worked.
//
// Usage: core_bench [--count N] [--lookups N] [--repeat N] [--dir DIR]
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/DirectDns.h"
#include "scan/DnsLookup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>

using namespace quarlo;
using Clock = std::chrono::steady_clock;

namespace {

// The list never scans here: DNS only has to exist.
class NoDnsLookup : public DnsLookup {
public:
    void Lookup(const QString&) override {}
    int PendingCount() const override { return 0; }
    void CancelAll() override {}
    void ExpireAll() override {}
    int LongestWaitMs() const override { return 0; }
};

class NoDirectDns : public DirectDns {
public:
    QString DNSServers() const override { return QStringLiteral("127.0.0.1"); }
    void Query(const QString&, const QString&, const QString&, int, QObject*) override {}
    int OutstandingCount() const override { return 0; }
};

double seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Wall and CPU time of one run. Both are printed: on a shared machine the
// wall time of a CPU-bound step can be a multiple of its CPU time.
struct Run {
    double wall;
    double cpu;
};

template <typename F>
Run measure(F&& body)
{
    const auto w0 = Clock::now();
    const double c0 = cpuSeconds();
    body();
    return Run{seconds(w0, Clock::now()), cpuSeconds() - c0};
}

Run best(const std::vector<Run>& runs)
{
    return *std::min_element(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.wall < b.wall; });
}

void printRuns(const char* what, const std::vector<Run>& runs)
{
    std::printf("  %-22s", what);
    for (const Run& r : runs) std::printf("  %.3f s (cpu %.3f)", r.wall, r.cpu);
    std::printf("\n");
}

double peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
}

double currentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// Distinct addresses spread over 198.18.0.0/15 (benchmark range), in a
// shuffled order so the file is not trivially sorted.
QStringList makeTargets(int count)
{
    std::vector<quint32> numbers(static_cast<size_t>(count));
    std::mt19937 random(20240601);
    const quint32 base = (198u << 24) | (18u << 16);
    // 131,072 addresses in the range; beyond that, continue into 198.20/14.
    for (int i = 0; i < count; ++i) numbers[static_cast<size_t>(i)] = base + static_cast<quint32>(i);
    std::shuffle(numbers.begin(), numbers.end(), random);
    QStringList targets;
    targets.reserve(count);
    for (quint32 n : numbers)
        targets.append(
            QStringLiteral("%1.%2.%3.%4").arg(n >> 24).arg((n >> 16) & 255).arg((n >> 8) & 255).arg(n & 255));
    return targets;
}

void verdict(const char* what, double value, double target, const char* unit, double cpu = -1)
{
    char extra[48] = "";
    if (cpu >= 0) std::snprintf(extra, sizeof extra, "  (cpu %.3f s)", cpu);
    std::printf("%-30s %8.3f %-3s  target < %-4g %-3s  %-6s%s\n", what, value, unit, target, unit,
                value < target ? "OK" : "MISSED", extra);
}

struct Options {
    int count = 100000;
    long lookups = 1000000;
    int repeat = 3;
    QString dir; // empty: a temporary one
};

// False after saying what is wrong with the arguments.
bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s wants a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--count")
            options.count = std::atoi(next("--count"));
        else if (arg == "--lookups")
            options.lookups = std::atol(next("--lookups"));
        else if (arg == "--repeat")
            options.repeat = std::max(1, std::atoi(next("--repeat")));
        else if (arg == "--dir")
            options.dir = QString::fromLocal8Bit(next("--dir"));
        else {
            std::fprintf(stderr, "usage: core_bench [--count N] [--lookups N] [--repeat N] [--dir DIR]\n");
            return false;
        }
    }
    if (options.count < 1 || options.count > 131072 * 2) {
        std::fprintf(stderr, "--count must be 1..262144\n");
        return false;
    }
    return true;
}

// What the steps measured, for the report at the end.
struct Figures {
    double baseMiB = 0;
    double loadedMiB = 0;
    qint64 fileBytes = 0;
    Run fill{};
    std::vector<Run> saveRuns, loadRuns, lookupRuns;
    long misses = 0;
    Run missRun{}, hotRun{};
};

// Fills a list the way the program does, then saves it; the list is gone
// afterwards, so the load starts from nothing.
bool fillAndSave(Settings& settings, const QStringList& targets, const QString& file, int repeat, Figures& figures)
{
    NoDnsLookup fillDns;
    Addresslist list(settings, fillDns, std::make_unique<NoDirectDns>());
    figures.fill = measure([&] {
        for (const QString& target : targets) list.AddTarget(target);
    });
    for (int r = 0; r < repeat; ++r) {
        bool saved = false;
        figures.saveRuns.push_back(measure([&] { saved = list.Save(file); }));
        if (!saved) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(list.LastError()));
            return false;
        }
    }
    figures.fileBytes = QFileInfo(file).size();
    return true;
}

// Loads into a fresh list, then repeatedly into the same list as a user
// reopening a file would.
bool loadRepeatedly(Addresslist& list, const QString& file, const Options& options, Figures& figures)
{
    for (int r = 0; r < options.repeat; ++r) {
        bool loaded = false;
        figures.loadRuns.push_back(measure([&] { loaded = list.Load(file); }));
        if (!loaded) {
            std::fprintf(stderr, "load failed: %s\n", qPrintable(list.LastError()));
            return false;
        }
    }
    if (list.Count() != options.count) {
        std::fprintf(stderr, "loaded %d addresses, expected %d\n", list.Count(), options.count);
        return false;
    }
    return true;
}

// Keys in an order unrelated to the list's. They are copies of their own,
// laid out in look-up order, as a caller holding a key parsed from a reply
// would have them: the loop reads its keys sequentially and only the
// collection is accessed at random.
std::vector<QString> lookupKeys(const QStringList& targets)
{
    std::vector<QString> order(targets.begin(), targets.end());
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::vector<QString> keys;
    keys.reserve(order.size());
    for (const QString& key : order) keys.emplace_back(key.constData(), key.size());
    return keys;
}

// Every call folds the key's letter case, as the list compares keys without
// regard to it.
bool lookUpAtRandom(const Addresslist& list, const std::vector<QString>& keys, const Options& options, Figures& figures)
{
    for (int r = 0; r < options.repeat; ++r) {
        long found = 0;
        figures.lookupRuns.push_back(measure([&] {
            for (long i = 0; i < options.lookups; ++i)
                if (list.Item(keys[static_cast<size_t>(i % options.count)])) ++found;
        }));
        if (found != options.lookups) {
            std::fprintf(stderr, "look-ups found %ld of %ld\n", found, options.lookups);
            return false;
        }
    }
    return true;
}

// Misses, and one key asked over and over (all in cache): not targeted,
// they show what the random access over the collection costs.
bool lookUpMissesAndOneKey(const Addresslist& list, const QString& hotKey, long lookups, Figures& figures)
{
    figures.misses = std::min<long>(lookups, 100000);
    const QString missKey = QStringLiteral("not.in.the.list.example");
    long missFound = 0;
    figures.missRun = measure([&] {
        for (long i = 0; i < figures.misses; ++i)
            if (list.Item(missKey)) ++missFound;
    });
    long hotFound = 0;
    figures.hotRun = measure([&] {
        for (long i = 0; i < lookups; ++i)
            if (list.Item(hotKey)) ++hotFound;
    });
    if (missFound != 0 || hotFound != lookups) {
        std::fprintf(stderr, "misses found %ld, hot key found %ld of %ld\n", missFound, hotFound, lookups);
        return false;
    }
    return true;
}

void report(const Options& options, const Figures& figures)
{
    std::printf("core benchmark: %d addresses, .BlackList file %.1f KiB, %ld look-ups, best of %d runs\n",
                options.count, figures.fileBytes / 1024.0, options.lookups, options.repeat);
    printRuns("fill (AddTarget)", {figures.fill});
    printRuns("save", figures.saveRuns);
    printRuns("load", figures.loadRuns);
    printRuns("look-ups, random", figures.lookupRuns);
    char what[64];
    std::snprintf(what, sizeof what, "look-ups, one key");
    printRuns(what, {figures.hotRun});
    std::snprintf(what, sizeof what, "%ld misses", figures.misses);
    printRuns(what, {figures.missRun});
    std::printf("  RSS at start %.1f MiB, with %d addresses loaded %.1f MiB\n", figures.baseMiB, options.count,
                figures.loadedMiB);
    const Run save = best(figures.saveRuns), load = best(figures.loadRuns), look = best(figures.lookupRuns);
    verdict("save .BlackList", save.wall, 1.0, "s", save.cpu);
    verdict("load .BlackList", load.wall, 1.0, "s", load.cpu);
    std::snprintf(what, sizeof what, "%ld Item(key) look-ups", options.lookups);
    verdict(what, look.wall, 0.5, "s", look.cpu);
    verdict("peak memory (ru_maxrss)", peakMiB(), 100.0, "MiB");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(argc, argv, options)) return 2;

    QTemporaryDir tempDir;
    const QString dir = options.dir.isEmpty() ? tempDir.path() : options.dir;
    const QString file = dir + QStringLiteral("/bench.BlackList");
    VolatileRegistryBackend backend;
    Registry registry(backend);
    Settings settings(registry, nullptr); // no servers: the list alone is measured

    Figures figures;
    figures.baseMiB = currentMiB();
    const QStringList targets = makeTargets(options.count);
    if (!fillAndSave(settings, targets, file, options.repeat, figures)) return 1;

    NoDnsLookup dns;
    Addresslist list(settings, dns, std::make_unique<NoDirectDns>());
    if (!loadRepeatedly(list, file, options, figures)) return 1;
    figures.loadedMiB = currentMiB();

    const std::vector<QString> keys = lookupKeys(targets);
    if (!lookUpAtRandom(list, keys, options, figures)) return 1;
    if (!lookUpMissesAndOneKey(list, keys[0], options.lookups, figures)) return 1;
    report(options, figures);
    return 0;
}
