#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <vector>

namespace quarlo {

// The service's probe answers: kept for a while so that scrapes from
// several Prometheus servers (or a dashboard's refreshes) do not send the
// lists the same queries again; a probe of a target whose scan is running
// waits for that scan instead of starting another; and at most maxScans
// scans run at once, so a flood of probes cannot turn the service into a
// query cannon against the lists.
class ProbeCache {
public:
    // An HTTP status and its body; only answers with 200 are kept.
    struct Answer {
        int status = 200;
        QByteArray body;
    };
    using Deliver = std::function<void(const Answer& answer)>;
    enum class Outcome {
        Cached,  // deliver was called with the kept answer
        Joined,  // a scan for the key runs: deliver is called when it ends
        Started, // the caller starts the scan and calls finish() once it ends
        Busy,    // maxScans scans run already: nothing was done
    };

    // Far more targets than any scrape configuration holds.
    static constexpr int kMaxEntries = 10000;

    ProbeCache(int maxScans, qint64 keepMs) : maxScans_(maxScans), keepMs_(keepMs) {}

    Outcome request(const QString& key, qint64 nowMs, Deliver deliver);
    // The scan for key ended: every waiting probe gets its answer, which is
    // kept for the configured time (a failure is not: the next probe tries
    // again).
    void finish(const QString& key, const Answer& answer, qint64 nowMs);

    int running() const { return static_cast<int>(waiting_.size()); }
    qint64 scansStarted() const { return scansStarted_; }

private:
    struct Kept {
        Answer answer;
        qint64 untilMs = 0;
    };
    void dropExpired(qint64 nowMs);

    int maxScans_;
    qint64 keepMs_;
    QHash<QString, Kept> kept_;
    QHash<QString, std::vector<Deliver>> waiting_;
    qint64 scansStarted_ = 0;
};

} // namespace quarlo
