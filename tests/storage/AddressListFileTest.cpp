#include "storage/AddressListFile.h"
#include "common/NameFunctions.h"
#include "scan/Addresslist.h"
#include "storage/XmlFunctions.h"
#include "support/FakeScanWorld.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace quarlo;

TEST(AddressListFile, RoundTripKeepsOrderAndExactText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("list.BlackList");
    const QStringList targets{" spaced.example ",
                              "192.0.2.1",
                              "",
                              "a&b<c>\"d'",
                              QString::fromUtf8("m\xc3\xbcller.example"),
                              "tab\there",
                              "line\nbreak",
                              "cr\rhere",
                              QString("ctl") + QChar(1) + "x",
                              "colon:in:target",
                              QString(3000, QChar('w'))};
    QString description;
    ASSERT_TRUE(AddressListFile::Write(targets, path, description)) << description.toStdString();
    EXPECT_TRUE(slurp(path).startsWith(
        "<AddressList><Address Target=\" spaced.example \"/><Address Target=\"192.0.2.1\"/><Address/>"));

    QStringList loaded;
    ASSERT_TRUE(AddressListFile::Read(path, loaded, description));
    QStringList expected = targets;
    expected.removeAll(QString()); // an element without Target adds nothing
    EXPECT_EQ(loaded, expected);
}

TEST(AddressListFile, ReaderRules)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("x.BlackList");
    const std::pair<QByteArray, QStringList> readable[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<AddressList>\r\n"
         "  <Address TARGET=\"one\"/>\n  <address Target=\"wrong-element-case\"/>\n"
         "  <Address target=\"two\" Other=\"x\" Target=\"three\"/>\n  <Address/>\n"
         "  <Group><Address Target=\"nested\"/></Group>text\n</AddressList>",
         {"one", "two", "three"}},
        {"<AddressList/>", {}},
        {"<NotAList><Address Target=\"x\"/></NotAList>", {}},
    };
    QStringList loaded;
    QString description;
    for (const auto& [bytes, expected] : readable) {
        spit(path, bytes);
        loaded.clear();
        ASSERT_TRUE(AddressListFile::Read(path, loaded, description)) << bytes.toStdString();
        EXPECT_EQ(loaded, expected);
    }
    // (Malformed files and directories: ReadLimits.)
    EXPECT_FALSE(AddressListFile::Read(dir.filePath("missing.BlackList"), loaded, description));
}

// How configuration flags and report titles are read from what users wrote.
TEST(XmlFunctions, FlagsAndFileNames)
{
    for (const char* yes : {"yes", "Y", "true", "1", "TrUe"}) EXPECT_TRUE(TextToBool(yes)) << yes;
    for (const char* no : {"no", "0", "-1", " TRUE", "", "FALSE", "yes "}) EXPECT_FALSE(TextToBool(no)) << no;
    EXPECT_EQ(FileName("C:/Lists/scan.old.BlackList", true), "scan.old");
    EXPECT_EQ(FileName("C:/Lists/scan.old.BlackList", false), "scan.old.BlackList");
    EXPECT_EQ(FileName("D:file.txt", false), "file.txt");
    EXPECT_EQ(FileName("plain", true), "plain");
    EXPECT_EQ(FileName("/home/u/list.BlackList", true), "list");
}

// Network ranges in ".BlackList" files: one element while the range is whole,
// its addresses one by one once the user removed some, old files unchanged.

namespace {

// The Target attributes of a saved file, in order.
QStringList savedTargets(const QString& path)
{
    QStringList out;
    static const QRegularExpression target(QStringLiteral("<Address Target=\"([^\"]*)\"/>"));
    for (const auto& match : target.globalMatch(QString::fromUtf8(slurp(path)))) out << match.captured(1);
    return out;
}

QStringList keysOf(const Addresslist& list)
{
    QStringList out;
    for (const AddressPtr& address : list) out << address->Key();
    return out;
}

QStringList addresses(const QString& prefix, int first, int last)
{
    QStringList out;
    for (int i = first; i <= last; ++i) out << prefix + QString::number(i);
    return out;
}

class RangeListFile : public ::testing::Test, protected FakeScanWorld {
protected:
    QString path = dir.filePath("ranges.BlackList");
};

} // namespace

TEST_F(RangeListFile, WholeRangeIsOneElementAndComesBackAsItsAddresses)
{
    list.AddTarget("198.51.100.1");
    // Typed with a host part: kept as the network it names.
    ASSERT_TRUE(list.AddEntry("203.0.113.77/24"));
    list.AddTarget("mail.example");
    ASSERT_TRUE(list.AddEntry("192.0.2.10-192.0.2.12"));
    ASSERT_TRUE(list.Save(path));
    const QStringList file{"198.51.100.1", "203.0.113.0/24", "mail.example", "192.0.2.10-192.0.2.12"};
    EXPECT_EQ(savedTargets(path), file);

    FakeScanWorld other;
    ASSERT_TRUE(other.list.Load(path));
    EXPECT_TRUE(other.list.LoadWarnings().isEmpty());
    EXPECT_EQ(keysOf(other.list),
              QStringList{"198.51.100.1"} + addresses("203.0.113.", 0, 255) + QStringList{"mail.example"}
                  + addresses("192.0.2.", 10, 12));
    EXPECT_FALSE(other.list.Changed());
    // Saved again as loaded: the loaded addresses still know their range.
    ASSERT_TRUE(other.list.Save(path));
    EXPECT_EQ(savedTargets(path), file);
}

TEST_F(RangeListFile, WhatTheUserChangedIsSavedAddressByAddress)
{
    struct Case {
        const char* label;
        std::function<void(Addresslist&)> change;
        QStringList saved;
    };
    const Case cases[] = {
        {"one address removed",
         [](Addresslist& l) { l.Remove("10.0.0.2"); },
         {"10.0.0.0", "10.0.0.1", "10.0.0.3", "other.example"}},
        {"one address renamed",
         [](Addresslist& l) { l.Item("10.0.0.1")->setTarget("renamed.example"); },
         {"10.0.0.0", "renamed.example", "10.0.0.2", "10.0.0.3", "other.example"}},
        {"a removed address added back on its own: it is the range's no more",
         [](Addresslist& l) {
             l.Remove("10.0.0.0");
             l.AddTarget("10.0.0.0");
         },
         {"10.0.0.1", "10.0.0.2", "10.0.0.3", "other.example", "10.0.0.0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakeScanWorld world;
        ASSERT_TRUE(world.list.AddEntry("10.0.0.0/30"));
        world.list.AddTarget("other.example");
        c.change(world.list);
        ASSERT_TRUE(world.list.Save(path));
        EXPECT_EQ(savedTargets(path), c.saved);
        FakeScanWorld reloaded;
        ASSERT_TRUE(reloaded.list.Load(path));
        EXPECT_EQ(keysOf(reloaded.list).size(), world.list.Count());
    }
}

TEST_F(RangeListFile, OldFilesLoadUnchangedAndRefusedRangesAreSkippedWithAWarning)
{
    spit(path,
         "<AddressList><Address Target=\"10.0.0.1\"/><Address Target=\"10.0.0.2\"/>"
         "<Address Target=\"10.0.0.0/8\"/><Address Target=\"2001:db8::/32\"/>"
         "<Address Target=\"a-b.example\"/></AddressList>");
    ASSERT_TRUE(list.Load(path));
    EXPECT_EQ(keysOf(list), QStringList({"10.0.0.1", "10.0.0.2", "a-b.example"}));
    ASSERT_EQ(list.LoadWarnings().size(), 2);
    EXPECT_TRUE(list.LoadWarnings()[0].contains("larger than a /16"));
    EXPECT_TRUE(list.LoadWarnings()[1].contains("IPv6 ranges are too large to scan"));
    ASSERT_TRUE(list.Save(path));
    EXPECT_EQ(savedTargets(path), QStringList({"10.0.0.1", "10.0.0.2", "a-b.example"}));

    // A later load starts without the earlier warnings.
    spit(path, "<AddressList><Address Target=\"10.0.0.1\"/></AddressList>");
    ASSERT_TRUE(list.Load(path));
    EXPECT_TRUE(list.LoadWarnings().isEmpty());
}
