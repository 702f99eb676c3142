#pragma once

#include "model/Verdict.h"

#include <QString>

namespace quarlo {

// What quarlo-check reports for one target. Only Clean vouches that every
// list was asked and none lists it.
enum class TargetStatus {
    Listed,
    Clean,
    Incomplete,    // some lists gave no usable answer, or the check was cut short
    Refused,       // every list answered, some refused the query
    Unresolvable,  // the host name has no IPv4 address
    Invalid,       // not a target that can be checked
    NoMail,        // an e-mail domain that publishes a null MX: nothing to check
    NotApplicable, // no enabled list can answer for it (an IPv6 address, IP lists only)
    NotChecked,    // no list was asked: none enabled, or the check was stopped first
};

// The word used in reports: "listed", "clean", ..., "no-mail".
inline QString TargetStatusKeyword(TargetStatus status)
{
    switch (status) {
    case TargetStatus::Listed: return QStringLiteral("listed");
    case TargetStatus::Clean: return QStringLiteral("clean");
    case TargetStatus::Incomplete: return QStringLiteral("incomplete");
    case TargetStatus::Refused: return QStringLiteral("refused");
    case TargetStatus::Unresolvable: return QStringLiteral("unresolvable");
    case TargetStatus::Invalid: return QStringLiteral("invalid");
    case TargetStatus::NoMail: return QStringLiteral("no-mail");
    case TargetStatus::NotApplicable: return QStringLiteral("not-applicable");
    case TargetStatus::NotChecked: return QStringLiteral("not-checked");
    }
    return QString();
}

// A finished scan leaves no address scanning or unscanned; should one be
// left, it was not vouched for, so it reads as incomplete.
inline TargetStatus TargetStatusFor(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Listed: return TargetStatus::Listed;
    case Verdict::Clean: return TargetStatus::Clean;
    case Verdict::Refused: return TargetStatus::Refused;
    case Verdict::Unresolvable: return TargetStatus::Unresolvable;
    case Verdict::Unsupported: return TargetStatus::Invalid;
    case Verdict::NotApplicable: return TargetStatus::NotApplicable;
    case Verdict::NoMail: return TargetStatus::NoMail;
    case Verdict::NotChecked: return TargetStatus::NotChecked;
    case Verdict::Incomplete:
    case Verdict::NotScanned:
    case Verdict::Scanning: return TargetStatus::Incomplete;
    }
    return TargetStatus::Incomplete;
}

} // namespace quarlo
