#include "storage/ServerConfigFile.h"
#include "model/Servers.h"
#include "storage/ServerConfigStore.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

using namespace quarlo;

namespace {

// What a round trip must keep of a server, in one line.
QString describe(const ServerPtr& s)
{
    QStringList codes;
    for (const ResultCodePtr& c : s->ResultCodes())
        codes << c->Address() + "=" + c->Reason() + (c->Listing() ? "" : " (refusal)");
    QString access; // only what differs from a plain list
    if (s->Public()) access += "|public";
    if (s->NeedsKey()) access += "|key=" + s->KeyName();
    if (!s->DnsServers().isEmpty()) access += "|dns=" + s->DnsServers();
    if (!s->SelfTest()) access += "|no self-test";
    return QStringList({s->Zone(), s->StoredName(), s->URL(), s->Enabled() ? "on" : "off",
                        s->BitMapCodedResults() ? "mask" : "exact", s->IsDomainList() ? "domains" : "addresses",
                        s->AnswersIPv6() ? "ipv6" : "ipv4", codes.join(',')})
               .join('|')
        + access;
}

// One <Server> element: attrs, and a code of 127.0.0.2 unless codes are given.
QByteArray serverXml(const QByteArray& attrs,
                     const QByteArray& codes = "<ResultCode Address=\"127.0.0.2\" Reason=\"r\"/>")
{
    return "<Server " + attrs + "><ResultCodes>" + codes + "</ResultCodes></Server>";
}

class ServerConfig : public ::testing::Test {
protected:
    QString path() const { return dir.filePath("quarlo.cfg"); }
    void write(const QByteArray& bytes) const { spit(path(), bytes); }
    QByteArray read() const { return slurp(path()); }
    // The servers a fresh store reads from the file, and the error it gives.
    QStringList load(QString* error = nullptr) const
    {
        ServerConfigStore file(path());
        Servers servers(&file);
        servers.Refresh();
        if (error) *error = servers.LastError();
        QStringList out;
        for (const ServerPtr& s : servers) out << describe(s);
        return out;
    }
    static QByteArray document(const QByteArray& servers)
    {
        return "<Quarlo><BlackListServers>" + servers + "</BlackListServers></Quarlo>";
    }
    QTemporaryDir dir;
};

} // namespace

// Attributes beyond the first version's are written only when set, after the
// older ones, so files of plain lists keep their bytes; the file holds a
// key's name, never a key. (Reading them in any spelling: the next test.)
TEST_F(ServerConfig, WritesTheExactFormatAndReadsItBack)
{
    ServerConfigStore serversFile(path());
    Servers servers(&serversFile);
    servers.Add(makeServer("zen.example", true, {{"127.0.0.2", "SBL: spam <&> \"source\""}, {"127.0.0.4", "XBL"}},
                           false, "Example ZEN"));
    auto mask = makeServer("multi.example", false, {{"127.0.0.8", "PH"}}, true);
    mask->setURL("");
    servers.Add(mask);
    auto domains = makeServer("dbl.example", true, {{"127.0.1.2", "Spam domain"}});
    domains->setKind(Server::ListKind::DomainList);
    servers.Add(domains);
    auto both = makeServer("v6.example", true, {{"127.0.0.2", "SBL"}});
    both->setAnswersIPv6(true);
    servers.Add(both);
    auto keyed = makeServer("{key}.zen.example", true, {{"127.0.0.2", "SBL"}});
    keyed->setPublic(true);
    keyed->setKeyName("EXAMPLE");
    keyed->setDnsServers("192.0.2.53,192.0.2.54:5353");
    servers.Add(keyed);
    auto untested = makeServer("notest.example", true, {{"127.0.0.2", "Listed"}});
    untested->setSelfTest(false);
    servers.Add(untested);
    ASSERT_TRUE(servers.Sync()) << servers.LastError().toStdString();

    EXPECT_EQ(read(),
              "<Quarlo><BlackListServers>"
              "<Server Server=\"zen.example\" Enabled=\"TRUE\" URL=\"https://zen.example/\" Name=\"Example ZEN\">"
              "<ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"SBL: spam &lt;&amp;> &quot;source&quot;\"/>"
              "<ResultCode Address=\"127.0.0.4\" Reason=\"XBL\"/></ResultCodes></Server>"
              "<Server Server=\"multi.example\" Enabled=\"FALSE\" URL=\"\" Name=\"\">"
              "<ResultCodes BitMaskCoded=\"True\"><ResultCode Address=\"127.0.0.8\" Reason=\"PH\"/></ResultCodes>"
              "</Server>"
              "<Server Server=\"dbl.example\" Enabled=\"TRUE\" URL=\"https://dbl.example/\" Name=\"\" "
              "ListKind=\"Domain\"><ResultCodes><ResultCode Address=\"127.0.1.2\" Reason=\"Spam domain\"/>"
              "</ResultCodes></Server>"
              "<Server Server=\"v6.example\" Enabled=\"TRUE\" URL=\"https://v6.example/\" Name=\"\" IPv6=\"True\">"
              "<ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"SBL\"/></ResultCodes></Server>"
              "<Server Server=\"{key}.zen.example\" Enabled=\"TRUE\" URL=\"https://{key}.zen.example/\" Name=\"\" "
              "Public=\"True\" Key=\"EXAMPLE\" DnsServers=\"192.0.2.53,192.0.2.54:5353\">"
              "<ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"SBL\"/></ResultCodes></Server>"
              "<Server Server=\"notest.example\" Enabled=\"TRUE\" URL=\"https://notest.example/\" Name=\"\" "
              "SelfTest=\"False\"><ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"Listed\"/></ResultCodes>"
              "</Server></BlackListServers></Quarlo>");
    // Read back and saved again, the file and one written before any of the
    // newer attributes existed keep every byte: the reader lost nothing the
    // writer above puts in.
    const QByteArray older = document(serverXml("Server=\"old.example\" Enabled=\"TRUE\" URL=\"\" Name=\"Old\""));
    for (const QByteArray& bytes : {read(), older}) {
        write(bytes);
        ServerConfigStore file(path());
        Servers loaded(&file);
        loaded.Refresh();
        EXPECT_EQ(loaded.LastError(), "");
        ASSERT_TRUE(loaded.Sync());
        EXPECT_EQ(read(), bytes);
    }
}

// Names and values in any spelling. An unknown kind keeps the zone an IP
// list; any spelling of "false" turns the self-test off, anything else
// leaves it on.
TEST_F(ServerConfig, NewerAttributesAreReadInAnySpelling)
{
    QByteArray servers = serverXml("Server=\"x.example\" listkind=\" DOMAIN \" ipv6=\"yes\"")
        + serverXml("Server=\"y.example\" ListKind=\"Url\" IPv6=\"False\" Public=\"False\"")
        + serverXml("Server=\"{KEY}.x.example\" public=\"yes\" key=\" Mine \" dnsservers=\" 192.0.2.9 \"");
    const QList<QByteArray> values{"false", " NO ", "0", "n", "True", "", "maybe", "Falsch"};
    for (int i = 0; i < values.size(); ++i)
        servers += serverXml("Server=\"s" + QByteArray::number(i) + ".example\" selftest=\"" + values[i] + "\"");
    write(document(servers));
    QStringList expected{"x.example|||off|exact|domains|ipv6|127.0.0.2=r",
                         "y.example|||off|exact|addresses|ipv4|127.0.0.2=r",
                         "{KEY}.x.example|||off|exact|addresses|ipv4|127.0.0.2=r|public|key=Mine|dns=192.0.2.9"};
    for (int i = 0; i < values.size(); ++i)
        expected << QStringLiteral("s%1.example|||off|exact|addresses|ipv4|127.0.0.2=r%2")
                        .arg(i)
                        .arg(i < 4 ? "|no self-test" : "");
    EXPECT_EQ(load(), expected);
    ServerConfigStore file(path());
    Servers loaded(&file);
    loaded.Refresh();
    EXPECT_EQ(loaded.Item("y.example")->KeyName(), "y"); // the zone's operator, when no Key is given
}

TEST_F(ServerConfig, ReaderCaseRules)
{
    // A missing file, or one whose root is not ours, holds no servers and is
    // no error.
    QString error = "?";
    EXPECT_TRUE(load(&error).isEmpty()) << "missing";
    EXPECT_EQ(error, "");
    write("<quarlo><BlackListServers>" + serverXml("Server=\"a.example\"") + "</BlackListServers></quarlo>");
    EXPECT_TRUE(load(&error).isEmpty());
    EXPECT_EQ(error, "");

    write(
        "<?xml version=\"1.0\"?>\n<Quarlo>\n <BlackListServers>\n"
        "  <Server SERVER=\"upper.example\" NAME=\"Upper\" url=\"u\" enabled=\"y\">\n"
        "   <ResultCodes BitMaskCoded=\"yes\"><ResultCode ADDRESS=\"127.0.0.2\" REASON=\"r\"/></ResultCodes>\n"
        "  </Server>\n"
        "  <Server Server=\"lowermask.example\" Enabled=\"1\">\n"
        "   <ResultCodes bitmaskcoded=\"True\"><ResultCode Address=\"127.0.0.2\" Reason=\"r\"/></ResultCodes>\n"
        "  </Server>\n"
        "  <server Server=\"lowerelement.example\"><ResultCodes><ResultCode Address=\"127.0.0.2\" "
        "Reason=\"r\"/></ResultCodes></server>\n"
        "  <Server Server=\"resultcodes.case\"><resultcodes><ResultCode Address=\"127.0.0.2\" "
        "Reason=\"r\"/></resultcodes></Server>\n"
        + serverXml("Server=\"no.valid.codes\" Enabled=\"TRUE\"",
                    "<ResultCode Address=\"127.0.0.256\" Reason=\"r\"/><ResultCode Address=\"127.0.0.3\" Reason=\"\"/>")
        + serverXml("Enabled=\"TRUE\"", "<ResultCode Address=\"127.0.0.2\" Reason=\"no zone\"/>")
        + serverXml("Server=\"UPPER.example\" Name=\"Duplicate\"", "<ResultCode Address=\"127.0.0.9\" Reason=\"d\"/>")
        + serverXml("Server=\"enabled.words\" Enabled=\"No\"", "<ResultCode Address=\"127.0.0.2\" Reason=\"x\"/>")
        + " </BlackListServers>\n" + serverXml("Server=\"outside.path\"") + "</Quarlo>\n");
    // Attribute case matters for BitMaskCoded only.
    EXPECT_EQ(load(),
              (QStringList{"upper.example|Upper|u|on|mask|addresses|ipv4|127.0.0.2=r",
                           "lowermask.example|||on|exact|addresses|ipv4|127.0.0.2=r",
                           "enabled.words|||off|exact|addresses|ipv4|127.0.0.2=x"}));

    // A second Refresh adds nothing new and keeps held definitions.
    ServerConfigStore serversFile(path());
    Servers servers(&serversFile);
    servers.Refresh();
    servers.Item("upper.example")->setName("Edited");
    servers.Refresh();
    EXPECT_EQ(servers.Count(), 3);
    EXPECT_EQ(servers.Item("upper.example")->Name(), "Edited");
}

// A damaged file read as "no servers" would let every scan call every
// address clean: it is an error that names the file and where it broke.
TEST_F(ServerConfig, DamagedFilesAreErrorsNamingTheFileAndThePlace)
{
    struct Case {
        QByteArray bytes;
        QString says;
    };
    const std::vector<Case> cases{
        {"<Quarlo><BlackListServers>\n  <Server Server=\"a", "It is not well-formed XML: line 2, column "},
        {"<Quarlo>\n<BlackListServers>\n</Quarlo>", "line 3, column "},
        {QByteArray("\xff\xfe\x00<\x00Q"), "It is not well-formed XML: line 1"},
        {"", "It is not well-formed XML: line 1, column 1:"},
        {QByteArray(100000, '<'), "It is not well-formed XML: line 1, column "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.left(40).toStdString());
        write(c.bytes);
        QString error;
        EXPECT_TRUE(load(&error).isEmpty());
        EXPECT_TRUE(error.startsWith("Cannot load Blacklist Servers from " + path() + "\r\n\r\n"))
            << error.toStdString();
        EXPECT_TRUE(error.contains(c.says)) << error.toStdString();
        EXPECT_LT(error.size(), 400) << "the bad bytes are not echoed";
    }

    // One that exists but cannot be opened is no missing file. (Root opens
    // anything; quarlo-check's tests run the same check as nobody.)
    write(document(""));
    ASSERT_TRUE(QFile::setPermissions(path(), {}));
    if (!QFile(path()).open(QIODevice::ReadOnly)) {
        QString error;
        EXPECT_TRUE(load(&error).isEmpty());
        EXPECT_TRUE(error.contains("Permission denied")) << error.toStdString();
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
    EXPECT_TRUE(load().isEmpty());

    // Thousands of attributes, entities from an internal DTD, invalid UTF-8.
    QByteArray many = "<!DOCTYPE Quarlo [<!ENTITY z \"evil.example\"><!ENTITY a \"&z;&z;&z;&z;\">]>"
                      "<Quarlo><BlackListServers><Server Server=\"&a;\" ";
    for (int i = 0; i < 5000; ++i) many += "x" + QByteArray::number(i) + "=\"v\" ";
    many += "><ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"bad \xc3\x28 utf8\"/></ResultCodes></Server>"
            "<Server Server=\"ok.example\" Name=\"caf\xc3\xa9 \xff\"><ResultCodes><ResultCode Address=\"127.0.0.2\" "
            "Reason=\"r\"/>"
            "</ResultCodes></Server></BlackListServers></Quarlo>";
    write(many);
    QString error;
    const QStringList loaded = load(&error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(loaded.filter(QString::fromUtf8("ok.example|caf\xc3\xa9")).size(), 1) << loaded.join('\n').toStdString();
    EXPECT_FALSE(loaded.join('\n').contains("evil.example")) << "entities are not expanded";
}

// (An unreadable file is kept aside as quarlo.cfg.bak before a save:
// DamagedServerConfig for a damaged one, ReadLimits for one too large.)
TEST_F(ServerConfig, SyncReportsWriteFailures)
{
    const QString unwritablePath = dir.filePath("no/such/dir/quarlo.cfg");
    ServerConfigStore unwritableFile(unwritablePath);
    Servers unwritable(&unwritableFile);
    EXPECT_FALSE(unwritable.Sync());
    EXPECT_TRUE(unwritable.LastError().startsWith("Cannot save " + unwritablePath + "\r\n\r\n"));
    EXPECT_TRUE(unwritable.LastError().contains("No such file or directory")) << unwritable.LastError().toStdString();

    // Refresh clears the last error; Sync does not.
    unwritable.Refresh();
    EXPECT_EQ(unwritable.LastError(), "");
}

// Repeated addresses: neither a later refusal nor a later listing changes
// the first definition. Refusals are written one way, after Address and Reason.
TEST_F(ServerConfig, ListingAttributeReadsAnySpellingAndFirstOfARepeatedAddressWins)
{
    write(document("<Server Server=\"a.example\"><ResultCodes>"
                   "<ResultCode Address=\"127.0.0.2\" Reason=\"r\"/>"
                   "<ResultCode Address=\"127.0.0.3\" Reason=\"r\" LISTING=\"no\"/>"
                   "<ResultCode Address=\"127.0.0.4\" Reason=\"r\" Listing=\"\"/>"
                   "<ResultCode Address=\"127.0.0.5\" Reason=\"r\" lIsTiNg=\"y\"/>"
                   "<ResultCode Address=\"127.0.0.2\" Reason=\"again\" Listing=\"False\"/>"
                   "<ResultCode Address=\"127.0.0.3\" Reason=\"again\"/>"
                   "</ResultCodes></Server>"));
    ASSERT_EQ(load(),
              QStringList{"a.example|||off|exact|addresses|ipv4|"
                          "127.0.0.2=r,127.0.0.3=r (refusal),127.0.0.4=r (refusal),127.0.0.5=r"});

    ServerConfigStore serversFile(path());
    Servers servers(&serversFile);
    servers.Refresh();
    ASSERT_TRUE(servers.Sync());
    const QByteArray saved = read();
    EXPECT_EQ(saved.count("Listing"), 2);
    EXPECT_TRUE(saved.contains("<ResultCode Address=\"127.0.0.3\" Reason=\"r\" Listing=\"False\"/>"));
    EXPECT_TRUE(saved.contains("<ResultCode Address=\"127.0.0.5\" Reason=\"r\"/>"));
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
// Saving the shipped servers unchanged rewrites the file byte for byte, so an
// OK in the settings dialog makes no spurious difference.
TEST(ShippedServerConfig, MarksOnlyRefusalsAsNotListingsAndIsInTheWritersOwnFormat)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath("quarlo.cfg");
    ASSERT_TRUE(QFile::copy(shippedConfig(), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    ServerConfigStore serversFile(copy);
    Servers servers(&serversFile);
    servers.Refresh();
    ASSERT_EQ(servers.LastError(), "");
    ASSERT_GE(servers.Count(), 10);
    QSet<QString> refusals = {"zen.spamhaus.org 127.255.255.252", "zen.spamhaus.org 127.255.255.254",
                              "zen.spamhaus.org 127.255.255.255", "multi.surbl.org 127.0.0.1",
                              "multi.uribl.com 127.0.0.1",        "dbl.spamhaus.org 127.255.255.252",
                              "dbl.spamhaus.org 127.255.255.254", "dbl.spamhaus.org 127.255.255.255"};
    // The key-based variants answer as the public zones do.
    for (const QString& refusal : QSet<QString>(refusals))
        for (const char* keyed : {"{key}.zen.dq.spamhaus.net", "{key}.dbl.dq.spamhaus.net"})
            if (refusal.startsWith(QString::fromLatin1(keyed).section('.', 1, 1)))
                refusals.insert(keyed + refusal.mid(refusal.indexOf(' ')));
    int found = 0;
    for (const ServerPtr& server : servers) {
        SCOPED_TRACE(server->Zone().toStdString());
        EXPECT_FALSE(server->ResultCodes().Count() == 0);
        // The rows the defaults mark as domain lists, and only those.
        EXPECT_EQ(server->IsDomainList(), server->StoredName().contains("(domain list)"));
        // Every shipped list is run by an outside operator: none may learn
        // a user's private addresses.
        EXPECT_TRUE(server->Public());
        // A keyed list waits for the user's key; its key's name is all the
        // file holds.
        // IPv6 only where the operator documents it.
        EXPECT_EQ(server->AnswersIPv6(),
                  server->Zone().endsWith("zen.spamhaus.org") || server->Zone().endsWith("zen.dq.spamhaus.net"));
        if (server->NeedsKey()) {
            EXPECT_FALSE(server->Enabled());
            EXPECT_EQ(server->KeyName(), "SPAMHAUS");
        }
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

    // The comment naming the lists' sources is the package's, not the writer's.
    const QByteArray bytes = slurp(shippedConfig());
    ASSERT_TRUE(servers.Sync()) << servers.LastError().toStdString();
    EXPECT_EQ(slurp(copy), bytes.mid(bytes.indexOf("<Quarlo>")));
}

TEST(ServerConfigPath, BesideTheExecutable)
{
    EXPECT_EQ(ServerConfigFile::PathForExecutable("/opt/quarlo/bin/quarlo"), "/opt/quarlo/bin/quarlo.cfg");
    EXPECT_EQ(ServerConfigFile::PathForExecutable("/opt/q/Quarlo.exe"), "/opt/q/Quarlo.cfg");
}
