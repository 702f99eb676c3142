// History store benchmark: a year of hourly scans of a /24 against 20 lists,
// recorded through HistoryStore, with a plausible amount of change. Prints
// the database size and the time per recorded scan; asserts nothing.
#include "storage/HistoryStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

using namespace quarlo;
using Outcome = ScanObservation::Outcome;

namespace {

struct Options {
    QString path = QStringLiteral("history-bench.sqlite");
    int scans = 24 * 365;
    int zones = 20;
    int hosts = 256;
};

// False after saying how the program is called.
bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option(argv[i]);
        if (option == "--db")
            options.path = QString::fromLocal8Bit(argv[i + 1]);
        else if (option == "--scans")
            options.scans = std::atoi(argv[i + 1]);
        else if (option == "--zones")
            options.zones = std::atoi(argv[i + 1]);
        else if (option == "--targets")
            options.hosts = std::clamp(std::atoi(argv[i + 1]), 1, 1 << 20);
        else {
            std::fprintf(stderr, "usage: history_bench [--db FILE] [--scans N] [--zones N] [--targets N]\n");
            return false;
        }
    }
    return true;
}

// The world changes a little: about two new listings a day that last a
// few days, a list that fails for the whole network for an hour every
// few days, and a handful of single time-outs per scan.
class World {
public:
    explicit World(const Options& options)
        : hosts_(options.hosts), zones_(options.zones), host_(0, hosts_ - 1), zone_(0, zones_ - 1)
    {
        for (int h = 0; h < hosts_; ++h)
            targets_ << QStringLiteral("10.%1.%2.%3").arg(h >> 16).arg((h >> 8) & 255).arg(h & 255);
        for (int z = 0; z < zones_; ++z) zoneNames_ << QStringLiteral("list%1.example").arg(z);
    }

    // The scan of the hour after the last one, with what changed meanwhile.
    ScanRecord NextScan(int scan)
    {
        if (chance_(random_) < 2.0 / 24) listed_.insert({host_(random_), zone_(random_)});
        for (auto it = listed_.begin(); it != listed_.end();)
            it = chance_(random_) < 1.0 / 72 ? listed_.erase(it) : std::next(it);
        const int failingZone = chance_(random_) < 1.0 / 72 ? zone_(random_) : -1;

        ScanRecord record;
        record.started = start_.addSecs(3600LL * scan);
        record.finished = record.started.addSecs(40);
        record.source = QStringLiteral("cli");
        record.listFile = QStringLiteral("/srv/lists/network.BlackList");
        record.targets = hosts_;
        record.observations.reserve(size_t(hosts_) * zones_);
        for (int h = 0; h < hosts_; ++h)
            for (int z = 0; z < zones_; ++z) record.observations.push_back(Observe(h, z, failingZone));
        return record;
    }

private:
    ScanObservation Observe(int h, int z, int failingZone)
    {
        ScanObservation seen;
        seen.target = targets_[h];
        seen.zone = zoneNames_[z];
        seen.listName = zoneNames_[z];
        seen.link = QStringLiteral("https://") + zoneNames_[z] + QStringLiteral("/lookup");
        if (z == failingZone || chance_(random_) < 0.0005) {
            seen.outcome = Outcome::Failed;
            seen.detail = QStringLiteral("timed out");
        } else if (listed_.count({h, z})) {
            seen.outcome = Outcome::Listed;
            seen.codes = {QStringLiteral("127.0.0.2")};
            seen.reasons = {QStringLiteral("Spam source")};
            seen.txt = {QStringLiteral("Listed, see https://%1/lookup?ip=%2").arg(zoneNames_[z], targets_[h])};
        } else {
            seen.outcome = Outcome::NotListed;
        }
        return seen;
    }

    const int hosts_, zones_;
    std::mt19937 random_{42};
    std::set<std::pair<int, int>> listed_; // host, zone
    std::uniform_int_distribution<int> host_, zone_;
    std::uniform_real_distribution<double> chance_{0.0, 1.0};
    QStringList targets_, zoneNames_;
    const QDateTime start_ = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
};

// Recording times in microseconds (the slowest in milliseconds).
struct Totals {
    qint64 slowest = 0, changes = 0, first = 0, later = 0;
    double seconds = 0;
};

bool recordScans(HistoryStore& store, World& world, int scans, Totals& totals)
{
    QElapsedTimer total;
    total.start();
    for (int scan = 0; scan < scans; ++scan) {
        const ScanRecord record = world.NextScan(scan);
        std::vector<HistoryChange> found;
        QElapsedTimer one;
        one.start();
        if (!store.Record(record, &found)) {
            std::fprintf(stderr, "scan %d: %s\n", scan, qPrintable(store.LastError()));
            return false;
        }
        const qint64 took = one.nsecsElapsed() / 1000;
        (scan == 0 ? totals.first : totals.later) += took;
        totals.slowest = std::max(totals.slowest, took / 1000);
        totals.changes += static_cast<qint64>(found.size());
        if ((scan + 1) % 1000 == 0) std::fprintf(stderr, "%d scans...\n", scan + 1);
    }
    totals.seconds = total.elapsed() / 1000.0;
    return true;
}

void report(const Options& options, const Totals& totals, qint64 size)
{
    const int scans = options.scans, hosts = options.hosts, zones = options.zones;
    std::printf("recorded scans:        %d (%d targets x %d lists = %d outcomes each)\n", scans, hosts, zones,
                hosts * zones);
    std::printf("changes reported:      %lld\n", static_cast<long long>(totals.changes));
    std::printf("database size:         %.2f MB (%lld bytes)\n", size / 1e6, static_cast<long long>(size));
    std::printf("time per recorded scan: %.1f ms mean, %lld ms slowest\n", totals.seconds * 1000 / scans,
                static_cast<long long>(totals.slowest));
    std::printf("first scan:            %.1f ms (%.2f us per outcome)\n", totals.first / 1000.0,
                double(totals.first) / (hosts * zones));
    if (scans > 1)
        std::printf("later scans:           %.1f ms mean (%.2f us per outcome)\n", totals.later / 1000.0 / (scans - 1),
                    double(totals.later) / (scans - 1) / (hosts * zones));
    if (scans < 24 * 365)
        std::printf("(a year is %d scans; run with --scans %d for the full figure)\n", 24 * 365, 24 * 365);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(argc, argv, options)) return 2;
    QFile::remove(options.path);
    HistoryStore store;
    if (!store.Open(options.path)) {
        std::fprintf(stderr, "%s\n", qPrintable(store.LastError()));
        return 1;
    }
    World world(options);
    Totals totals;
    if (!recordScans(store, world, options.scans, totals)) return 1;
    store.Close();
    const qint64 size = QFileInfo(options.path).size() + QFileInfo(options.path + QStringLiteral("-wal")).size();
    report(options, totals, size);
    return 0;
}
