// The .reg store: the input is the stored file of one root. Reading from it
// must not fail in any other way than finding nothing, and a write must keep
// every value that could be read before it.
#include "ScratchFile.h"

#include "common/RegFileBackend.h"

#include <QByteArray>
#include <QFileInfo>
#include <cstdlib>
#include <optional>

using namespace quarlo;

namespace {

// The first section's key path below the root and the first value's name,
// so that the reads hit what the input defines.
void firstNames(const QByteArray& bytes, QString& key, QString& value)
{
    const QString text = QString::fromUtf8(bytes);
    bool haveKey = false, haveValue = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (!haveKey && line.startsWith(u'[') && line.endsWith(u']')) {
            const QStringView path = line.mid(1, line.size() - 2);
            const qsizetype slash = path.indexOf(u'\\');
            if (slash >= 0) key = path.mid(slash + 1).toString();
            haveKey = true;
        } else if (!haveValue && line.startsWith(u'"')) {
            const qsizetype end = line.indexOf(u'"', 1);
            if (end > 0) value = line.mid(1, end - 1).toString();
            haveValue = true;
        }
        if (haveKey && haveValue) return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ScratchFile scratch;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // A fresh store per input: it keeps its last parse until the file changes.
    RegFileBackend backend(scratch.directory());
    const QString file = backend.filePath(RegistryRoot::CurrentUser);
    QFile::remove(file);
    scratch.write(QFileInfo(file).fileName(), data, size);

    QString key, value;
    firstNames(bytes, key, value);
    const QString fixedKey = QStringLiteral("Software\\Vantorel\\Quarlo\\Settings");
    const QString fixedValue = QStringLiteral("Max Queries");
    const std::optional<RegistryValue> found = backend.read(RegistryRoot::CurrentUser, key, value);
    const std::optional<RegistryValue> fixed = backend.read(RegistryRoot::CurrentUser, fixedKey, fixedValue);

    const RegistryValue written = RegistryValue::fromString(QStringLiteral("fuzz"));
    if (!backend.write(RegistryRoot::CurrentUser, QStringLiteral("Software\\Fuzz"), QStringLiteral("v"), written))
        return 0;
    const std::optional<RegistryValue> back =
        backend.read(RegistryRoot::CurrentUser, QStringLiteral("Software\\Fuzz"), QStringLiteral("v"));
    if (!back || !(*back == written)) std::abort();
    // The value read first may be the one just written (the same key and
    // name in another spelling); otherwise the write must not touch it.
    const std::optional<RegistryValue> after = backend.read(RegistryRoot::CurrentUser, key, value);
    if (after != found && after != written) std::abort();
    if (backend.read(RegistryRoot::CurrentUser, fixedKey, fixedValue) != fixed) std::abort();
    return 0;
}
