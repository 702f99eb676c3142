#pragma once

#include <QString>

namespace quarlo {

// A failure in two parts: what could not be done, naming the file, and why,
// in the system's or the reader's words. Each place that shows it joins the
// parts its own way: the object model's LastError and message boxes put the
// reason below a blank line, a status line and the command line after a
// colon.
struct ErrorText {
    QString what;
    QString why;

    bool isEmpty() const { return what.isEmpty() && why.isEmpty(); }
    QString joined(const QString& separator) const
    {
        if (why.isEmpty()) return what;
        if (what.isEmpty()) return why;
        return what + separator + why;
    }
    // As a message box shows it, and the object model's LastError gives it.
    QString Boxed() const { return joined(QStringLiteral("\r\n\r\n")); }
    // For one line: a status line, a warning row, the command line.
    QString OneLine() const { return joined(QStringLiteral(": ")); }
    bool operator==(const ErrorText& other) const { return what == other.what && why == other.why; }
};

} // namespace quarlo
