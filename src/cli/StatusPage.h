#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace quarlo {

// The service's front page: every scheduled watch with its verdict, last
// and next scan, listed targets and failing lists, rendered by the same
// HTML report writer as the exports (self-contained, no scripts), so it
// works in any browser and behind any proxy.
class StatusPage {
public:
    struct Watch {
        QString name;
        QString file;
        QString status;     // OK, WARNING, CRITICAL, UNKNOWN; empty before the first scan
        QString problem;    // why the last run could not scan, or empty
        QDateTime lastScan; // invalid before the first scan
        QDateTime nextScan;
        bool running = false;
        int targets = 0;
        QStringList listed; // ScanDigest::listedTargets()
        QStringList failingLists;
    };

    static QByteArray Html(const std::vector<Watch>& watches, const QDateTime& started, qint64 probeScans,
                           const QString& version);
};

} // namespace quarlo
