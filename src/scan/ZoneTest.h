#pragma once

#include "model/QueryOutcome.h"

#include <QString>

namespace quarlo {

// The test a scan runs on one zone before asking it about any address: the
// test address 127.0.0.2 must be listed and 127.0.0.1 must not be. Domain
// lists are tested with the names RFC 5782 reserves for it: "test" listed,
// "invalid" not.
struct ZoneTest {
    enum class Health {
        Pending,         // answers outstanding
        Ok,              // lists 127.0.0.2, not 127.0.0.1
        NoTestEntry,     // answers, but does not list 127.0.0.2: it cannot vouch for anything
        ListsEverything, // lists 127.0.0.1: a dead list or a resolver that rewrites answers
        Refused,         // the operator refused the test query
        Failed,          // no usable answer to the test
    };

    static inline const QString kListedAddress = QStringLiteral("127.0.0.2");
    static inline const QString kUnlistedAddress = QStringLiteral("127.0.0.1");
    static inline const QString kListedDomain = QStringLiteral("test");
    static inline const QString kUnlistedDomain = QStringLiteral("invalid");

    QString zone;
    QString name; // the list's display name
    QString askZone; // the zone as asked: a keyed list's with the key in it
    QueryOutcome listedProbe = QueryOutcome::Ignored;   // answer for 127.0.0.2; Ignored while outstanding
    QueryOutcome unlistedProbe = QueryOutcome::Ignored; // answer for 127.0.0.1
    QString detail; // the failure or refusal, for the user
    bool domainList = false;

    QString listedEntry() const { return domainList ? kListedDomain : kListedAddress; }
    QString unlistedEntry() const { return domainList ? kUnlistedDomain : kUnlistedAddress; }
    // Whether a test entry is the one that must be listed.
    static bool IsListedEntry(const QString& entry) { return entry == kListedAddress || entry == kListedDomain; }

    Health health() const
    {
        const QueryOutcome a = listedProbe, b = unlistedProbe;
        if (a == QueryOutcome::Ignored || b == QueryOutcome::Ignored) return Health::Pending;
        if (a == QueryOutcome::Failed || b == QueryOutcome::Failed) return Health::Failed;
        if (a == QueryOutcome::Refused || b == QueryOutcome::Refused) return Health::Refused;
        if (b == QueryOutcome::Listed) return Health::ListsEverything;
        if (a != QueryOutcome::Listed) return Health::NoTestEntry;
        return Health::Ok;
    }
    // Whether the scan leaves the zone out.
    bool skipped() const
    {
        const Health h = health();
        // A list that does not list its own test entry may be a typo'd or
        // expired zone, or a resolver that answers NXDOMAIN for it: its
        // "not listed" would be worth nothing.
        return h != Health::Pending && h != Health::Ok;
    }
    // One line for the user; empty for a healthy or pending zone.
    QString description() const
    {
        const QString list = name.isEmpty() || name == zone ? zone : name + QStringLiteral(" (") + zone + QLatin1Char(')');
        switch (health()) {
        case Health::Failed:
            return list + QStringLiteral(" did not answer its test query (") + detail + QStringLiteral("); skipped in this scan");
        case Health::Refused:
            return list + QStringLiteral(" refused its test query: ") + detail + QStringLiteral("; skipped in this scan");
        case Health::ListsEverything:
            return list + (domainList ? QStringLiteral(" lists the test name ") : QStringLiteral(" lists the test address "))
                   + unlistedEntry()
                   + (domainList ? QStringLiteral(", so it would list every name") : QStringLiteral(", so it would list every address"))
                   + QStringLiteral("; skipped in this scan");
        case Health::NoTestEntry:
            return list
                   + (domainList ? QStringLiteral(" does not list the test name ") : QStringLiteral(" does not list the test address "))
                   + listedEntry() + QStringLiteral("; its answers could not be verified, so it was skipped in this scan");
        case Health::Pending:
        case Health::Ok: break;
        }
        return QString();
    }
};

} // namespace quarlo
