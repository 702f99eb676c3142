#pragma once

#include "common/RegistryBackend.h"

#include <QString>
#include <QtGlobal>
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
// Lines that cannot be understood (damage, hand edits) are kept byte for byte
// and the rest is used. A file that is not a registry export at all (another
// kind of file under the same name) is left alone: reads find nothing in it
// and writes to it fail with lastError() saying so, so a user's data is never
// replaced. Everything the parser understands but the registry functions do
// not use (other value types, comments, other roots' keys) survives rewrites.
// Files are replaced through AtomicFileWriter; a writer killed while holding
// the lock does not hold up the next one.
//
// Safe to use from several threads.
class RegFileBackend : public RegistryBackend {
public:
    explicit RegFileBackend(QString directory);
    ~RegFileBackend() override;
    RegFileBackend(const RegFileBackend&) = delete;
    RegFileBackend& operator=(const RegFileBackend&) = delete;

    std::optional<RegistryValue> read(RegistryRoot root, const QString& keyPath, const QString& valueName) override;
    bool write(RegistryRoot root, const QString& keyPath, const QString& valueName,
               const RegistryValue& value) override;
    // Why the last write failed, naming the file; empty after a success.
    QString lastError() const override;

    // Those reasons: English, as the command line and automation give them;
    // the window reads them back into the user's language (ui/WindowText).
    // %1 is the file or folder.
    static constexpr const char* kCannotSaveText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot save the settings to %1: %2");
    static constexpr const char* kCannotReadText = QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot read %1: %2");
    static constexpr const char* kChangedText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "%1 changed while it was read.");
    static constexpr const char* kNotRegularText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "%1 is not a regular file; it was left unchanged.");
    static constexpr const char* kTooLargeText = QT_TRANSLATE_NOOP(
        "quarlo::EngineText",
        "%1 is larger than %2 MiB, so it is not a settings file of this program; it was left unchanged.");
    static constexpr const char* kNotExportText =
        QT_TRANSLATE_NOOP("quarlo::EngineText",
                          "%1 is not a registry export (it does not begin with \"%2\" or a "
                          "key in brackets); it was left unchanged.");
    static constexpr const char* kCannotCreateFolderText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot create the folder %1.");
    static constexpr const char* kCannotLockText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot create the lock file %1: %2");
    static constexpr const char* kLockHeldText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Another program has been holding the lock file %1 for too long.");

    const QString& directory() const;
    // The file holding one root's keys.
    QString filePath(RegistryRoot root) const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace quarlo
