#include "common/Registry.h"
#include "common/AppInfo.h"
#include "common/RegFileBackend.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

constexpr auto CU = RegistryRoot::CurrentUser;
constexpr auto LM = RegistryRoot::LocalMachine;

class RegistryTest : public ::testing::Test {
protected:
    QByteArray fileBytes(RegistryRoot root) { return slurp(backend_.filePath(root)); }

    QTemporaryDir tmp_;
    RegFileBackend backend_{tmp_.path()};
    Registry registry_{backend_};
};

} // namespace

TEST_F(RegistryTest, SettingsAreTextUnderTheProgramKeyOfTheChosenRoot)
{
    registry_.SaveSetting("App", "Settings", "Flag", true, true);
    registry_.SaveSetting("App", "Settings", "Count", 12, false);
    registry_.SaveSetting("App", "Settings", "Empty", QVariant(), true);

    const QString key = ProgramKeyPath("App", "Settings");
    EXPECT_TRUE(backend_.read(CU, key, "Flag") == RegistryValue::fromString("True"));
    EXPECT_TRUE(backend_.read(LM, key, "Count") == RegistryValue::fromString("12"));
    EXPECT_TRUE(backend_.read(CU, key, "Empty") == RegistryValue::fromString(""));
    EXPECT_FALSE(backend_.read(CU, key, "Count"));

    EXPECT_EQ(registry_.GetSetting("app", "SETTINGS", "flag", "x", true), "True");
    EXPECT_EQ(registry_.GetSetting("App", "Settings", "Count", "x", true), "x");
    // A stored empty text is a value, not a missing one.
    EXPECT_EQ(registry_.GetSetting("App", "Settings", "Empty", "x", true), "");
}

TEST_F(RegistryTest, ReadingFallsBackForAnythingButText)
{
    const QString key = ProgramKeyPath("App", "S");
    backend_.write(CU, key, "Word", RegistryValue::fromDWord(5));
    backend_.write(CU, key, "Bin", RegistryValue::fromBinary("ab"));
    backend_.write(CU, key, "Nul", RegistryValue::fromString(QString("vis") + QChar(u'\0') + "hidden"));

    EXPECT_EQ(registry_.GetSetting("App", "S", "Word", "def", true), "def");
    EXPECT_EQ(registry_.GetSetting("App", "S", "Bin", false, true), "False");
    EXPECT_EQ(registry_.GetSetting("App", "S", "Missing", 3, true), "3");
    EXPECT_EQ(registry_.GetSetting("Other", "S", "Word", QVariant(), true), "");
    EXPECT_EQ(registry_.GetSetting("App", "S", "Nul", "def", true), "vis");
    EXPECT_EQ(registry_.GetValue(CU, key, "Word", "d"), "d");
    EXPECT_EQ(registry_.GetValue(CU, key, "Nul", "d"), "vis");
}

// Each kind as its registry type; other kinds, or no key, write nothing.
TEST_F(RegistryTest, SetValueStoresEachKindAsItsRegistryTypeAndNothingElse)
{
    registry_.SetValue(CU, "K", "S", QString("text"));
    registry_.SetValue(CU, "K", "Short", QVariant::fromValue<short>(-1));
    registry_.SetValue(CU, "K", "UShort", QVariant::fromValue<ushort>(65535));
    registry_.SetValue(CU, "K", "Int", -2);
    registry_.SetValue(CU, "K", "UInt", 4000000000u);
    registry_.SetValue(CU, "K", "Bytes", QByteArray("\x00\x01", 2));

    EXPECT_TRUE(backend_.read(CU, "K", "S") == RegistryValue::fromString("text"));
    EXPECT_TRUE(backend_.read(CU, "K", "Short") == RegistryValue::fromDWord(0xffffffffu));
    EXPECT_TRUE(backend_.read(CU, "K", "UShort") == RegistryValue::fromDWord(0x0000ffffu));
    EXPECT_TRUE(backend_.read(CU, "K", "Int") == RegistryValue::fromDWord(0xfffffffeu));
    EXPECT_TRUE(backend_.read(CU, "K", "UInt") == RegistryValue::fromDWord(4000000000u));
    EXPECT_TRUE(backend_.read(CU, "K", "Bytes") == RegistryValue::fromBinary(QByteArray("\x00\x01", 2)));
    EXPECT_EQ(registry_.GetValue(CU, "K", "S", "def"), "text");
    EXPECT_EQ(registry_.GetValue(CU, "K", "Int", "def"), "def");

    const QByteArray before = fileBytes(CU);

    for (const QVariant& v : {QVariant(true), QVariant(1.5), QVariant(QDateTime::currentDateTime()), QVariant(),
                              QVariant::fromValue<qlonglong>(1), QVariant(QChar(u'x'))})
        registry_.SetValue(CU, "K", "Other", v);
    registry_.SetValue(CU, "", "Text", QString("x"));
    registry_.SetValue(LM, "", "Text", QString("x"));

    EXPECT_EQ(fileBytes(CU), before);
    EXPECT_FALSE(QFile::exists(backend_.filePath(LM)));
}

TEST(RegistryFailures, AreSilent)
{
    QTemporaryDir tmp;
    // The store's directory cannot be created: a file has its name.
    const QString blocked = tmp.filePath("file");
    QFile(blocked).open(QIODevice::WriteOnly);
    RegFileBackend backend(blocked + "/sub");
    Registry registry(backend);
    registry.SaveSetting("App", "S", "N", "v", true);
    registry.SetValue(CU, "K", "N", 1);
    EXPECT_EQ(registry.GetSetting("App", "S", "N", "def", true), "def");
    EXPECT_EQ(registry.GetValue(CU, "K", "N", 4), "4");
}
