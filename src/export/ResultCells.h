#pragma once

#include "export/GridCell.h"
#include "model/Verdict.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <array>
#include <vector>

namespace quarlo {

class Address;
class RespondingServer;
class Response;
class Settings;

// The texts and colours of the results grid's rows, worked out from the
// scan results alone. The window's grid and every export (including the
// command-line scanner's) use them, so a printed or exported report says
// exactly what the window says.
class ResultCells {
public:
    static constexpr int kTargetColumn = 0;
    static constexpr int kReasonColumn = 1;
    static constexpr int kUrlColumn = 2;
    static constexpr int kColumns = 3;
    using Row = std::array<GridCell, kColumns>;

    explicit ResultCells(const Settings& settings) : settings_(settings) {}

    // The cells' texts with parts filled in (%1 the text before, a reason or
    // the list's name). Reports and automation get them in English; the
    // window reads them back into the user's language (ui/ShownText).
    static constexpr const char* kIncompleteBecauseText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells", "Not completely checked: %1");
    static constexpr const char* kNotCheckedBecauseText = QT_TRANSLATE_NOOP("quarlo::ResultCells", "Not checked: %1");
    static constexpr const char* kInvalidTargetBecauseText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells", "Invalid target: %1");
    static constexpr const char* kHostLookupText = QT_TRANSLATE_NOOP("quarlo::ResultCells", "Host name lookup: %1");
    static constexpr const char* kIpv6ApplicabilityText = QT_TRANSLATE_NOOP(
        "quarlo::ResultCells", "%1; IPv6: checked against %2 of %3 lists (the others do not support IPv6)");
    static constexpr const char* kDomainApplicabilityText = QT_TRANSLATE_NOOP(
        "quarlo::ResultCells", "%1; e-mail domain %2: checked against %3 of %4 lists (the IP lists do not apply)");
    static constexpr const char* kNoAnswerText = QT_TRANSLATE_NOOP("quarlo::ResultCells", "%1: no usable answer");
    static constexpr const char* kNoAnswerBecauseText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells", "%1: no usable answer (%2)");
    static constexpr const char* kRefusedText = QT_TRANSLATE_NOOP("quarlo::ResultCells", "%1 refused the query");
    static constexpr const char* kRefusedBecauseText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells", "%1 refused the query: %2");
    static constexpr const char* kNotAskedText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells", "%1: not asked, it failed its test before the scan");
    static constexpr const char* kNotApplicableText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells", "%1: not applicable (%2)");
    static constexpr const char* kServerRefusedText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells", "%1 refused the query. This is not a listing.");
    static constexpr const char* kServerRefusedBecauseText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells", "%1 refused the query: %2. This is not a listing.");
    static constexpr const char* kAnswerText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells", "DNS returned the response of %1");
    static constexpr const char* kRefusalAnswerText =
        QT_TRANSLATE_NOOP("quarlo::ResultCells",
                          "DNS returned the response of %1, by which %2 refuses the query. This is not a listing.");

    static QStringList Headers();
    // The tint behind the row of a server that lists the address.
    static QColor ServerBackground();
    static QString NotListedText();
    // What a clean verdict adds when some lists did not apply to the target
    // ("; IPv6: checked against 3 of 8 lists ..."); empty when all applied.
    static QString ApplicabilityText(const Address& address);

    // The address row's first column.
    GridCell Target(const Address& address) const;
    // The address row's second column for the verdict.
    GridCell Status(const Address& address, Verdict verdict) const;
    // The second column of a target rejected before any list was asked.
    static GridCell InvalidTarget(const QString& reason);
    // A responding server's row (name, count of reasons or refusal, home
    // page); the home page is empty for a server no longer configured.
    Row ServerRow(const RespondingServer& server) const;
    GridCell ServerStatus(const RespondingServer& server) const;
    // One answer of a server: the answer, its reason, its TXT text.
    Row AnswerRow(const Response& response, const QString& zone) const;
    // The TXT column of an answer, which arrives after the answer itself.
    static QString AnswerText(const Response& response);

    // A list's display name from the settings, else its zone.
    QString ListName(const QString& zone) const;
    // One line per list that gave the address no usable answer, and why.
    QString ZoneNotesText(const Address& address) const;
    // The rows under an address that name the lists which gave it no
    // usable answer (timed out, SERVFAIL), were not asked because they
    // failed their self-test, or (when none applied) could not answer for
    // it; one per list, with the reason. Refusals have server rows of their
    // own. Every report shows these, so "1 of 5 lists did not answer"
    // always says which.
    std::vector<Row> NoteRows(const Address& address) const;
    // Lists that gave no usable answer or were skipped (refusals and lists
    // that do not apply left out).
    static int UnansweredCount(const Address& address);

    // The web address a cell's text points to, or an empty string: from
    // "http://" or "https://" (any letter case) up to the first blank,
    // quote or angle bracket, without trailing punctuation; only an address
    // with a host counts. A TXT text anyone can publish may hold a formula
    // or markup around an address; the link is the address alone.
    static QString LinkFromText(const QString& text);
    // Where in text the link of LinkFromText stands: its start, or -1.
    static qsizetype LinkStart(const QString& text);

private:
    const Settings& settings_;
};

} // namespace quarlo
