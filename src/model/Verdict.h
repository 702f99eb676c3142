#pragma once

#include <QString>

namespace quarlo {

// What one scan says about one address, derived from the outcome of every
// query. Only Clean means that every list asked answered and none listed.
enum class Verdict {
    NotScanned,    // no scan has reached it yet
    Scanning,      // queries still to send or answers outstanding
    Listed,        // at least one list lists it
    Clean,         // every list answered, none lists it
    Incomplete,    // none lists it, but some lists failed or were skipped
    Refused,       // none lists it, every list answered, some refused the query
    Unresolvable,  // the host name has no IPv4 address
    NotChecked,    // the scan was stopped before it was finished, or no list was enabled
    NoMail,        // an e-mail domain that publishes a null MX: it takes no mail
    Unsupported,   // a target the scan cannot check (see Address::InvalidReason)
    NotApplicable, // no enabled list can answer for it (an IPv6 address, IP lists only)
};

// The word used for a verdict in reports: "listed", "clean", ...
inline QString VerdictKeyword(Verdict verdict)
{
    switch (verdict) {
    case Verdict::NotScanned: return QStringLiteral("not-scanned");
    case Verdict::Scanning: return QStringLiteral("scanning");
    case Verdict::Listed: return QStringLiteral("listed");
    case Verdict::Clean: return QStringLiteral("clean");
    case Verdict::Incomplete: return QStringLiteral("incomplete");
    case Verdict::Refused: return QStringLiteral("refused");
    case Verdict::Unresolvable: return QStringLiteral("unresolvable");
    case Verdict::NotChecked: return QStringLiteral("not-checked");
    case Verdict::Unsupported: return QStringLiteral("invalid");
    case Verdict::NotApplicable: return QStringLiteral("not-applicable");
    case Verdict::NoMail: return QStringLiteral("no-mail");
    }
    return QString();
}

} // namespace quarlo
