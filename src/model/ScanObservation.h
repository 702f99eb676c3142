#pragma once

#include <QString>
#include <QStringList>

namespace quarlo {

// What one scan found for one target on one list, as the history keeps it:
// a plain value, free of the scan engine, so it can be stored, compared and
// handed to another thread.
struct ScanObservation {
    // Stored as numbers in the history: never renumber.
    enum class Outcome {
        Listed = 1,
        NotListed = 2,
        Refused = 3,       // the operator refused the query
        Failed = 4,        // asked, no usable answer
        Skipped = 5,       // not asked: the list failed its self-test
        NotApplicable = 6, // not asked: the list cannot answer for this target
        Unresolvable = 7,  // not asked: the target's name did not resolve
        Invalid = 8,       // not asked: the target is nothing a scan can check
    };

    QString target; // the address list's entry (IP, host name or mail server)
    QString zone;
    QString listName; // the list's display name
    Outcome outcome = Outcome::NotListed;
    QStringList codes;   // listing answers (127.0.0.x)
    QStringList reasons; // what the codes stand for
    QStringList txt;     // the list's TXT texts
    QString link;        // where to look up or ask for delisting
    QString detail;      // why it failed or was refused

    // No usable answer from the list for this target.
    static bool IsFailing(Outcome outcome)
    {
        return outcome == Outcome::Refused || outcome == Outcome::Failed || outcome == Outcome::Skipped;
    }
    // The list answered whether it lists the target.
    static bool IsAnswer(Outcome outcome) { return outcome == Outcome::Listed || outcome == Outcome::NotListed; }

    static QString Keyword(Outcome outcome)
    {
        switch (outcome) {
        case Outcome::Listed: return QStringLiteral("listed");
        case Outcome::NotListed: return QStringLiteral("not-listed");
        case Outcome::Refused: return QStringLiteral("refused");
        case Outcome::Failed: return QStringLiteral("failed");
        case Outcome::Skipped: return QStringLiteral("skipped");
        case Outcome::NotApplicable: return QStringLiteral("not-applicable");
        case Outcome::Unresolvable: return QStringLiteral("unresolvable");
        case Outcome::Invalid: return QStringLiteral("invalid");
        }
        return QString();
    }
    // The outcome for a stored number; false for one this version does not know.
    static bool FromNumber(int number, Outcome* outcome)
    {
        if (number < 1 || number > 8) return false;
        *outcome = static_cast<Outcome>(number);
        return true;
    }
};

} // namespace quarlo
