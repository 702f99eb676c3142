#include "model/Settings.h"
#include "common/AppInfo.h"
#include "common/Registry.h"
#include "support/MemoryRegistryBackend.h"
#include "support/QtPrinters.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

const QString kKey = QStringLiteral("Software\\Vantorel\\Vantorel Quarlo\\Settings");

class SettingsTest : public ::testing::Test {
protected:
    QString stored(const QString& name)
    {
        const auto value = backend.read(RegistryRoot::LocalMachine, kKey, name);
        return value && value->type == RegistryValue::Type::String ? value->text : QStringLiteral("<none>");
    }
    void store(const QString& name, const RegistryValue& value)
    {
        backend.write(RegistryRoot::LocalMachine, kKey, name, value);
    }

    MemoryRegistryBackend backend;
    Registry registry{backend};
    Settings settings{registry, nullptr};
};

} // namespace

TEST_F(SettingsTest, DefaultsWriteNothingAndSettersClampAndWriteThroughOnlyOnChange)
{
    EXPECT_EQ(settings.MaxQueries(), 250);
    EXPECT_EQ(settings.ExpansionLevel(), 1);
    EXPECT_TRUE(settings.AutoStartScan());
    EXPECT_TRUE(settings.CheckListsBeforeScanning());
    EXPECT_EQ(settings.BlacklistServers().Count(), 0);
    QSignalSpy changed(&settings, &Settings::Changed);

    settings.setMaxQueries(250);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(backend.writes, 0);

    settings.setMaxQueries(5);
    EXPECT_EQ(settings.MaxQueries(), 10);
    EXPECT_EQ(stored("Max Queries"), "10");
    settings.setMaxQueries(1000);
    EXPECT_EQ(stored("max queries"), "800");
    settings.setExpansionLevel(-1);
    EXPECT_EQ(settings.ExpansionLevel(), 0);
    settings.setExpansionLevel(7);
    EXPECT_EQ(stored("Expansion Level"), "3");
    settings.setAutoStartScan(false);
    EXPECT_EQ(stored("Auto Start Scan"), "False");
    settings.setCheckListsBeforeScanning(true); // the default: no write
    EXPECT_EQ(stored("Check Lists Before Scanning"), "<none>");
    settings.setCheckListsBeforeScanning(false);
    EXPECT_FALSE(settings.CheckListsBeforeScanning());
    EXPECT_EQ(stored("Check Lists Before Scanning"), "False");
    // Options without a setter of their own go the same way.
    EXPECT_EQ(settings.RetrieveOption("DNS Servers", "fallback"), "fallback");
    settings.SaveOption("DNS Servers", "127.0.0.1:5353");
    EXPECT_EQ(settings.RetrieveOption("dns servers", "fallback"), "127.0.0.1:5353");
    QStringList signalled;
    for (const QList<QVariant>& args : changed) signalled << args.at(0).toString() + "=" + args.at(1).toString();
    EXPECT_EQ(
        signalled,
        (QStringList{"Max Queries=10", "Max Queries=800", "Expansion Level=0", "Expansion Level=3",
                     "Auto Start Scan=false", "Check Lists Before Scanning=false", "DNS Servers=127.0.0.1:5353"}));

    // A failing registry keeps the new value in memory.
    backend.failWrites = true;
    settings.setMaxQueries(300);
    EXPECT_EQ(settings.MaxQueries(), 300);
}

TEST_F(SettingsTest, LoadsStoredTextsWithoutClampingAndFallsBackOnGarbage)
{
    store("Max Queries", RegistryValue::fromString("5000"));
    store("Expansion Level", RegistryValue::fromString("two"));
    store("Auto Start Scan", RegistryValue::fromDWord(0));
    store("Check Lists Before Scanning", RegistryValue::fromString("maybe"));
    settings.Refresh();
    EXPECT_EQ(settings.MaxQueries(), 5000);
    EXPECT_EQ(settings.ExpansionLevel(), 1);
    EXPECT_TRUE(settings.AutoStartScan()); // a DWORD is not read
    EXPECT_TRUE(settings.CheckListsBeforeScanning());
    settings.setMaxQueries(4999);
    EXPECT_EQ(settings.MaxQueries(), 800);

    // A scan keeps to a limit it can work with, whatever is stored.
    for (const auto& [text, limit] :
         {std::pair{"0", 1}, std::pair{"-5", 1}, std::pair{"5000", 800}, std::pair{"7", 7}}) {
        store("Max Queries", RegistryValue::fromString(text));
        settings.Refresh();
        EXPECT_EQ(settings.ScanQueryLimit(), limit) << text;
    }

    store("Auto Start Scan", RegistryValue::fromString("False"));
    store("Check Lists Before Scanning", RegistryValue::fromString("0"));
    settings.Refresh();
    EXPECT_FALSE(settings.AutoStartScan());
    EXPECT_FALSE(settings.CheckListsBeforeScanning());
}
