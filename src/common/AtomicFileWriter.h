#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

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
    // What a save does when the name it was given is a symbolic link. The
    // name is never resolved behind the program's back: the temporary is
    // created in the name's own folder and renamed over the name itself.
    enum class Links {
        // Nothing is written ("It is a symbolic link; ..."): for names in
        // folders other users may write to, such as /tmp, where a planted
        // link would have the save replace a file of the link's choosing.
        Refuse,
        // The file the link points at is replaced and the link stays, as
        // the kernel would follow it: not a link another user owns in a
        // sticky, world-writable folder (unless that folder is theirs).
        Follow,
    };

    // Replaces the file at path with bytes, keeping the old file's
    // permissions. An existing directory, device, pipe or socket at path is
    // never replaced. False on failure, with error telling why in one or two
    // sentences that include the system's text ("No space left on device").
    static bool Replace(const QString& path, QByteArrayView bytes, QString& error, Links links = Links::Refuse);

    // Whether a save of path would be allowed to start now, so a problem is
    // found before long work rather than after it: the folder exists and
    // can be written, and path is not a directory, device or refused link.
    // Writes nothing.
    static bool CheckWritable(const QString& path, QString& error, Links links = Links::Refuse);

    // Why a save failed, as Replace and CheckWritable tell it: English, for
    // the command line, automation and the logs; the window reads them back
    // into the user's language (ui/WindowText). %1 is a folder, the
    // system's own text follows it.
    static constexpr const char* kCannotOpenFolderText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot open the folder %1: %2; nothing was written.");
    static constexpr const char* kCannotLookAtFolderText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot look at the folder %1: %2; nothing was written.");
    static constexpr const char* kCannotLookAtFileText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot look at the file: %1; nothing was written.");
    static constexpr const char* kCannotReadLinkText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot read the symbolic link: %1; nothing was written.");
    static constexpr const char* kCannotWriteInFolderText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot write in the folder %1: %2; nothing was written.");
    // Failures once the temporary is being written: the old file (or its
    // absence) is as it was.
    static constexpr const char* kCannotCreateKeptText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot create a file in %1: %2. The previous file is unchanged.");
    static constexpr const char* kCannotCreateNoneText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot create a file in %1: %2. No file was created.");
    static constexpr const char* kPermissionsKeptText = QT_TRANSLATE_NOOP(
        "quarlo::EngineText", "Cannot set the permissions of the new file: %1. The previous file is unchanged.");
    static constexpr const char* kWritingKeptText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Writing failed: %1. The previous file is unchanged.");
    static constexpr const char* kWritingNoneText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Writing failed: %1. No file was created.");
    static constexpr const char* kReplacingKeptText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot replace the file: %1. The previous file is unchanged.");
    static constexpr const char* kReplacingNoneText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot replace the file: %1. No file was created.");

    // Whether fileName (no directory) is one of the temporaries a save of a
    // file named targetFileName creates.
    static bool IsTemporaryOf(const QString& fileName, const QString& targetFileName);
    // The start every temporary of targetFileName's saves has (no directory).
    static QString TemporaryPrefix(const QString& targetFileName);
};

} // namespace quarlo
