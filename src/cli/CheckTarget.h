#pragma once

#include "cli/TargetStatus.h"
#include "model/Address.h"

#include <QString>
#include <vector>

namespace quarlo {

// One target of a command-line check as the user gave it, and what stands
// for it in the address list. Several targets may share one list entry
// (e-mail addresses with the same mail server); each keeps its own report.
struct CheckTarget {
    static constexpr int kMaxLength = 320;

    QString target;     // as given, without surrounding blanks; cut short when too long
    QString invalid;    // why it was not checked at all (rejected up front)
    QString mailDomain; // e-mail addresses: the domain after the last "@"
    QString mx;         // e-mail addresses: the mail host checked (the domain itself when it has no MX)
    bool nullMx = false;       // the domain publishes "MX 0 .": it accepts no mail
    bool mxUnanswered = false; // no DNS server answered the MX query
    AddressPtr address;        // the list entry checked; null when nothing was
    // E-mail addresses: the entry that asks domain lists for the mail
    // domain itself (the mail host's entry asks them for the host's domain).
    AddressPtr domainAddress;
    // An IPv6 address looked up for a host name on request: that host.
    QString addressOf;

    // A target from one argument or input line; check invalid.
    static CheckTarget FromText(const QString& text);
    // An invalid target for text longer than kMaxLength, of which start is
    // the beginning (the whole may never have been read).
    static CheckTarget TooLong(const QString& start);

    bool isMail() const { return !mailDomain.isEmpty(); }
    // The mail domain still needs its MX looked up.
    bool needsMx() const { return isMail() && invalid.isEmpty() && mx.isEmpty() && !nullMx; }
    // What the address list checks; empty when nothing is to be checked.
    QString listTarget() const;
    // What the address list checks against domain lists for an e-mail
    // address; empty for other targets and for address literals.
    QString domainListTarget() const;

    TargetStatus status() const;
    // The checked IPv4 address; empty when there is none.
    QString ip() const;
};

// 1 when a target is listed; else 3 when one could not be vouched for
// (incomplete, refused, unresolvable, invalid, no mail); else 0.
int ExitStatusFor(const std::vector<CheckTarget>& targets);

} // namespace quarlo
