#pragma once

#include "cli/WatchReport.h"

#include <QByteArray>
#include <functional>

namespace quarlo {

// The node-exporter textfile of a watch run: per target and list whether it
// is listed, failures per list, the scan's time and verdict. Write it with
// AtomicFileWriter: the collector reads the file at any moment.
class PrometheusWriter {
public:
    // Calls its argument with every observation of the scan.
    using Observations = std::function<void(const std::function<void(const ScanObservation&)>&)>;

    // observations: every outcome of the scan, listings or not (the report
    // keeps only the listings).
    static QByteArray Write(const WatchReport& report, const Observations& observations);
    // A label value with backslash, quote and line end escaped.
    static QString LabelValue(const QString& text);
};

} // namespace quarlo
