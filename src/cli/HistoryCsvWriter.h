#pragma once

#include "model/HistoryEvent.h"

#include <QString>
#include <vector>

namespace quarlo {

// A target's timeline as CSV: one row per change of its outcome on a list
// (time, target, zone, list, outcome, codes, reasons, TXT, link, detail).
class HistoryCsvWriter {
public:
    static QString Write(const std::vector<HistoryEvent>& events);
};

} // namespace quarlo
