#pragma once

#include "storage/AddressListFile.h"

#include <QString>
#include <functional>

namespace quarlo {

// Reads one list file given to quarlo-check. What the file holds decides how
// it is read, never its name: XML is a ".BlackList" address list
// (AddressListFile), other text holds one target per line. Text is read line
// by line with bounded memory (LineReader); a file with binary data in it is
// refused rather than read as junk targets.
class ListFileReader {
public:
    enum class Kind { AddressList, Text };
    enum class Status { Done, Stopped, Failed };

    // Text lists are bounded as address lists are.
    static constexpr qint64 kMaxFileBytes = AddressListFile::kMaxFileBytes;
    // A target is at most 320 characters; a longer line is cut here while read.
    static constexpr qsizetype kMaxLineBytes = 4096;

    // Gets each entry in file order: the text of an address list entry or of
    // a line (blank lines and comments included; the caller skips them); cut
    // when the line was longer than kMaxLineBytes and text is only its start.
    // Returns false to stop reading (too many targets).
    using Take = std::function<bool(const QString& text, bool cut)>;

    // Stopped: take returned false. Failed: *error says why, in words that
    // follow the file's name ("it is a directory, not a file").
    static Status Read(const QString& path, const Take& take, Kind* kind, QString* error);

    // Why a file that gave no entries gave none, in words that follow its
    // name ("is empty", "is XML but not an address list ...").
    static QString WhyEmpty(const QString& path, Kind kind);
};

} // namespace quarlo
