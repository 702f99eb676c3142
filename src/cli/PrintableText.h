#pragma once

#include "common/BidiControls.h"

#include <QString>

namespace quarlo {

// Targets and DNS texts may hold control characters (C0, DEL and C1, which
// some terminals take as escape sequences, and the bidi controls, which
// reorder what is shown); each becomes "?" so a report cannot drive the
// terminal it is shown on.
inline QString Printable(QString text)
{
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f) || IsBidiControl(u)) c = QLatin1Char('?');
    }
    return text;
}

// Bad input named in a message: its printable first characters, "..." when
// there is more, so a huge or hostile value is never echoed whole.
inline QString Excerpt(const QString& text, qsizetype length = 40)
{
    if (text.size() <= length) return Printable(text);
    // Do not split a surrogate pair.
    if (text.at(length - 1).isHighSurrogate()) --length;
    return Printable(text.left(length)) + QStringLiteral("...");
}

} // namespace quarlo
