// The address list reader: any file gives targets or a failure, and the
// targets it gives come back unchanged from a save and a second read.
#include "ScratchFile.h"

#include "storage/AddressListFile.h"

#include <cstdlib>

using namespace quarlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ScratchFile scratch;
    const QString path = scratch.write(QStringLiteral("fuzz.BlackList"), data, size);

    QStringList targets;
    QString description;
    if (!AddressListFile::Read(path, targets, description)) return 0;
    // An empty target is saved without its attribute, so it is not read back.
    targets.removeAll(QString());

    const QString copy = scratch.path(QStringLiteral("copy.BlackList"));
    if (!AddressListFile::Write(targets, copy, description)) std::abort();
    QStringList again;
    if (!AddressListFile::Read(copy, again, description)) std::abort();
    if (again != targets) std::abort();
    return 0;
}
