#pragma once

#include <QByteArray>
#include <QString>

namespace quarlo {

// Reads a file descriptor line by line in fixed chunks. A line longer than
// the cap is handed back cut to the cap and the rest of it is discarded
// unread into memory, so no input line, however long, is held whole; the
// total read is capped too, so endless input (/dev/zero) ends.
class LineReader {
public:
    enum class Result { Line, Overlong, End, TooMuch, Error };

    LineReader(int fd, qsizetype maxLineBytes, qint64 maxTotalBytes);

    // The next line without its "\n". Overlong: line holds the first
    // maxLineBytes bytes. TooMuch: more than maxTotalBytes were read.
    // Error: see errorString().
    Result next(QByteArray* line);
    QString errorString() const { return error_; }
    // The number of the line next() handed back last, from 1.
    qint64 lineNumber() const { return lines_; }

private:
    // Appends up to one chunk to buffer_; false at end of input or on error.
    bool fill();
    // Drops input up to and including the next "\n".
    Result skipRestOfLine();

    int fd_;
    qsizetype maxLine_;
    qint64 maxTotal_;
    qint64 total_ = 0;
    qint64 lines_ = 0;
    QByteArray buffer_;
    bool end_ = false;
    bool tooMuch_ = false;
    QString error_;
};

} // namespace quarlo
