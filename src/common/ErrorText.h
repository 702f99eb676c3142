#pragma once

#include <QString>

#include <initializer_list>

namespace quarlo {

// Paragraphs as a message box and the object model's LastError show them:
// a blank line between, empty ones left out.
inline QString Paragraphs(std::initializer_list<QString> parts)
{
    QString text;
    for (const QString& part : parts) {
        if (part.isEmpty()) continue;
        if (!text.isEmpty()) text += QStringLiteral("\r\n\r\n");
        text += part;
    }
    return text;
}

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
    QString Boxed() const { return Paragraphs({what, why}); }
    // For one line: a status line, a warning row, the command line.
    QString OneLine() const { return joined(QStringLiteral(": ")); }
    bool operator==(const ErrorText& other) const { return what == other.what && why == other.why; }
};

} // namespace quarlo
