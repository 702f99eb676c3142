#pragma once

#include <QString>
#include <QStringList>

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
};

} // namespace quarlo
