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

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString path = QStringLiteral("history-bench.sqlite");
    int scans = 24 * 365;
    int zones = 20;
    int hosts = 256;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option(argv[i]);
        if (option == "--db")
            path = QString::fromLocal8Bit(argv[i + 1]);
        else if (option == "--scans")
            scans = std::atoi(argv[i + 1]);
        else if (option == "--zones")
            zones = std::atoi(argv[i + 1]);
        else if (option == "--targets")
            hosts = std::clamp(std::atoi(argv[i + 1]), 1, 1 << 20);
        else {
            std::fprintf(stderr, "usage: history_bench [--db FILE] [--scans N] [--zones N] [--targets N]\n");
            return 2;
        }
    }
    QFile::remove(path);
    HistoryStore store;
    if (!store.Open(path)) {
        std::fprintf(stderr, "%s\n", qPrintable(store.LastError()));
        return 1;
    }

    // The world changes a little: about two new listings a day that last a
    // few days, a list that fails for the whole network for an hour every
    // few days, and a handful of single time-outs per scan.
    std::mt19937 random(42);
    std::set<std::pair<int, int>> listed; // host, zone
    std::uniform_int_distribution<int> host(0, hosts - 1), zone(0, zones - 1);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    QStringList targets, zoneNames;
    for (int h = 0; h < hosts; ++h)
        targets << QStringLiteral("10.%1.%2.%3").arg(h >> 16).arg((h >> 8) & 255).arg(h & 255);
    for (int z = 0; z < zones; ++z) zoneNames << QStringLiteral("list%1.example").arg(z);
    const QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);

    QElapsedTimer total;
    total.start();
    qint64 slowest = 0, changes = 0, first = 0, later = 0;
    for (int scan = 0; scan < scans; ++scan) {
        if (chance(random) < 2.0 / 24) listed.insert({host(random), zone(random)});
        for (auto it = listed.begin(); it != listed.end();)
            it = chance(random) < 1.0 / 72 ? listed.erase(it) : std::next(it);
        const int failingZone = chance(random) < 1.0 / 72 ? zone(random) : -1;

        ScanRecord record;
        record.started = start.addSecs(3600LL * scan);
        record.finished = record.started.addSecs(40);
        record.source = QStringLiteral("cli");
        record.listFile = QStringLiteral("/srv/lists/network.BlackList");
        record.targets = hosts;
        record.observations.reserve(size_t(hosts) * zones);
        for (int h = 0; h < hosts; ++h) {
            for (int z = 0; z < zones; ++z) {
                ScanObservation seen;
                seen.target = targets[h];
                seen.zone = zoneNames[z];
                seen.listName = zoneNames[z];
                seen.link = QStringLiteral("https://") + zoneNames[z] + QStringLiteral("/lookup");
                if (z == failingZone || chance(random) < 0.0005) {
                    seen.outcome = Outcome::Failed;
                    seen.detail = QStringLiteral("timed out");
                } else if (listed.count({h, z})) {
                    seen.outcome = Outcome::Listed;
                    seen.codes = {QStringLiteral("127.0.0.2")};
                    seen.reasons = {QStringLiteral("Spam source")};
                    seen.txt = {QStringLiteral("Listed, see https://%1/lookup?ip=%2").arg(zoneNames[z], targets[h])};
                } else {
                    seen.outcome = Outcome::NotListed;
                }
                record.observations.push_back(std::move(seen));
            }
        }
        std::vector<HistoryChange> found;
        QElapsedTimer one;
        one.start();
        if (!store.Record(record, &found)) {
            std::fprintf(stderr, "scan %d: %s\n", scan, qPrintable(store.LastError()));
            return 1;
        }
        const qint64 took = one.nsecsElapsed() / 1000;
        (scan == 0 ? first : later) += took;
        slowest = std::max(slowest, took / 1000);
        changes += static_cast<qint64>(found.size());
        if ((scan + 1) % 1000 == 0) std::fprintf(stderr, "%d scans...\n", scan + 1);
    }
    const double seconds = total.elapsed() / 1000.0;
    store.Close();
    const qint64 size = QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
    std::printf("recorded scans:        %d (%d targets x %d lists = %d outcomes each)\n", scans, hosts, zones,
                hosts * zones);
    std::printf("changes reported:      %lld\n", static_cast<long long>(changes));
    std::printf("database size:         %.2f MB (%lld bytes)\n", size / 1e6, static_cast<long long>(size));
    std::printf("time per recorded scan: %.1f ms mean, %lld ms slowest\n", seconds * 1000 / scans,
                static_cast<long long>(slowest));
    std::printf("first scan:            %.1f ms (%.2f us per outcome)\n", first / 1000.0,
                double(first) / (hosts * zones));
    if (scans > 1)
        std::printf("later scans:           %.1f ms mean (%.2f us per outcome)\n", later / 1000.0 / (scans - 1),
                    double(later) / (scans - 1) / (hosts * zones));
    if (scans < 24 * 365)
        std::printf("(a year is %d scans; run with --scans %d for the full figure)\n", 24 * 365, 24 * 365);
    return 0;
}
