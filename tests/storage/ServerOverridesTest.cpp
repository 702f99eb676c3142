#include "model/Servers.h"
#include "storage/ServerConfigFile.h"
#include "storage/ServerConfigStore.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

QString describe(const ServerPtr& s)
{
    if (!s) return "(none)";
    QStringList codes;
    for (const ResultCodePtr& c : s->ResultCodes()) codes << c->Address() + "=" + c->Reason();
    return QStringList({s->Zone(), s->StoredName(), s->Enabled() ? "on" : "off", codes.join(',')}).join('|');
}

// A list "<name>.example" whose 127.0.0.2 answer means reason.
ServerPtr listed(const char* name, const char* reason, bool enabled = true)
{
    return makeServer(QString::fromLatin1(name) + ".example", enabled, {{"127.0.0.2", reason}});
}

QStringList zones(const Servers& servers)
{
    QStringList out;
    for (const ServerPtr& s : servers) out << s->Zone();
    return out;
}

// An installed copy: the packaged file, and the user's own file that holds
// what the user changed.
class ServerOverridesTest : public ::testing::Test {
protected:
    QString packaged() const { return dir.filePath("share/quarlo.cfg"); }
    QString user() const { return dir.filePath("home/Vantorel/quarlo.cfg"); }

    // The package as released: each call replaces the packaged file.
    void release(std::initializer_list<ServerPtr> servers) const
    {
        QDir().mkpath(dir.filePath("share"));
        Servers list;
        for (const ServerPtr& s : servers) list.Add(s);
        ErrorText error;
        ASSERT_TRUE(ServerConfigFile::Write(list, packaged(), error)) << error.Boxed().toStdString();
    }
    // What a new run of the program sees.
    std::unique_ptr<Servers> start(QString* error = nullptr)
    {
        store = std::make_unique<ServerConfigStore>(packaged(), user());
        auto servers = std::make_unique<Servers>(store.get());
        servers->Refresh();
        if (error) *error = servers->LastError();
        return servers;
    }
    // The servers written whole in the user's file (ServerConfigFile reads
    // only those).
    QStringList wholeInUsersFile() const
    {
        Servers servers;
        ErrorText error;
        ServerConfigFile::Read(servers, user(), error);
        return zones(servers);
    }

    QTemporaryDir dir;
    std::unique_ptr<ServerConfigStore> store;
};

} // namespace

// The user unticks one packaged list, deletes one, edits one and adds one.
// The next package retires nothing but changes every list and adds one: the
// changes reach the user wherever the user did not change that list.
TEST_F(ServerOverridesTest, PackageUpdatesReachTheUserWhoseOwnChangesWinAndStay)
{
    release({listed("a", "A"), listed("b", "B"), listed("c", "C"), listed("d", "D", false)});
    {
        auto servers = start();
        ASSERT_EQ(zones(*servers), QStringList({"a.example", "b.example", "c.example", "d.example"}));
        servers->Item("b.example")->setEnabled(false);
        servers->Remove("a.example");
        servers->Item("c.example")->setName("Mine");
        servers->Add(makeServer("own.example", true, {{"127.0.0.5", "Own"}}));
        ASSERT_TRUE(servers->Sync()) << servers->LastError().toStdString();
    }
    // Only the edited and the added list are written whole; the untouched
    // one not at all.
    EXPECT_EQ(wholeInUsersFile(), QStringList({"c.example", "own.example"}));
    EXPECT_FALSE(slurp(user()).contains("d.example"));

    release({listed("a", "A2"), makeServer("b.example", true, {{"127.0.0.2", "B2"}, {"127.0.0.3", "B3"}}),
             listed("c", "C2"), listed("d", "D2", false), listed("e", "E")});
    QString error;
    auto servers = start(&error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(zones(*servers), QStringList({"b.example", "c.example", "d.example", "e.example", "own.example"}));
    EXPECT_EQ(describe(servers->Item("b.example")), "b.example||off|127.0.0.2=B2,127.0.0.3=B3");
    EXPECT_EQ(describe(servers->Item("c.example")), "c.example|Mine|on|127.0.0.2=C");
    EXPECT_EQ(describe(servers->Item("d.example")), "d.example||off|127.0.0.2=D2");
    EXPECT_EQ(describe(servers->Item("e.example")), "e.example||on|127.0.0.2=E");
    EXPECT_EQ(describe(servers->Item("own.example")), "own.example||on|127.0.0.5=Own");

    // Putting a list back as the package has it makes it follow the package again.
    servers->Item("b.example")->setEnabled(true);
    servers->Item("c.example")->setName("");
    servers->Item("c.example")->ResultCodes().Clear();
    servers->Item("c.example")->ResultCodes().Add("127.0.0.2", "C2");
    ASSERT_TRUE(servers->Sync());
    EXPECT_EQ(wholeInUsersFile(), QStringList({"own.example"}));
    release({listed("b", "B4"), listed("c", "C4")});
    servers = start();
    // Lists the package retires go with it; the user's own stays.
    EXPECT_EQ(zones(*servers), QStringList({"b.example", "c.example", "own.example"}));
    EXPECT_EQ(describe(servers->Item("c.example")), "c.example||on|127.0.0.2=C4");
}

// The user's file as earlier versions wrote it: every server whole. Those
// equal to the package become "no change" at the next save; the rest stay
// the user's.
TEST_F(ServerOverridesTest, AWholeCopyFromEarlierVersionsShrinksToTheUsersChanges)
{
    release({listed("a", "A"), listed("b", "B"), listed("c", "C")});
    {
        Servers whole;
        for (const ServerPtr& s : {listed("a", "A"), listed("b", "B", false), listed("c", "Changed")}) whole.Add(s);
        QDir().mkpath(QFileInfo(user()).absolutePath());
        ErrorText error;
        ASSERT_TRUE(ServerConfigFile::Write(whole, user(), error));
    }
    auto servers = start();
    EXPECT_EQ(zones(*servers), QStringList({"a.example", "b.example", "c.example"}));
    EXPECT_FALSE(servers->Item("b.example")->Enabled());
    EXPECT_EQ(describe(servers->Item("c.example")), "c.example||on|127.0.0.2=Changed");
    ASSERT_TRUE(servers->Sync());
    EXPECT_EQ(wholeInUsersFile(), QStringList({"c.example"}));
    const QByteArray bytes = slurp(user());
    EXPECT_TRUE(bytes.contains("b.example")) << bytes.toStdString(); // its enabled flag
    EXPECT_FALSE(bytes.contains("a.example")) << bytes.toStdString();

    // The same after the shrink.
    servers = start();
    EXPECT_EQ(zones(*servers), QStringList({"a.example", "b.example", "c.example"}));
    EXPECT_FALSE(servers->Item("b.example")->Enabled());
    EXPECT_EQ(describe(servers->Item("c.example")), "c.example||on|127.0.0.2=Changed");
}

// A damaged file of either kind is reported, naming it; the other one's
// servers still load, and a save keeps the damaged user's file aside.
TEST_F(ServerOverridesTest, ADamagedFileIsReportedAndTheUsersIsKeptAsideOnSave)
{
    release({listed("a", "A")});
    QDir().mkpath(QFileInfo(user()).absolutePath());
    spit(user(), "<Quarlo><BlackListServers Overrides=\"True\"><Server");
    QString error;
    auto servers = start(&error);
    EXPECT_TRUE(error.contains(user())) << error.toStdString();
    EXPECT_EQ(zones(*servers), QStringList({"a.example"}));
    servers->Item("a.example")->setEnabled(false);
    ASSERT_TRUE(servers->Sync()) << servers->LastError().toStdString();
    EXPECT_EQ(slurp(user() + ".bak"), "<Quarlo><BlackListServers Overrides=\"True\"><Server");
    servers = start(&error);
    EXPECT_EQ(error, "");
    EXPECT_FALSE(servers->Item("a.example")->Enabled());

    spit(packaged(), "not xml");
    servers = start(&error);
    EXPECT_TRUE(error.contains(packaged())) << error.toStdString();
}

// The mark of a list run by an outside operator comes with the package and
// stays through the user's changes of that list; the user's own lists lack
// it unless the user's file says so.
TEST_F(ServerOverridesTest, PublicMarkSurvivesTheUsersChanges)
{
    auto outside = [](const char* name) {
        auto server = listed(name, "Listed");
        server->setPublic(true);
        return server;
    };
    release({outside("a"), outside("b"), listed("mirror", "M")});
    EXPECT_EQ(slurp(packaged()).count("Public=\"True\""), 2);
    {
        auto servers = start();
        servers->Item("a.example")->setEnabled(false);
        servers->Item("b.example")->setName("Renamed");
        servers->Add(listed("own", "Own"));
        auto shared = listed("shared", "Shared");
        shared->setPublic(true);
        servers->Add(shared);
        ASSERT_TRUE(servers->Sync()) << servers->LastError().toStdString();
    }
    auto servers = start();
    QStringList marks;
    for (const ServerPtr& s : *servers) marks << s->Zone() + (s->Public() ? "=public" : "=own");
    EXPECT_EQ(marks,
              (QStringList{"a.example=public", "b.example=public", "mirror.example=own", "own.example=own",
                           "shared.example=public"}));
    EXPECT_FALSE(servers->Item("a.example")->Enabled());
    EXPECT_EQ(servers->Item("b.example")->StoredName(), "Renamed");

    // A user who says a packaged list is their own mirror keeps that choice.
    servers->Item("a.example")->setPublic(false);
    ASSERT_TRUE(servers->Sync());
    EXPECT_FALSE(start()->Item("a.example")->Public());
}
