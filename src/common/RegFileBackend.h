#pragma once

#include "common/RegistryBackend.h"

#include <QString>
#include <memory>

namespace quarlo {

// Registry store kept as text files in the Windows ".reg" export format, one
// file per root ("HKEY_CURRENT_USER.reg" and so on) in one directory, so the
// settings stay readable and editable by hand and can be moved to and from
// Windows.
//
// Several running copies of the program may share the directory: every write
// locks the file, re-reads it, applies its one change and replaces the file
// atomically, so concurrent writers never drop each other's values and a crash
// never leaves a half-written file. Reads use the last parsed copy until the
// file on disk changes.
//
// A file that exists but cannot be understood is left alone: reads find
// nothing in it and writes to it fail, so a user's data is never replaced.
// Everything the parser understands but the registry functions do not use
// (other value types, comments, other roots' keys) survives rewrites.
//
// Safe to use from several threads.
class RegFileBackend : public RegistryBackend {
public:
    explicit RegFileBackend(QString directory);
    ~RegFileBackend() override;
    RegFileBackend(const RegFileBackend&) = delete;
    RegFileBackend& operator=(const RegFileBackend&) = delete;

    std::optional<RegistryValue> read(RegistryRoot root, const QString& keyPath,
                                      const QString& valueName) override;
    bool write(RegistryRoot root, const QString& keyPath, const QString& valueName,
               const RegistryValue& value) override;

    const QString& directory() const;
    // The file holding one root's keys.
    QString filePath(RegistryRoot root) const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace quarlo
