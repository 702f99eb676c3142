#include "ui/HelpMenu.h"
#include "common/AppInfo.h"
#include "common/Registry.h"
#include "support/MemoryRegistryBackend.h"
#include "support/QtPrinters.h"
#include "ui/AboutDialog.h"
#include "ui/TipDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <functional>
#include <gtest/gtest.h>

using namespace quarlo;

inline void PrintTo(const QUrl& url, std::ostream* os)
{
    *os << url.toString().toStdString();
}

namespace {

const QString kHelpKey = QStringLiteral("Software\\Vantorel\\Orvane");
const QString kTipKey = QStringLiteral("Software\\Vantorel\\Vantorel 2003\\Common");
const QString kWebKey = QStringLiteral("Software\\Vantorel\\Vantorel Quarlo\\Web");

// Captures what the help functions would have shown: pages go to a list,
// dialogs are looked at while "open" and closed at once.
class HelpMenuTest : public ::testing::Test {
protected:
    HelpMenuTest() : registry(backend), help(registry, programDir.path())
    {
        help.setUrlOpener([this](const QUrl& url) {
            opened.append(url);
            return true;
        });
        help.setDialogRunner([this](QDialog& dialog) {
            shown.append(dialog.objectName());
            if (onShow) onShow(dialog);
            return int(QDialog::Accepted);
        });
    }

    void set(RegistryRoot root, const QString& key, const QString& name, const QString& text)
    {
        backend.write(root, key, name, RegistryValue::fromString(text));
    }
    void setTipSwitch(const QString& text) { set(RegistryRoot::LocalMachine, kTipKey, "ToolTips", text); }
    QString tipSwitch()
    {
        const auto value = backend.read(RegistryRoot::LocalMachine, kTipKey, "ToolTips");
        return value ? value->text : QString("<none>");
    }

    QTemporaryDir programDir;
    MemoryRegistryBackend backend;
    Registry registry;
    HelpMenu help;
    QList<QUrl> opened;
    QStringList shown;
    std::function<void(QDialog&)> onShow;
};

QString query(const QUrl& url, const char* item)
{
    return QUrlQuery(url).queryItemValue(QString::fromLatin1(item));
}

// The bundled pages in the source tree.
QString BundledHelpDir()
{
    return QDir::cleanPath(QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + QStringLiteral("/../../data/Help"));
}

} // namespace

TEST_F(HelpMenuTest, HelpPagesComeFromTheRegisteredFolderElseFromBesideTheProgramWithoutAQuery)
{
    // Values elsewhere than the current user's "HelpDirectory" do not count.
    set(RegistryRoot::LocalMachine, kHelpKey, "HelpDirectory", "/elsewhere");
    set(RegistryRoot::CurrentUser, "Software\\Vantorel\\Vantorel Quarlo", "HelpDirectory", "/elsewhere");
    set(RegistryRoot::CurrentUser, kHelpKey, "HelpDir", "/elsewhere");
    const struct {
        const char* folder; // nullptr: no value
        QString file;
    } cases[] = {
        {nullptr, programDir.path() + "/Help/default.htm"},
        {"", programDir.path() + "/Help/default.htm"},
        // A trailing separator is not doubled; "#" and "?" stay part of the path.
        {"/opt/help files/#1?/", "/opt/help files/#1?/default.htm"},
        {"Docs", programDir.path() + "/Docs/default.htm"}, // below the program
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder ? c.folder : "(none)");
        if (c.folder) set(RegistryRoot::CurrentUser, kHelpKey, "HelpDirectory", c.folder);
        opened.clear();
        help.Contents();
        help.Selection();
        // Which topics they ask for, and that the pages have them: BundledPagesCoverEveryTopic...
        ASSERT_EQ(opened.size(), 2);
        for (const QUrl& url : opened) EXPECT_EQ(url.toLocalFile(), c.file);
    }
    EXPECT_TRUE(shown.isEmpty());

    // With the pages installed, the topic's page opens straight away, so a
    // desktop that drops the query of a local address still shows it.
    set(RegistryRoot::CurrentUser, kHelpKey, "HelpDirectory", "");
    opened.clear();
    const QString installed = programDir.path() + "/Help";
    ASSERT_TRUE(QDir().mkpath(installed));
    for (const char* page : {"default.htm", "QuarloHelp.htm"})
        ASSERT_TRUE(QFile::copy(BundledHelpDir() + "/" + page, installed + "/" + page));
    help.Selection();
    help.Contents();
    EXPECT_EQ(opened,
              QList<QUrl>({QUrl::fromLocalFile(installed + "/QuarloHelp.htm"),
                           QUrl::fromLocalFile(installed + "/default.htm")}));
}

TEST_F(HelpMenuTest, WebCommandsOpenTheConfiguredAddressElseTheirBundledPage)
{
    EXPECT_FALSE(help.Web("ABOUT"));
    EXPECT_TRUE(help.WebAddress("SELECTION").isEmpty());
    // No address of a site that does not exist yet: the pages beside the
    // program, one per command, each of them shipped.
    const QStringList commands = {"UPDATES", "faq", "Feedback"};
    const QStringList pages = {"Updates.htm", "FAQ.htm", "Feedback.htm"};
    for (const QString& command : commands) EXPECT_TRUE(help.Web(command));
    ASSERT_EQ(opened.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(opened[i], QUrl::fromLocalFile(programDir.path() + "/Help/" + pages[i]));
        EXPECT_TRUE(QDir(BundledHelpDir()).exists(pages[i])) << pages[i].toStdString();
    }

    const QUrl defaultFaq = help.WebAddress("FAQ");
    set(RegistryRoot::CurrentUser, kWebKey, "Updates", " https://downloads.example.net/quarlo ");
    set(RegistryRoot::CurrentUser, kWebKey, "Feedback", "mailto:quarlo@example.net");
    opened.clear();
    help.Web("UPDATES");
    help.Web("FEEDBACK");
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://downloads.example.net/quarlo"), QUrl("mailto:quarlo@example.net")}));
    // Not usable: the default stays.
    for (const char* unusable :
         {"file:///usr/bin/xterm", "", "just some words", "javascript:alert(1)", "/relative/page"}) {
        set(RegistryRoot::CurrentUser, kWebKey, "FAQ", unusable);
        EXPECT_EQ(help.WebAddress("FAQ"), defaultFaq) << unusable;
    }
}

TEST_F(HelpMenuTest, StartUpTipsRespectTheFamilySwitchTheMenuForcesThemAndTheWindowStoresIt)
{
    bool tickedWhenShown = false;
    bool untick = false;
    onShow = [&](QDialog& dialog) {
        auto* box = dialog.findChild<QCheckBox*>("chkShowTips");
        ASSERT_NE(box, nullptr);
        tickedWhenShown = box->isChecked();
        if (untick == tickedWhenShown) box->click();
    };
    EXPECT_TRUE(help.TipsAtStartup()) << "missing switch";
    help.TipOfTheDay(false);
    EXPECT_EQ(shown, QStringList{"TipDialog"}) << "switch missing: on";
    EXPECT_TRUE(tickedWhenShown);

    // Switched off from the window itself: the next start shows nothing.
    untick = true;
    help.TipOfTheDay(false);
    EXPECT_EQ(tipSwitch(), "False");
    shown.clear();
    help.TipOfTheDay(false);
    help.ShowTips("Orvanes", false);
    EXPECT_TRUE(shown.isEmpty());

    // From the menu they show anyway, unticked, and ticking switches tips back on.
    untick = false;
    help.ShowTips("orvanes", true);
    EXPECT_EQ(shown, QStringList{"TipDialog"});
    EXPECT_FALSE(tickedWhenShown);
    EXPECT_EQ(tipSwitch(), "True");
    EXPECT_TRUE(help.TipsAtStartup());

    // A family without tips shows nothing, even when asked for.
    shown.clear();
    help.ShowTips("Elsewhere", true);
    EXPECT_TRUE(shown.isEmpty());

    // How the switch's text reads.
    const std::pair<const char*, bool> texts[] = {
        {"FALSE", false}, {"0", false}, {"yes", false}, {"", false}, {"tRUE", true}, {"-1", true}, {"2.5", true},
    };
    for (const auto& [text, on] : texts) {
        setTipSwitch(text);
        EXPECT_EQ(help.TipsAtStartup(), on) << text;
    }
    // The same value under the current user, or under the program's own key,
    // is not the switch.
    setTipSwitch("True");
    set(RegistryRoot::CurrentUser, kTipKey, "ToolTips", "False");
    set(RegistryRoot::LocalMachine, "Software\\Vantorel\\Vantorel Quarlo\\Common", "ToolTips", "False");
    EXPECT_TRUE(help.TipsAtStartup());
}

TEST_F(HelpMenuTest, TheTipWindowWalksThroughEveryTipFromTodaysOn)
{
    QStringList seen;
    QStringList tips;
    onShow = [&](QDialog& dialog) {
        auto& window = static_cast<TipDialog&>(dialog);
        tips = window.Tips();
        for (qsizetype i = 0; i <= tips.size(); ++i) {
            seen.append(window.findChild<QLabel*>("TipText")->text());
            window.findChild<QPushButton*>("cmdNext")->click();
        }
    };
    help.TipOfTheDay();

    ASSERT_FALSE(tips.isEmpty());
    EXPECT_EQ(QSet<QString>(tips.begin(), tips.end()).size(), tips.size()) << "no tip twice";
    // Today's tip first, every tip once in turn, then today's again.
    const qsizetype today = QDate::currentDate().dayOfYear() % tips.size();
    EXPECT_EQ(seen, tips.mid(today) + tips.mid(0, today) + tips.mid(today, 1));
    // The tip about the server file names the folder it is really in.
    EXPECT_EQ(tips.filter("quarlo.cfg").size(), 1);
    EXPECT_TRUE(tips.filter("quarlo.cfg").first().contains(QDir::toNativeSeparators(programDir.path())));
}

TEST_F(HelpMenuTest, TheAboutBoxShowsTheBuildVersionAndTheWindowIcon)
{
    QString program, version;
    bool iconShown = false;
    onShow = [&](QDialog& dialog) {
        auto& about = static_cast<AboutDialog&>(dialog);
        program = about.ProgramName();
        version = about.findChild<QLabel*>("VersionInfo")->text();
        const QLabel* icon = about.findChild<QLabel*>("ProgIcon");
        iconShown = !icon->isHidden() && !icon->pixmap().isNull();
    };
    QPixmap red(32, 32);
    red.fill(Qt::red);
    help.About(QIcon(red));
    ASSERT_EQ(shown, QStringList{"AboutDialog"});
    EXPECT_EQ(program, "Quarlo");
    EXPECT_TRUE(iconShown);
    // The running build's version, and no unknown part shown as -1.
    const QStringList parts = ProgramVersion().split('.');
    EXPECT_TRUE(version.startsWith("Version " + parts.value(0) + "." + parts.value(1, "0") + " "))
        << version.toStdString();
    EXPECT_TRUE(version.contains(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + " Version "));
    EXPECT_FALSE(version.contains("-1"));
}

TEST_F(HelpMenuTest, BundledPagesCoverEveryTopicAndLinkOnlyToPagesThatExist)
{
    const QDir pages(BundledHelpDir());
    QFile index(pages.filePath("default.htm"));
    ASSERT_TRUE(index.open(QIODevice::ReadOnly)) << pages.path().toStdString();
    const QString router = QString::fromUtf8(index.readAll());
    help.Contents();
    help.Selection();
    for (const QUrl& url : opened) {
        // default.htm sends each topic on to its page: "topic": "page.htm".
        const QRegularExpression route('"' + QRegularExpression::escape(query(url, "topic"))
                                       + R"re("\s*:\s*"([^"]+\.htm)")re");
        const QRegularExpressionMatch match = route.match(router);
        ASSERT_TRUE(match.hasMatch()) << query(url, "topic").toStdString();
        EXPECT_TRUE(pages.exists(match.captured(1))) << match.captured(1).toStdString();
    }

    // Every local link of every page leads somewhere.
    const QRegularExpression link(R"re((?:href|src)\s*=\s*"([^"#:]+)(?:#[^"]*)?")re");
    const QStringList names = pages.entryList({"*.htm"}, QDir::Files);
    EXPECT_GE(names.size(), 5);
    for (const QString& name : names) {
        QFile page(pages.filePath(name));
        ASSERT_TRUE(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        EXPECT_TRUE(html.contains("<title>")) << name.toStdString();
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(pages.exists(target)) << name.toStdString() << " links to " << target.toStdString();
        }
    }
}
