#pragma once

#include "cli/TargetStatus.h"
#include "model/Address.h"

#include <QString>
#include <vector>

namespace quarlo {

// One target of a command-line check as the user gave it, and the list
// entry that checks it. What the target stands for (addresses, mail
// servers) is found by the scan itself, the same way for every front end.
struct CheckTarget {
    static constexpr int kMaxLength = 320;

    QString target;     // as given, without surrounding blanks; cut short when too long
    QString invalid;    // why it was not checked at all (rejected up front)
    AddressPtr address; // the list entry checked; null when nothing was

    // A target from one argument or input line; check invalid.
    static CheckTarget FromText(const QString& text);
    // An invalid target for text longer than kMaxLength, of which start is
    // the beginning (the whole may never have been read).
    static CheckTarget TooLong(const QString& start);

    TargetStatus status() const;
    // The first checked address; empty when there is none.
    QString ip() const;
    // An e-mail address: the mail servers checked, joined by ", ".
    QString mx() const;
};

// 1 when a target is listed; else 3 when one could not be vouched for
// (incomplete, refused, unresolvable, invalid, no mail, not checked); else 0.
int ExitStatusFor(const std::vector<CheckTarget>& targets);

} // namespace quarlo
