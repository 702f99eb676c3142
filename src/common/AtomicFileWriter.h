#pragma once

#include <QByteArrayView>
#include <QString>

namespace quarlo {

// Replaces a whole file so that the previous version survives any failure:
// the new bytes go to a temporary file in the same directory, are flushed to
// the disk and checked, and only then renamed over the target. A full disk,
// a size limit or a crash leaves the old file as it was.
//
// Every file the program saves goes through here, so that errors are caught
// the same way everywhere (QSaveFile in Qt 6.4 reports success when its last
// flush fails, and renames the truncated file over the original).
//
// Temporaries are named ".<file name>.<pid>.<6 letters or digits>.saving",
// hidden and recognisable. A successful save removes leftovers of that
// pattern for the same target whose process is gone (or which are hours
// old); those of saves still running are kept.
//
// Safe to use from several threads.
class AtomicFileWriter {
public:
    // Replaces path (the file a symbolic link points at, for a link) with
    // bytes, keeping the old file's permissions. An existing directory,
    // device, pipe or socket at path is never replaced. False on failure,
    // with error telling why in one or two sentences that include the
    // system's text ("No space left on device").
    static bool Replace(const QString& path, QByteArrayView bytes, QString& error);

    // Whether fileName (no directory) is one of the temporaries a save of a
    // file named targetFileName creates.
    static bool IsTemporaryOf(const QString& fileName, const QString& targetFileName);
    // The start every temporary of targetFileName's saves has (no directory).
    static QString TemporaryPrefix(const QString& targetFileName);
};

} // namespace quarlo
