// The server configuration reader: whatever the file holds, it gives
// servers or none, and what it gives survives a save and a second read.
#include "ScratchFile.h"

#include "model/Servers.h"
#include "storage/ServerConfigFile.h"
#include "storage/ServerConfigStore.h"

#include <cstdlib>

using namespace quarlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ScratchFile scratch;
    const QString path = scratch.write(QStringLiteral("quarlo.cfg"), data, size);

    ServerConfigStore serversFile(path);
    Servers servers(&serversFile);
    ErrorText error;
    if (!ServerConfigFile::Read(servers, path, error)) return 0;
    if (servers.Count() == 0) return 0;

    const QString copy = scratch.path(QStringLiteral("copy.cfg"));
    if (!ServerConfigFile::Write(servers, copy, error)) std::abort();
    ServerConfigStore againFile(copy);
    Servers again(&againFile);
    if (!ServerConfigFile::Read(again, copy, error)) std::abort();
    if (again.Count() != servers.Count()) std::abort();
    return 0;
}
