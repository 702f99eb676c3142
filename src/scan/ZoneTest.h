#pragma once

#include "model/QueryOutcome.h"

#include <QString>
#include <QtGlobal>

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
    QString name;                                       // the list's display name
    QString askZone;                                    // the zone as asked: a keyed list's with the key in it
    QueryOutcome listedProbe = QueryOutcome::Ignored;   // answer for 127.0.0.2; Ignored while outstanding
    QueryOutcome unlistedProbe = QueryOutcome::Ignored; // answer for 127.0.0.1
    QString detail;                                     // the failure or refusal, for the user
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
    // The lines description() gives, %1 the list: English in reports and
    // logs; the window reads them back into the user's language
    // (ui/ShownText).
    static constexpr const char* kFailedText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "%1 did not answer its test query (%2); skipped in this scan");
    static constexpr const char* kRefusedText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "%1 refused its test query: %2; skipped in this scan");
    static constexpr const char* kListsEveryNameText = QT_TRANSLATE_NOOP(
        "quarlo::EngineText", "%1 lists the test name %2, so it would list every name; skipped in this scan");
    static constexpr const char* kListsEveryAddressText = QT_TRANSLATE_NOOP(
        "quarlo::EngineText", "%1 lists the test address %2, so it would list every address; skipped in this scan");
    static constexpr const char* kNoTestNameText =
        QT_TRANSLATE_NOOP("quarlo::EngineText",
                          "%1 does not list the test name %2; its answers could not be "
                          "verified, so it was skipped in this scan");
    static constexpr const char* kNoTestAddressText =
        QT_TRANSLATE_NOOP("quarlo::EngineText",
                          "%1 does not list the test address %2; its answers could not be "
                          "verified, so it was skipped in this scan");

    // One line for the user; empty for a healthy or pending zone.
    QString description() const
    {
        const QString list = name.isEmpty() || name == zone ? zone : QStringLiteral("%1 (%2)").arg(name, zone);
        switch (health()) {
        case Health::Failed: return QString::fromUtf8(kFailedText).arg(list, detail);
        case Health::Refused: return QString::fromUtf8(kRefusedText).arg(list, detail);
        case Health::ListsEverything:
            return QString::fromUtf8(domainList ? kListsEveryNameText : kListsEveryAddressText)
                .arg(list, unlistedEntry());
        case Health::NoTestEntry:
            return QString::fromUtf8(domainList ? kNoTestNameText : kNoTestAddressText).arg(list, listedEntry());
        case Health::Pending:
        case Health::Ok: break;
        }
        return QString();
    }
};

} // namespace quarlo
