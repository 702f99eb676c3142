#pragma once

#include "cli/WatchReport.h"

#include <QByteArray>

namespace quarlo {

// The node-exporter textfile of a watch run: per target and list whether it
// is listed, failures per list, the scan's time and verdict. Write it with
// AtomicFileWriter: the collector reads the file at any moment.
class PrometheusWriter {
public:
    static QByteArray Write(const WatchReport& report);
    // A label value with backslash, quote and line end escaped.
    static QString LabelValue(const QString& text);
};

} // namespace quarlo
