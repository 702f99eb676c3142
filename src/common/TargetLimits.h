#pragma once

#include <QtGlobal>

namespace quarlo {

// How many addresses one check may hold, whichever way they come in: the
// command-line checker's targets, an address list file with its ranges
// expanded, ranges added in the window. Far above real use (a /16 is 65,536
// addresses), low enough that a list, its grid and its scan stay in memory.
class TargetLimits {
public:
    static constexpr qint64 kMaxTargets = 100000;
    // More addresses than this from one range or one file are added only
    // after the user in the window said so: a slip ("/16" for "/26") must
    // not flood the list.
    static constexpr qint64 kConfirmAbove = 4096;
};

} // namespace quarlo
