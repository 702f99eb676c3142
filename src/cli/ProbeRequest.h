#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace quarlo {

// One `GET /probe` of the service, checked before anything is asked: the
// target (an IP address, host name, e-mail address or a range of at most
// a /24) and optionally the list configuration or the watch it belongs to.
// Anything else is refused with a one-line reason, so a typo in a scrape
// configuration shows instead of silently probing something else.
class ProbeRequest {
public:
    static constexpr qint64 kMaxAddresses = 256;
    static constexpr int kMaxNameLength = 200;

    QString target;      // trimmed, as given
    QStringList entries; // what is checked: the target, or each address of its range
    QString list;        // a configuration file name in the service's configuration folder; empty: the service's
    QString watch;       // the watch whose targets alone may be probed; empty: any target

    // The key under which probes share a scan and its cached answer.
    QString key() const;

    // items: the query's decoded name/value pairs, in order. Null with
    // *why set (one line, bad input only as a short excerpt) when refused.
    static std::optional<ProbeRequest> Parse(const QList<QPair<QString, QString>>& items, QString* why);
};

} // namespace quarlo
