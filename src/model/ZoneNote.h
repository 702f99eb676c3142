#pragma once

#include <QString>

namespace quarlo {

// A list that did not give an address a usable answer in this scan.
struct ZoneNote {
    enum class Kind {
        Failed,        // asked, no usable answer
        Refused,       // asked, the operator refused the query
        Skipped,       // not asked: the list failed its test before the scan
        NotApplicable, // not asked: the list cannot answer for this kind of target
    };

    QString zone;
    Kind kind = Kind::Failed;
    QString detail; // why, for the user ("timed out", the refusal's reason)
};

} // namespace quarlo
