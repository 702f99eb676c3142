#include "common/ConfigLocation.h"
#include "common/RegistryLocation.h"
#include "model/Server.h"
#include "model/Servers.h"
#include "storage/ServerConfigStore.h"
#include "support/EnvGuard.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

QByteArray configWith(const QString& zone)
{
    return QStringLiteral("<Quarlo><BlackListServers><Server Server=\"%1\" Enabled=\"TRUE\" Name=\"%1\"><ResultCodes>"
                          "<ResultCode Address=\"127.0.0.2\" Reason=\"listed\"/></ResultCodes></Server>"
                          "</BlackListServers></Quarlo>")
        .arg(zone)
        .toUtf8();
}

// An installed copy's tree below a temporary root: <root>/usr/bin holds the
// program, <root>/usr/share/quarlo its data, <root>/home the user's folder and
// <root>/etc/xdg and <root>/opt/xdg the administrator's.
class ConfigLocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        for (const char* folder :
             {"usr/bin", "usr/share/quarlo", "home/Vantorel", "etc/xdg/Vantorel", "opt/xdg/Vantorel"})
            ASSERT_TRUE(QDir().mkpath(path(folder)));
    }

    QString path(const QString& relative) const { return root.filePath(relative); }

    ConfigLocation location() const
    {
        ConfigLocation::Places places;
        places.programDir = path("usr/bin");
        places.portableConfig = path("usr/bin/quarlo.cfg");
        places.userConfigDir = path("home/Vantorel");
        places.systemConfigDirs = {path("etc/xdg/Vantorel"), path("opt/xdg/Vantorel")};
        places.installedDataDir = path("usr/share/quarlo");
        return ConfigLocation(places);
    }

    QTemporaryDir root;
};

} // namespace

// The most personal copy that exists is read and the user's copy saved; a
// configuration beside the program keeps everything there and never looks
// at the others.
TEST_F(ConfigLocationTest, ReadsTheMostPersonalCopyThatExists)
{
    const QString user = "home/Vantorel/quarlo.cfg";
    const QString portable = "usr/bin/quarlo.cfg";
    const struct {
        QStringList present;
        QString read;
    } cases[] = {
        {{}, "usr/share/quarlo/quarlo.cfg"}, // nothing at all: names the missing default
        {{"usr/share/quarlo/quarlo.cfg"}, "usr/share/quarlo/quarlo.cfg"},
        {{"usr/share/quarlo/quarlo.cfg", "opt/xdg/Vantorel/quarlo.cfg"}, "opt/xdg/Vantorel/quarlo.cfg"},
        {{"opt/xdg/Vantorel/quarlo.cfg", "etc/xdg/Vantorel/quarlo.cfg"}, "etc/xdg/Vantorel/quarlo.cfg"},
        {{"usr/share/quarlo/quarlo.cfg", "etc/xdg/Vantorel/quarlo.cfg", user}, user},
        {{user}, user},
        {{user, "etc/xdg/Vantorel/quarlo.cfg", portable}, portable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.present.join(", ").toStdString());
        for (const QString& file : QStringList{"usr/share/quarlo/quarlo.cfg", "opt/xdg/Vantorel/quarlo.cfg",
                                               "etc/xdg/Vantorel/quarlo.cfg", user, portable})
            QFile::remove(path(file));
        for (const QString& file : c.present) spit(path(file), configWith("x.example"));

        const ConfigLocation where = location();
        const bool isPortable = c.read == portable;
        EXPECT_EQ(where.Portable(), isPortable);
        EXPECT_EQ(where.ReadPath(), path(c.read));
        EXPECT_EQ(where.SavePath(), path(isPortable ? portable : user));
        EXPECT_EQ(where.WritableDirectory(), path(isPortable ? "usr/bin" : "home/Vantorel"));
    }
}

TEST_F(ConfigLocationTest, HelpIsBesideTheProgramOrInTheInstalledData)
{
    EXPECT_EQ(location().DataDirectory(), path("usr/share/quarlo"));
    // A file named Help is not the folder of pages.
    spit(path("usr/bin/Help"), "x");
    EXPECT_EQ(location().DataDirectory(), path("usr/share/quarlo"));
    QFile::remove(path("usr/bin/Help"));
    ASSERT_TRUE(QDir().mkpath(path("usr/bin/Help")));
    EXPECT_EQ(location().DataDirectory(), path("usr/bin"));
}

// Where an installed copy finds its data and which copy wins: the InstallTree
// test runs the installed quarlo-check. The desktop program names its own
// portable file.
TEST_F(ConfigLocationTest, ForExecutableTakesTheNamedPortableFile)
{
    spit(path("usr/bin/quarlo.cfg"), configWith("portable.example"));
    const ConfigLocation portable = ConfigLocation::ForExecutable(path("usr/bin/quarlo"), path("usr/bin/quarlo.cfg"));
    EXPECT_TRUE(portable.Portable());
    EXPECT_EQ(portable.ReadPath(), path("usr/bin/quarlo.cfg"));
}

// Relative entries are invalid under the base directory rules.
TEST(ConfigLocation, FoldersFollowTheEnvironment)
{
    EnvGuard env;
    const QString config = QDir::homePath() + "/.config/Vantorel";
    const QString data = QDir::homePath() + "/.local/share";
    QString (*const userConfig)() = ConfigLocation::UserConfigDirectory;
    QString (*const userData)() = ConfigLocation::UserDataDirectory;
    QString (*const systemConfig)() = [] { return ConfigLocation::SystemConfigDirectories().join(':'); };
    const struct {
        const char* variable;
        const char* value; // nullptr: unset
        QString (*folder)();
        QString expected;
    } cases[] = {
        {"XDG_CONFIG_HOME", "/xdg", userConfig, "/xdg/Vantorel"},
        {"XDG_CONFIG_HOME", "relative/dir", userConfig, config},
        {"XDG_CONFIG_HOME", "", userConfig, config},
        {"XDG_CONFIG_HOME", nullptr, userConfig, config},
        {"XDG_DATA_HOME", "/data/", userData, "/data"},
        {"XDG_DATA_HOME", "relative/share", userData, data},
        {"XDG_DATA_HOME", "", userData, data},
        {"XDG_CONFIG_DIRS", "/a:/b/", systemConfig, "/a/Vantorel:/b/Vantorel"},
        {"XDG_CONFIG_DIRS", "relative:/c", systemConfig, "/c/Vantorel"},
        {"XDG_CONFIG_DIRS", "::", systemConfig, "/etc/xdg/Vantorel"},
        {"XDG_CONFIG_DIRS", nullptr, systemConfig, "/etc/xdg/Vantorel"},
        {"QUARLO_REGISTRY_DIR", "/some/where", DefaultRegistryDirectory, "/some/where"},
        {"QUARLO_REGISTRY_DIR", "", DefaultRegistryDirectory, config},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.variable) + "=" + (c.value ? c.value : "<unset>"));
        c.value ? env.set(c.variable, c.value) : env.unset(c.variable);
        EXPECT_EQ(c.folder(), c.expected);
    }
}

TEST_F(ConfigLocationTest, SavingAnInstalledCopyWritesTheUsersCopyWhichLaterRunsRead)
{
    spit(path("etc/xdg/Vantorel/quarlo.cfg"), configWith("admin.example"));
    // The user's folder does not exist before the first save.
    ASSERT_TRUE(QDir(path("home/Vantorel")).removeRecursively());
    const QByteArray adminBytes = slurp(path("etc/xdg/Vantorel/quarlo.cfg"));

    const ConfigLocation first = location();
    ServerConfigStore serversFile(first.ReadPath(), first.SavePath());
    Servers servers(&serversFile);
    servers.Refresh();
    ASSERT_EQ(servers.Count(), 1);
    servers.Item(QStringLiteral("admin.example"))->setName(QStringLiteral("Renamed by the user"));
    ASSERT_TRUE(servers.Sync()) << servers.LastError().toStdString();

    EXPECT_EQ(slurp(path("etc/xdg/Vantorel/quarlo.cfg")), adminBytes) << "the administrator's copy was changed";
    EXPECT_TRUE(QFileInfo(path("home/Vantorel/quarlo.cfg")).isFile());
    const auto nameIn = [](ServerConfigStore& file) {
        Servers read(&file);
        read.Refresh();
        const auto server = read.Item(QStringLiteral("admin.example"));
        return server ? server->Name() : QStringLiteral("<missing>");
    };
    // The same run reads the administrator's copy with what it saved over it;
    // the next run reads the user's copy.
    EXPECT_EQ(nameIn(serversFile), "Renamed by the user");
    EXPECT_EQ(location().ReadPath(), path("home/Vantorel/quarlo.cfg"));
    ServerConfigStore nextRun(location().ReadPath());
    EXPECT_EQ(nameIn(nextRun), "Renamed by the user");
}

TEST_F(ConfigLocationTest, ASaveWhoseFolderCannotBeMadeSaysSo)
{
    // A file where the user's folder should be.
    ASSERT_TRUE(QDir(path("home/Vantorel")).removeRecursively());
    spit(path("home/Vantorel"), "not a folder");
    ServerConfigStore serversFile(path("usr/share/quarlo/quarlo.cfg"), location().SavePath());
    Servers servers(&serversFile);
    EXPECT_FALSE(servers.Sync());
    EXPECT_TRUE(servers.LastError().contains(path("home/Vantorel"))) << servers.LastError().toStdString();
}
