#pragma once

#include <QHash>
#include <QString>

namespace quarlo {

// Probes per client and minute: one client (a misconfigured scraper, a
// script in a loop) cannot use up the service's scans or the lists'
// patience on its own.
class ClientRate {
public:
    // Clients remembered at once; beyond, the oldest minute is forgotten.
    static constexpr int kMaxClients = 10000;

    explicit ClientRate(int perMinute) : perMinute_(perMinute) {}

    // Counts a request of client at nowMs; false when it is one too many
    // for the current minute.
    bool allow(const QString& client, qint64 nowMs);

private:
    struct Window {
        qint64 startMs = 0;
        int count = 0;
    };
    int perMinute_;
    QHash<QString, Window> windows_;
};

} // namespace quarlo
