#pragma once

#include <QString>

namespace quarlo {

// The English texts the engine and the grid's cells build (verdicts, a
// lookup's reason, a list's test result, a stalled scan) as the window shows
// them: in the user's language where a translation exists. The texts stay
// English where they are made, for reports, automation and the history; the
// window reads them back here, by their marked sources ("quarlo::EngineText",
// "quarlo::ResultCells" and the grid's own), filling in the parts (counts,
// list names, a reason, itself translated). A text it does not know is
// shown as it is: list names, the lists' answers, a server's message.
namespace WindowText {

// One text.
QString Of(const QString& english);
// Each line of a text (a tooltip naming several lists).
QString Lines(const QString& english);
// An answer's reason: the list's own words, as they are, but for an
// answer the list defined no reason for.
QString AnswerReason(const QString& english);
// A target's caption, "name (address, address, ...)": the words among the
// parts ("Unresolvable", "no mail", "3 more").
QString Caption(const QString& caption);

} // namespace WindowText
} // namespace quarlo
