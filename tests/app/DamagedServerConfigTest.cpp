// The program's objects over a server configuration that does not load: the
// window and the application object tell the truth about it, and the
// settings dialog replaces the file only when the user says so.
#include "app/DesktopSession.h"
#include "common/Registry.h"
#include "scan/Addresslist.h"
#include "storage/ServerConfigFile.h"
#include "support/MemoryRegistryBackend.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "ui/MainForm.h"

#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;
using Answer = UserPrompts::Answer;

namespace {

const QByteArray kDamaged =
    "<Quarlo><BlackListServers>\n<Server Server=\"hand.edited\" Enabled=\"TRUE\"><ResultCodes>"
    "<ResultCode Address=\"127.0.0.2\" Reason=\"r\"/></ResultCodes>\n</BlackListServers></Quarlo>";

class DamagedServerConfig : public ::testing::Test {
protected:
    DamagedServerConfig() { spit(config, kDamaged); }

    // Runs the Settings command, pressing OK in the dialog.
    void settingsOk(MainForm& window)
    {
        window.setDialogRunner([](QDialog& dialog) {
            dialog.findChild<QPushButton*>("cmdOK")->click();
            return dialog.result() == QDialog::Accepted;
        });
        window.RunTool("Main:Settings");
    }

    QTemporaryDir dir;
    const QString config = dir.filePath("quarlo.cfg");
    MemoryRegistryBackend backend;
    Registry registry{backend};
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(DamagedServerConfig, IsToldScansNothingAndIsReplacedOnlyWhenTheUserSaysSoKeepingACopy)
{
    DesktopSession session(registry, prompts, {.configPath = config});
    const ListCommands::ServerConfigProblem problem = session.Application().ServerConfigurationProblem();
    // The parts arrive apart: the failure naming the file, the reader's reason.
    EXPECT_EQ(problem.message.what, "Cannot load Blacklist Servers from " + config);
    EXPECT_TRUE(problem.message.why.contains("line 3, column 3")) << problem.message.why.toStdString();
    EXPECT_EQ(problem.savedOver, config);

    MainForm window(session.WindowServices(dir.path(), "quarlo"));
    ASSERT_EQ(window.ZoneProblems().size(), 1);
    EXPECT_TRUE(window.ZoneProblems()[0].contains(config));

    // A scan asks nothing and gives no verdict.
    Addresslist& list = session.Addresslist();
    window.RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    QSignalSpy started(&list, &Addresslist::ScanStarted);
    window.RunTool("Main:Scan");
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(list.Item("192.0.2.1")->Verdict(), Verdict::NotScanned);
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_TRUE(prompts.messages.back().text.startsWith("No scan was started"));

    // OK in the settings asks first; No leaves the file as it is.
    prompts.messages.clear();
    prompts.answers = {Answer::No};
    settingsOk(window);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].buttons, UserPrompts::Buttons::YesNo);
    EXPECT_TRUE(prompts.messages[0].text.contains(problem.message.Boxed()));
    EXPECT_TRUE(prompts.messages[0].text.contains(config + ".bak"));
    EXPECT_EQ(slurp(config), kDamaged);
    EXPECT_FALSE(QFile::exists(config + ".bak"));
    EXPECT_FALSE(session.Application().ServerConfigurationProblem().isEmpty());
    window.RunTool("Main:Scan");
    EXPECT_EQ(started.count(), 0);

    // Yes: the damaged bytes are kept beside it, the list is saved, and
    // scans run on the servers now in the file.
    session.Settings().BlacklistServers().Add(makeServer("fixed.example", true, {{"127.0.0.2", "Listed"}}));
    prompts.messages.clear();
    prompts.answers = {Answer::Yes};
    settingsOk(window);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(slurp(config + ".bak"), kDamaged);
    Servers saved;
    ErrorText error;
    ASSERT_TRUE(ServerConfigFile::Read(saved, config, error)) << error.Boxed().toStdString();
    ASSERT_NE(saved.Item("fixed.example"), nullptr);
    EXPECT_TRUE(session.Application().ServerConfigurationProblem().isEmpty());
    EXPECT_TRUE(window.ZoneProblems().isEmpty());
    EXPECT_TRUE(session.Application().ScanRefusal().isEmpty());

    // Once saved, the next OK asks nothing.
    prompts.messages.clear();
    settingsOk(window);
    EXPECT_TRUE(prompts.messages.empty());
}

// An installed copy reads a shared file and saves the user's own: the shared
// one is never written, so saving asks nothing, but scans wait for the save.
// A missing file is no problem at all.
TEST_F(DamagedServerConfig, ReadFromAFileThatIsNotSavedOverOrMissingAsksNothing)
{
    const QString own = dir.filePath("own/quarlo.cfg");
    DesktopSession session(registry, prompts, {.configPath = config, .savePath = own});
    EXPECT_FALSE(session.Application().ServerConfigurationProblem().isEmpty());
    EXPECT_EQ(session.Application().ServerConfigurationProblem().savedOver, "");
    MainForm window(session.WindowServices(dir.path(), "quarlo"));
    session.Settings().BlacklistServers().Add(makeServer("fixed.example", true, {{"127.0.0.2", "Listed"}}));
    settingsOk(window);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(slurp(config), kDamaged);
    EXPECT_FALSE(QFile::exists(config + ".bak"));
    EXPECT_TRUE(slurp(own).contains("fixed.example"));
    EXPECT_TRUE(session.Application().ServerConfigurationProblem().isEmpty());

    // A file that is not there is no damage: nothing to keep, nothing to ask.
    DesktopSession fresh(registry, prompts, {.configPath = dir.filePath("none.cfg")});
    EXPECT_TRUE(fresh.Application().ServerConfigurationProblem().isEmpty());
    EXPECT_TRUE(fresh.Application().ScanRefusal().isEmpty());
}
