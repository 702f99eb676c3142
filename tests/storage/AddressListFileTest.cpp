#include "storage/AddressListFile.h"
#include "common/NameFunctions.h"
#include "storage/XmlFunctions.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
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
