#include "model/Servers.h"
#include "storage/ServerConfigFile.h"
#include "storage/ServerConfigStore.h"
#include "support/TestFiles.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

class ServerConfig : public ::testing::Test {
protected:
    QString path() const { return dir.filePath("quarlo.cfg"); }
    void write(const QByteArray& bytes) const { spit(path(), bytes); }
    QByteArray read() const { return slurp(path()); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(ServerConfig, WritesTheExactFormatAndReadsItBack)
{
    ServerConfigStore serversFile(path());
    Servers servers(&serversFile);
    servers.Add(makeServer("zen.example", true, {{"127.0.0.2", "SBL: spam <&> \"source\""}, {"127.0.0.4", "XBL"}},
                           false, "Example ZEN"));
    auto mask = makeServer("multi.example", false, {{"127.0.0.8", "PH"}}, true);
    mask->setURL("");
    servers.Add(mask);
    ASSERT_TRUE(servers.Sync()) << servers.LastError().toStdString();

    EXPECT_EQ(read(),
              "<Quarlo><BlackListServers>"
              "<Server Server=\"zen.example\" Enabled=\"TRUE\" URL=\"https://zen.example/\" Name=\"Example ZEN\">"
              "<ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"SBL: spam &lt;&amp;> &quot;source&quot;\"/>"
              "<ResultCode Address=\"127.0.0.4\" Reason=\"XBL\"/></ResultCodes></Server>"
              "<Server Server=\"multi.example\" Enabled=\"FALSE\" URL=\"\" Name=\"\">"
              "<ResultCodes BitMaskCoded=\"True\"><ResultCode Address=\"127.0.0.8\" Reason=\"PH\"/></ResultCodes>"
              "</Server></BlackListServers></Quarlo>");

    ServerConfigStore loadedFile(path());
    Servers loaded(&loadedFile);
    loaded.Refresh();
    EXPECT_EQ(loaded.LastError(), "");
    ASSERT_EQ(loaded.Count(), 2);
    const auto zen = loaded.Item(1);
    EXPECT_EQ(zen->Zone(), "zen.example");
    EXPECT_EQ(zen->Name(), "Example ZEN");
    EXPECT_TRUE(zen->Enabled());
    EXPECT_FALSE(zen->BitMapCodedResults());
    EXPECT_EQ(zen->ResultCodes().Item("127.0.0.2")->Reason(), "SBL: spam <&> \"source\"");
    const auto multi = loaded.Item("MULTI.example");
    EXPECT_EQ(multi->Name(), "multi.example"); // empty stored name shows the zone
    EXPECT_EQ(multi->StoredName(), "");
    EXPECT_TRUE(multi->BitMapCodedResults());
    EXPECT_FALSE(multi->Enabled());
}

TEST_F(ServerConfig, ListKindAndIPv6AreWrittenOnlyWhenSetAndReadInAnySpelling)
{
    ServerConfigStore serversFile(path());
    Servers servers(&serversFile);
    auto domains = makeServer("dbl.example", true, {{"127.0.1.2", "Spam domain"}});
    domains->setKind(Server::ListKind::DomainList);
    servers.Add(domains);
    auto both = makeServer("zen.example", true, {{"127.0.0.2", "SBL"}});
    both->setAnswersIPv6(true);
    servers.Add(both);
    servers.Add(makeServer("plain.example", true, {{"127.0.0.2", "Listed"}}));
    ASSERT_TRUE(servers.Sync()) << servers.LastError().toStdString();
    const QByteArray bytes = read();
    EXPECT_TRUE(bytes.contains("<Server Server=\"dbl.example\" Enabled=\"TRUE\" URL=\"https://dbl.example/\" Name=\"\" "
                               "ListKind=\"Domain\"><ResultCodes>"));
    EXPECT_TRUE(bytes.contains("Name=\"\" IPv6=\"True\"><ResultCodes>"));
    EXPECT_TRUE(bytes.contains("<Server Server=\"plain.example\" Enabled=\"TRUE\" URL=\"https://plain.example/\" "
                               "Name=\"\"><ResultCodes>"));
    EXPECT_EQ(bytes.count("ListKind="), 1);
    EXPECT_EQ(bytes.count("IPv6="), 1);

    ServerConfigStore loadedFile(path());
    Servers loaded(&loadedFile);
    loaded.Refresh();
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_TRUE(loaded.Item("dbl.example")->IsDomainList());
    EXPECT_FALSE(loaded.Item("dbl.example")->AnswersIPv6());
    EXPECT_TRUE(loaded.Item("zen.example")->AnswersIPv6());
    EXPECT_FALSE(loaded.Item("zen.example")->IsDomainList());
    EXPECT_FALSE(loaded.Item("plain.example")->IsDomainList());

    // Other spellings; an unknown kind keeps the zone an IP list.
    struct Case {
        const char* attributes;
        bool domain;
        bool ipv6;
    };
    const Case cases[] = {
        {"listkind=\"DOMAIN\" ipv6=\"yes\"", true, true},
        {"ListKind=\" domain \" IPv6=\"False\"", true, false},
        {"ListKind=\"IP\" IPv6=\"1\"", false, true},
        {"ListKind=\"Url\"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        write(QByteArray("<Quarlo><BlackListServers><Server Server=\"x.example\" ") + c.attributes
              + "><ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"r\"/></ResultCodes></Server>"
                "</BlackListServers></Quarlo>");
        ServerConfigStore againFile(path());
        Servers again(&againFile);
        again.Refresh();
        ASSERT_EQ(again.Count(), 1);
        EXPECT_EQ(again.Item(1)->IsDomainList(), c.domain);
        EXPECT_EQ(again.Item(1)->AnswersIPv6(), c.ipv6);
    }
}

TEST_F(ServerConfig, ReaderCaseRules)
{
    write("<?xml version=\"1.0\"?>\n<Quarlo>\n <BlackListServers>\n"
          "  <Server SERVER=\"upper.example\" NAME=\"Upper\" url=\"u\" enabled=\"y\">\n"
          "   <ResultCodes BitMaskCoded=\"yes\"><ResultCode ADDRESS=\"127.0.0.2\" REASON=\"r\"/></ResultCodes>\n"
          "  </Server>\n"
          "  <Server Server=\"lowermask.example\" Enabled=\"1\">\n"
          "   <ResultCodes bitmaskcoded=\"True\"><ResultCode Address=\"127.0.0.2\" Reason=\"r\"/></ResultCodes>\n"
          "  </Server>\n"
          "  <server Server=\"lowerelement.example\"><ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"r\"/></ResultCodes></server>\n"
          "  <Server Server=\"resultcodes.case\"><resultcodes><ResultCode Address=\"127.0.0.2\" Reason=\"r\"/></resultcodes></Server>\n"
          "  <Server Server=\"no.valid.codes\" Enabled=\"TRUE\"><ResultCodes><ResultCode Address=\"127.0.0.256\" Reason=\"r\"/>"
          "<ResultCode Address=\"127.0.0.3\" Reason=\"\"/></ResultCodes></Server>\n"
          "  <Server Enabled=\"TRUE\"><ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"no zone\"/></ResultCodes></Server>\n"
          "  <Server Server=\"UPPER.example\" Name=\"Duplicate\"><ResultCodes><ResultCode Address=\"127.0.0.9\" Reason=\"d\"/></ResultCodes></Server>\n"
          "  <Server Server=\"enabled.words\" Enabled=\"No\"><ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"x\"/>"
          "<ResultCode Address=\"127.0.0.2\" Reason=\"second\"/><ResultCode Address=\"127.0.0.3\" Reason=\"\"/></ResultCodes></Server>\n"
          " </BlackListServers>\n"
          " <Server Server=\"outside.path\"><ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"r\"/></ResultCodes></Server>\n"
          "</Quarlo>\n");
    ServerConfigStore serversFile(path());
    Servers servers(&serversFile);
    servers.Refresh();
    QStringList zones;
    for (const auto& s : servers) zones << s->Zone();
    EXPECT_EQ(zones, QStringList({"upper.example", "lowermask.example", "enabled.words"}));
    const auto upper = servers.Item("upper.example");
    EXPECT_EQ(upper->Name(), "Upper");
    EXPECT_EQ(upper->URL(), "u");
    EXPECT_TRUE(upper->Enabled());
    EXPECT_TRUE(upper->BitMapCodedResults());
    EXPECT_FALSE(servers.Item("lowermask.example")->BitMapCodedResults()); // attribute case matters here
    EXPECT_FALSE(servers.Item("enabled.words")->Enabled());
    EXPECT_EQ(servers.Item("enabled.words")->ResultCodes().Count(), 1);
    EXPECT_EQ(servers.Item("enabled.words")->ResultCodes().Item(1)->Reason(), "x");

    // A second Refresh adds nothing new and keeps held definitions.
    upper->setName("Edited");
    servers.Refresh();
    EXPECT_EQ(servers.Count(), 3);
    EXPECT_EQ(servers.Item("upper.example")->Name(), "Edited");

    // After saving, only what loaded is left, with canonical Boolean texts.
    ASSERT_TRUE(servers.Sync());
    const QByteArray saved = read();
    EXPECT_TRUE(saved.contains("Enabled=\"TRUE\""));
    EXPECT_TRUE(saved.contains("Enabled=\"FALSE\""));
    EXPECT_FALSE(saved.contains("127.0.0.3"));
}

TEST_F(ServerConfig, MissingWrongRootAndMalformedFilesGiveNoServersAndNoError)
{
    ServerConfigStore missingFile(path());
    Servers missing(&missingFile);
    missing.Refresh();
    EXPECT_EQ(missing.Count(), 0);
    EXPECT_EQ(missing.LastError(), "");

    write("<quarlo><BlackListServers><Server Server=\"a.example\"><ResultCodes>"
          "<ResultCode Address=\"127.0.0.2\" Reason=\"r\"/></ResultCodes></Server></BlackListServers></quarlo>");
    ServerConfigStore wrongRootFile(path());
    Servers wrongRoot(&wrongRootFile);
    wrongRoot.Refresh();
    EXPECT_EQ(wrongRoot.Count(), 0);

    for (const QByteArray& bad : {QByteArray("<Quarlo><BlackListServers><Server Server=\"a"),
                                  QByteArray("\xff\xfe\x00<\x00Q"), QByteArray(""), QByteArray(100000, '<')}) {
        write(bad);
        ServerConfigStore serversFile(path());
        Servers servers(&serversFile);
        servers.Refresh();
        EXPECT_EQ(servers.Count(), 0);
        EXPECT_EQ(servers.LastError(), "");
    }
}

TEST_F(ServerConfig, HostileDocumentsNeitherCrashNorHang)
{
    // Deep nesting.
    QByteArray deep = "<Quarlo><BlackListServers>";
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    for (int i = 0; i < 100000; ++i) deep += "</a>";
    deep += "</BlackListServers></Quarlo>";
    write(deep);
    ServerConfigStore nestedFile(path());
    Servers nested(&nestedFile);
    nested.Refresh();
    EXPECT_EQ(nested.Count(), 0);

    // Thousands of attributes, entities from an internal DTD, invalid UTF-8.
    QByteArray many = "<!DOCTYPE Quarlo [<!ENTITY z \"evil.example\"><!ENTITY a \"&z;&z;&z;&z;\">]>"
                      "<Quarlo><BlackListServers><Server Server=\"&a;\" ";
    for (int i = 0; i < 5000; ++i) many += "x" + QByteArray::number(i) + "=\"v\" ";
    many += "><ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"bad \xc3\x28 utf8\"/></ResultCodes></Server>"
            "<Server Server=\"ok.example\" Name=\"caf\xc3\xa9 \xff\"><ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"r\"/>"
            "</ResultCodes></Server></BlackListServers></Quarlo>";
    write(many);
    ServerConfigStore hostileFile(path());
    Servers hostile(&hostileFile);
    hostile.Refresh();
    EXPECT_EQ(hostile.LastError(), "");
    ASSERT_NE(hostile.Item("ok.example"), nullptr);
    EXPECT_TRUE(hostile.Item("ok.example")->Name().startsWith(QString::fromUtf8("caf\xc3\xa9")));
    for (const auto& s : hostile) EXPECT_FALSE(s->Zone().contains("evil.example")); // entities are not expanded
}

TEST_F(ServerConfig, SyncKeepsAnUnreadableFileAsideAndReportsWriteFailures)
{
    write("<Quarlo><BlackListServers><Server Server=\"hand.edited\" oops");
    ServerConfigStore serversFile(path());
    Servers servers(&serversFile);
    servers.Refresh();
    servers.Add(makeServer("new.example", true, {{"127.0.0.2", "r"}}));
    ASSERT_TRUE(servers.Sync());
    QFile backup(path() + ".bak");
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll(), "<Quarlo><BlackListServers><Server Server=\"hand.edited\" oops");

    ServerConfigStore unwritableFile(dir.filePath("no/such/dir/quarlo.cfg"));
    Servers unwritable(&unwritableFile);
    EXPECT_FALSE(unwritable.Sync());
    EXPECT_TRUE(unwritable.LastError().startsWith("Cannot save " + dir.filePath("no/such/dir/quarlo.cfg") + "\r\n\r\n"));
    EXPECT_GT(unwritable.LastError().size(), QString("Cannot save \r\n\r\n").size() + dir.filePath("no/such/dir/quarlo.cfg").size());

    // Refresh clears the last error; Sync does not.
    unwritable.Refresh();
    EXPECT_EQ(unwritable.LastError(), "");
}

TEST_F(ServerConfig, ListingAttributeReadsAnySpellingAndFirstOfARepeatedAddressWins)
{
    struct Case {
        const char* attribute; // the whole attribute text, empty for none
        bool listing;
    };
    const Case cases[] = {
        {"", true},
        {"Listing=\"False\"", false},
        {"LISTING=\"no\"", false},
        {"listing=\"0\"", false},
        {"Listing=\"\"", false},
        {"Listing=\"TRUE\"", true},
        {"lIsTiNg=\"y\"", true},
    };
    QByteArray codes;
    int last = 1;
    for (const Case& c : cases)
        codes += "<ResultCode Address=\"127.0.0." + QByteArray::number(++last) + "\" Reason=\"r\" " + c.attribute + "/>";
    // Repeated addresses: neither a later refusal nor a later listing
    // changes the first definition.
    codes += "<ResultCode Address=\"127.0.0.2\" Reason=\"again\" Listing=\"False\"/>"
             "<ResultCode Address=\"127.0.0.3\" Reason=\"again\"/>";
    write("<Quarlo><BlackListServers><Server Server=\"a.example\"><ResultCodes>" + codes
          + "</ResultCodes></Server></BlackListServers></Quarlo>");

    ServerConfigStore serversFile(path());
    Servers servers(&serversFile);
    servers.Refresh();
    ASSERT_EQ(servers.Count(), 1);
    const ResultCodes& loaded = servers.Item(1)->ResultCodes();
    ASSERT_EQ(loaded.Count(), int(std::size(cases)));
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const ResultCodePtr code = loaded.Item(i + 1);
        EXPECT_EQ(code->Address(), "127.0.0." + QString::number(i + 2));
        EXPECT_EQ(code->Reason(), "r");
        EXPECT_EQ(code->Listing(), cases[i].listing) << cases[i].attribute;
    }

    // Written only for refusals, spelled one way, after Address and Reason.
    ASSERT_TRUE(servers.Sync());
    const QByteArray saved = read();
    EXPECT_EQ(saved.count("Listing"), 4);
    EXPECT_TRUE(saved.contains("<ResultCode Address=\"127.0.0.3\" Reason=\"r\" Listing=\"False\"/>"));
    EXPECT_TRUE(saved.contains("<ResultCode Address=\"127.0.0.2\" Reason=\"r\"/>"));
    EXPECT_TRUE(saved.contains("<ResultCode Address=\"127.0.0.7\" Reason=\"r\"/>"));
}

namespace {

// The configuration the programs ship with, in the source tree.
QString shippedConfig()
{
    return QDir::cleanPath(QFileInfo(QString::fromUtf8(__FILE__)).absolutePath()
                           + QStringLiteral("/../../data/quarlo.cfg"));
}

} // namespace

// A refusal counted as a listing would show every address as listed.
TEST(ShippedServerConfig, MarksOnlyRefusalsAsNotListingsAndSaysSo)
{
    ServerConfigStore serversFile(shippedConfig());
    Servers servers(&serversFile);
    servers.Refresh();
    ASSERT_EQ(servers.LastError(), "");
    ASSERT_GE(servers.Count(), 10);
    const QSet<QString> refusals = {"zen.spamhaus.org 127.255.255.252", "zen.spamhaus.org 127.255.255.254",
                                    "zen.spamhaus.org 127.255.255.255", "multi.surbl.org 127.0.0.1",
                                    "multi.uribl.com 127.0.0.1",        "dbl.spamhaus.org 127.255.255.252",
                                    "dbl.spamhaus.org 127.255.255.254", "dbl.spamhaus.org 127.255.255.255"};
    int found = 0;
    for (const ServerPtr& server : servers) {
        SCOPED_TRACE(server->Zone().toStdString());
        EXPECT_FALSE(server->ResultCodes().Count() == 0);
        // The rows the defaults mark as domain lists, and only those.
        EXPECT_EQ(server->IsDomainList(), server->StoredName().contains("(domain list)"));
        for (const ResultCodePtr& code : server->ResultCodes()) {
            const bool refusal = refusals.contains(server->Zone() + " " + code->Address());
            found += refusal;
            EXPECT_EQ(code->Listing(), !refusal) << code->Address().toStdString();
            // A user who meets a refusal must learn that it is not a listing.
            if (refusal) {
                EXPECT_TRUE(code->Reason().contains("not a listing")) << code->Reason().toStdString();
            }
        }
    }
    EXPECT_EQ(found, refusals.size());
}

TEST(ShippedServerConfig, IsInTheWritersOwnFormat)
{
    // Saving the shipped servers unchanged (refusal codes among them) rewrites
    // the file byte for byte, so an OK in the settings dialog makes no
    // spurious difference.
    QTemporaryDir dir;
    const QString copy = dir.filePath("quarlo.cfg");
    ASSERT_TRUE(QFile::copy(shippedConfig(), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray bytes = slurp(shippedConfig());
    EXPECT_FALSE(bytes.contains('\n'));
    EXPECT_FALSE(bytes.startsWith("<?xml"));

    ServerConfigStore serversFile(copy);
    Servers servers(&serversFile);
    servers.Refresh();
    ASSERT_GT(servers.Count(), 0);
    ASSERT_TRUE(servers.Sync()) << servers.LastError().toStdString();
    EXPECT_EQ(slurp(copy), bytes);
}

TEST(ServerConfigPath, BesideTheExecutable)
{
    EXPECT_EQ(ServerConfigFile::PathForExecutable("/opt/quarlo/bin/quarlo"), "/opt/quarlo/bin/quarlo.cfg");
    EXPECT_EQ(ServerConfigFile::PathForExecutable("/opt/q/Quarlo.exe"), "/opt/q/Quarlo.cfg");
}
