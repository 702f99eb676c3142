#pragma once

#include <QByteArray>
#include <QList>

namespace quarlo {

// Joins texts in the Prometheus text format into one: each metric family
// (its HELP and TYPE lines, then its samples) once, with the samples of
// every text that has it. The watches' reports each name every family, and
// a scrape that repeats a family is refused whole.
class MetricFamilies {
public:
    static QByteArray Merge(const QList<QByteArray>& texts);
};

} // namespace quarlo
