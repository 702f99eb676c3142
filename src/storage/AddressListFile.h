#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace quarlo {

// ".BlackList" files: root "AddressList", one "Address" element with a
// "Target" attribute per entry, in list order. Only the targets are kept.
// An entry is an address, a host name, an e-mail address or a network range
// ("203.0.113.0/24", "203.0.113.10-203.0.113.50") that stands for all its
// addresses: a file keeps a range as one element and the address list
// expands it on load (see Addresslist::FileTargets), so files stay small.
// Files with one element per address read the same as ever.
class AddressListFile {
public:
    // Larger files are not read. A list of 300 addresses takes about 12 KB
    // and a million about 40 MB; parsing needs about three times the file's
    // size in memory, so this bounds what a wrong or hostile file can take.
    static constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;

    // The targets in file order: every attribute whose name is "Target" in
    // any letter case of every "/AddressList/Address" element. False when
    // the file cannot be read, is not a regular file, is larger than
    // kMaxFileBytes or is not well-formed.
    static bool Read(const QString& path, QStringList& targets, QString& description);
    // Writes atomically: the previous file survives a failed or interrupted save.
    // An empty target is written as an element without the attribute.
    static bool Write(const QStringList& targets, const QString& path, QString& description);

    // The address list's messages about its files, with parts filled in
    // (%1 the path): English for automation; the window reads them back
    // into the user's language (ui/WindowText).
    static constexpr const char* kCannotLoadText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot load Address List from %1");
    static constexpr const char* kCannotSaveText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot save Address List to %1");
    static constexpr const char* kTooManyText = QT_TRANSLATE_NOOP(
        "quarlo::EngineText", "It stands for %1 addresses; a list holds at most %2. Split it into smaller lists.");
    static constexpr const char* kMoreThanTooManyText = QT_TRANSLATE_NOOP(
        "quarlo::EngineText",
        "It stands for more than %1 addresses; a list holds at most %2. Split it into smaller lists.");
};

} // namespace quarlo
