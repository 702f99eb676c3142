#include "common/FileTypeRegistration.h"
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QStringList>

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

constexpr auto HKCR = RegistryRoot::ClassesRoot;
const QString kDescription = "Automated SPAM Whitelist / Blacklist verification";

// Keeps the values in a VolatileRegistryBackend and notes the order of the
// writes; can refuse every write.
class RecordingBackend : public RegistryBackend {
public:
    std::optional<RegistryValue> read(RegistryRoot root, const QString& keyPath, const QString& valueName) override
    {
        return store.read(root, keyPath, valueName);
    }
    bool write(RegistryRoot root, const QString& keyPath, const QString& valueName, const RegistryValue& value) override
    {
        writes.append(RegistryRootName(root) + '\\' + keyPath + '|' + valueName);
        return !refuse && store.write(root, keyPath, valueName, value);
    }

    VolatileRegistryBackend store;
    QStringList writes;
    bool refuse = false;
};

QString DefaultValue(RegistryBackend& backend, const QString& keyPath)
{
    const auto value = backend.read(HKCR, keyPath, QString());
    if (!value) return QStringLiteral("<none>");
    return value->type == RegistryValue::Type::String ? value->text : QStringLiteral("<not text>");
}

} // namespace

TEST(RegisterFileType, WritesTheFourDefaultValuesInOrder)
{
    RecordingBackend backend;
    Registry registry(backend);
    RegisterFileType(registry, "/opt/quarlo/bin/quarlo", ".BlackList", kDescription);

    EXPECT_EQ(backend.writes, (QStringList{
                                  "HKEY_CLASSES_ROOT\\quarlo|",
                                  "HKEY_CLASSES_ROOT\\quarlo\\shell\\open\\command|",
                                  "HKEY_CLASSES_ROOT\\quarlo\\DefaultIcon|",
                                  "HKEY_CLASSES_ROOT\\.BlackList|",
                              }));
    EXPECT_EQ(DefaultValue(backend, "quarlo"), kDescription);
    EXPECT_EQ(DefaultValue(backend, "quarlo\\shell\\open\\command"), "/opt/quarlo/bin/quarlo %1");
    EXPECT_EQ(DefaultValue(backend, "quarlo\\DefaultIcon"), "/opt/quarlo/bin/quarlo,0");
    EXPECT_EQ(DefaultValue(backend, ".BlackList"), "quarlo");
}

TEST(RegisterFileType, TheFileTypeIsTheExecutablesFileNameAsItIs)
{
    VolatileRegistryBackend backend;
    Registry registry(backend);
    RegisterFileType(registry, "/srv/apps/Quarlo.exe", ".BlackList", kDescription);
    RegisterFileType(registry, "/srv/apps/quarlo-1.2", ".Other", "Other");

    EXPECT_EQ(DefaultValue(backend, ".BlackList"), "Quarlo.exe");
    EXPECT_EQ(DefaultValue(backend, "Quarlo.exe\\shell\\open\\command"), "/srv/apps/Quarlo.exe %1");
    EXPECT_EQ(DefaultValue(backend, "Quarlo.exe\\DefaultIcon"), "/srv/apps/Quarlo.exe,0");
    EXPECT_EQ(DefaultValue(backend, "Quarlo.exe"), kDescription);

    EXPECT_EQ(DefaultValue(backend, ".Other"), "quarlo-1.2");
    EXPECT_EQ(DefaultValue(backend, "quarlo-1.2"), "Other");
    EXPECT_EQ(DefaultValue(backend, "quarlo-1.2\\shell\\open\\command"), "/srv/apps/quarlo-1.2 %1");
}

TEST(RegisterFileType, CommandsNameTheExecutableByItsFullCleanPath)
{
    VolatileRegistryBackend backend;
    Registry registry(backend);
    RegisterFileType(registry, "bin/../tools/quarlo", ".BlackList", kDescription);
    const QString expected = QDir::cleanPath(QDir::current().absoluteFilePath("tools/quarlo"));
    EXPECT_EQ(DefaultValue(backend, "quarlo\\shell\\open\\command"), expected + " %1");
    EXPECT_EQ(DefaultValue(backend, "quarlo\\DefaultIcon"), expected + ",0");
}

TEST(RegisterFileType, RefusedWritesDoNotStopTheOthers)
{
    RecordingBackend backend;
    backend.refuse = true;
    Registry registry(backend);
    RegisterFileType(registry, "/opt/quarlo/bin/quarlo", ".BlackList", kDescription);
    EXPECT_EQ(backend.writes.size(), 4);
    EXPECT_EQ(DefaultValue(backend, ".BlackList"), "<none>");
}
