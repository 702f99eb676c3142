#include "common/FileTypeRegistration.h"
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
#include "support/MemoryRegistryBackend.h"
#include "support/QtPrinters.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

constexpr auto HKCR = RegistryRoot::ClassesRoot;
const QString kDescription = "Automated SPAM Whitelist / Blacklist verification";

QString DefaultValue(RegistryBackend& backend, const QString& keyPath)
{
    const auto value = backend.read(HKCR, keyPath, QString());
    if (!value) return QStringLiteral("<none>");
    return value->type == RegistryValue::Type::String ? value->text : QStringLiteral("<not text>");
}

} // namespace

// The file type is the executable's file name as it is; commands name the
// executable by its full clean path.
TEST(RegisterFileType, TypeCommandAndIconNameTheExecutable)
{
    const QString cleaned = QDir::cleanPath(QDir::current().absoluteFilePath("tools/quarlo"));
    const struct {
        QString executable, extension, type, path;
    } cases[] = {
        {"/opt/quarlo/bin/quarlo", ".BlackList", "quarlo", "/opt/quarlo/bin/quarlo"},
        {"/srv/apps/Quarlo.exe", ".BlackList", "Quarlo.exe", "/srv/apps/Quarlo.exe"},
        {"/srv/apps/quarlo-1.2", ".Other", "quarlo-1.2", "/srv/apps/quarlo-1.2"},
        {"bin/../tools/quarlo", ".BlackList", "quarlo", cleaned},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.executable.toStdString());
        VolatileRegistryBackend backend;
        Registry registry(backend);
        RegisterFileType(registry, c.executable, c.extension, kDescription);
        EXPECT_EQ(DefaultValue(backend, c.extension), c.type);
        EXPECT_EQ(DefaultValue(backend, c.type), kDescription);
        EXPECT_EQ(DefaultValue(backend, c.type + "\\shell\\open\\command"), c.path + " %1");
        EXPECT_EQ(DefaultValue(backend, c.type + "\\DefaultIcon"), c.path + ",0");
    }
}

TEST(RegisterFileType, RefusedWritesDoNotStopTheOthers)
{
    MemoryRegistryBackend backend;
    backend.failWrites = true;
    Registry registry(backend);
    RegisterFileType(registry, "/opt/quarlo/bin/quarlo", ".BlackList", kDescription);
    EXPECT_EQ(backend.writes, 4);
    EXPECT_EQ(DefaultValue(backend, ".BlackList"), "<none>");
}
