#include "cli/LineReader.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace quarlo {
namespace {
constexpr qsizetype kChunk = 64 * 1024;
}

LineReader::LineReader(int fd, qsizetype maxLineBytes, qint64 maxTotalBytes)
    : fd_(fd), maxLine_(maxLineBytes), maxTotal_(maxTotalBytes)
{
}

bool LineReader::fill()
{
    if (end_ || tooMuch_ || !error_.isEmpty()) return false;
    const qsizetype old = buffer_.size();
    buffer_.resize(old + kChunk);
    ssize_t got;
    do {
        got = ::read(fd_, buffer_.data() + old, static_cast<size_t>(kChunk));
    } while (got < 0 && errno == EINTR);
    buffer_.resize(old + (got > 0 ? got : 0));
    if (got < 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (got == 0) {
        end_ = true;
        return false;
    }
    total_ += got;
    if (total_ > maxTotal_) {
        tooMuch_ = true;
        return false;
    }
    return true;
}

LineReader::Result LineReader::skipRestOfLine()
{
    for (;;) {
        const qsizetype newline = buffer_.indexOf('\n');
        if (newline >= 0) {
            buffer_.remove(0, newline + 1);
            return Result::Overlong;
        }
        buffer_.clear();
        if (!fill()) break;
    }
    if (tooMuch_) return Result::TooMuch;
    if (!error_.isEmpty()) return Result::Error;
    return Result::Overlong;
}

LineReader::Result LineReader::next(QByteArray* line)
{
    for (;;) {
        const qsizetype newline = buffer_.indexOf('\n');
        if (newline >= 0 && newline <= maxLine_) {
            *line = buffer_.left(newline);
            buffer_.remove(0, newline + 1);
            ++lines_;
            return Result::Line;
        }
        if (buffer_.size() > maxLine_) {
            *line = buffer_.left(maxLine_);
            buffer_.remove(0, maxLine_);
            ++lines_;
            return skipRestOfLine();
        }
        if (!fill()) break;
    }
    if (tooMuch_) return Result::TooMuch;
    if (!error_.isEmpty()) return Result::Error;
    if (buffer_.isEmpty()) return Result::End;
    // The last line, without a "\n".
    *line = buffer_;
    buffer_.clear();
    ++lines_;
    return Result::Line;
}

} // namespace quarlo
