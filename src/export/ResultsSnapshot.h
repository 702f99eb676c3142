#pragma once

#include "export/TableSnapshot.h"

namespace quarlo {

class Addresslist;
class Settings;

// The results grid built straight from a scanned list, for programs without
// a window (the command-line scanner): the same rows, texts and colours the
// window would show, every row expanded, since no one has folded anything.
class ResultsSnapshot {
public:
    static TableSnapshot FromList(const Addresslist& list, const Settings& settings);
};

} // namespace quarlo
