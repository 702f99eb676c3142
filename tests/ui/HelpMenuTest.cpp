#include "common/AppInfo.h"
#include "common/Registry.h"
#include "support/MemoryRegistryBackend.h"
#include "support/QtPrinters.h"
#include "ui/AboutDialog.h"
#include "ui/HelpMenu.h"
#include "ui/TipDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <functional>
#include <optional>
#include <gtest/gtest.h>

using namespace quarlo;

inline void PrintTo(const QUrl& url, std::ostream* os) { *os << url.toString().toStdString(); }

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

    void setString(RegistryRoot root, const QString& key, const QString& name, const QString& text)
    {
        backend.write(root, key, name, RegistryValue::fromString(text));
    }
    std::optional<RegistryValue> tipSwitch() { return backend.read(RegistryRoot::LocalMachine, kTipKey, "ToolTips"); }

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

// ---- local help pages ---------------------------------------------------------

TEST_F(HelpMenuTest, HelpPagesLiveInTheRegisteredHelpDirectory)
{
    setString(RegistryRoot::CurrentUser, kHelpKey, "HelpDirectory", "/srv/docs");
    EXPECT_EQ(help.HelpURL("OrvaneDoc", "OrvanePHIntroducingTools"),
              "file:///srv/docs/default.htm?context=OrvaneDoc&topic=OrvanePHIntroducingTools");

    help.Contents();
    help.Selection();
    ASSERT_EQ(opened.size(), 2);
    for (const QUrl& url : opened) {
        EXPECT_EQ(url.toLocalFile(), "/srv/docs/default.htm");
        EXPECT_EQ(query(url, "context"), "OrvaneDoc");
    }
    EXPECT_EQ(query(opened[0], "topic"), "OrvanePHIntroducingTools");
    EXPECT_EQ(query(opened[1], "topic"), "OrvanePHPingDiagnosticToolsQuarlo");
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(HelpMenuTest, WithoutAHelpDirectoryThePagesBesideTheProgramAreUsed)
{
    const QString bundled = programDir.path() + "/Help/default.htm";
    EXPECT_EQ(help.HelpURL("C", "T"), "file://" + bundled + "?context=C&topic=T");
    help.Contents();

    // An empty value, and values elsewhere than the current user's key, do not count.
    setString(RegistryRoot::CurrentUser, kHelpKey, "HelpDirectory", "");
    setString(RegistryRoot::LocalMachine, kHelpKey, "HelpDirectory", "/elsewhere");
    setString(RegistryRoot::CurrentUser, "Software\\Vantorel\\Vantorel Quarlo", "HelpDirectory", "/elsewhere");
    backend.write(RegistryRoot::CurrentUser, kHelpKey, "HelpDir", RegistryValue::fromString("/elsewhere"));
    help.Selection();

    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0].toLocalFile(), bundled);
    EXPECT_EQ(opened[1].toLocalFile(), bundled);
}

TEST_F(HelpMenuTest, AwkwardHelpDirectoriesStillGiveTheRightFile)
{
    // A trailing separator is not doubled; "#" and "?" in a folder name stay
    // part of the path instead of starting a fragment or a second query.
    setString(RegistryRoot::CurrentUser, kHelpKey, "HelpDirectory", "/opt/help files/#1?/");
    help.Contents();
    // A relative folder is taken to be below the program.
    setString(RegistryRoot::CurrentUser, kHelpKey, "HelpDirectory", "Docs");
    help.Contents();

    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0].toLocalFile(), "/opt/help files/#1?/default.htm");
    EXPECT_EQ(query(opened[0], "topic"), "OrvanePHIntroducingTools");
    EXPECT_EQ(opened[1].toLocalFile(), programDir.path() + "/Docs/default.htm");
}

// ---- web pages ----------------------------------------------------------------

TEST_F(HelpMenuTest, UnconfiguredWebCommandsOpenTheirBundledPages)
{
    EXPECT_TRUE(help.Web("UPDATES"));
    EXPECT_TRUE(help.Web("faq"));
    EXPECT_TRUE(help.Web("Feedback"));
    EXPECT_FALSE(help.Web("ABOUT"));
    EXPECT_FALSE(help.Web(""));

    // No address of a site that does not exist yet: the pages beside the
    // program, one per command, each of them shipped.
    ASSERT_EQ(opened.size(), 3);
    const QStringList pages = {"Updates.htm", "FAQ.htm", "Feedback.htm"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(opened[i], QUrl::fromLocalFile(programDir.path() + "/Help/" + pages[i]));
        EXPECT_TRUE(QDir(BundledHelpDir()).exists(pages[i])) << pages[i].toStdString();
    }
    EXPECT_EQ(opened[0], help.WebAddress("updates"));
    EXPECT_TRUE(help.WebAddress("SELECTION").isEmpty());
}

TEST_F(HelpMenuTest, HelpTopicsOpenTheirOwnPagesWithoutAQuery)
{
    // With the pages installed, the topic's page opens straight away, so a
    // desktop that drops the query of a local address still shows it.
    const QString installed = programDir.path() + "/Help";
    ASSERT_TRUE(QDir().mkpath(installed));
    for (const char* page : {"default.htm", "QuarloHelp.htm"})
        ASSERT_TRUE(QFile::copy(BundledHelpDir() + "/" + page, installed + "/" + page));
    help.Selection();
    help.Contents();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(installed + "/QuarloHelp.htm"));
    EXPECT_EQ(opened[1], QUrl::fromLocalFile(installed + "/default.htm"));
    EXPECT_FALSE(opened[0].hasQuery());
}

TEST_F(HelpMenuTest, WebPagesFollowTheConfiguredAddresses)
{
    const QUrl defaultFaq = help.WebAddress("FAQ");
    setString(RegistryRoot::CurrentUser, kWebKey, "Updates", " https://downloads.example.net/quarlo ");
    setString(RegistryRoot::CurrentUser, kWebKey, "Feedback", "mailto:quarlo@example.net");
    // Not usable: the default stays.
    setString(RegistryRoot::CurrentUser, kWebKey, "FAQ", "file:///usr/bin/xterm");

    help.Web("UPDATES");
    help.Web("FAQ");
    help.Web("FEEDBACK");
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(opened[0], QUrl("https://downloads.example.net/quarlo"));
    EXPECT_EQ(opened[1], defaultFaq);
    EXPECT_EQ(opened[2], QUrl("mailto:quarlo@example.net"));

    for (const char* unusable : {"", "just some words", "javascript:alert(1)", "/relative/page"}) {
        setString(RegistryRoot::CurrentUser, kWebKey, "FAQ", unusable);
        EXPECT_EQ(help.WebAddress("FAQ"), defaultFaq) << unusable;
    }
}

// ---- tip of the day -----------------------------------------------------------

TEST_F(HelpMenuTest, TheStartUpSwitchIsReadFromTheFamilyKey)
{
    EXPECT_TRUE(help.TipsAtStartup()) << "missing switch";
    const std::pair<const char*, bool> texts[] = {
        {"False", false}, {"FALSE", false}, {"false", false}, {"0", false}, {"yes", false}, {"", false},
        {"True", true},   {"tRUE", true},   {"1", true},      {"-1", true}, {"2.5", true},
    };
    for (const auto& [text, on] : texts) {
        setString(RegistryRoot::LocalMachine, kTipKey, "ToolTips", text);
        EXPECT_EQ(help.TipsAtStartup(), on) << text;
    }

    // The same value under the current user, or under the program's own key,
    // is not the switch.
    setString(RegistryRoot::LocalMachine, kTipKey, "ToolTips", "True");
    setString(RegistryRoot::CurrentUser, kTipKey, "ToolTips", "False");
    setString(RegistryRoot::LocalMachine, "Software\\Vantorel\\Vantorel Quarlo\\Common", "ToolTips", "False");
    EXPECT_TRUE(help.TipsAtStartup());
}

TEST_F(HelpMenuTest, StartUpTipsRespectTheSwitchWhileTheMenuForcesThem)
{
    help.TipOfTheDay(false);
    EXPECT_EQ(shown, QStringList{"TipDialog"}) << "switch missing: on";

    setString(RegistryRoot::LocalMachine, kTipKey, "ToolTips", "False");
    shown.clear();
    help.TipOfTheDay(false);
    help.ShowTips("Orvanes", false);
    EXPECT_TRUE(shown.isEmpty());

    help.TipOfTheDay();
    help.ShowTips("orvanes", true);
    EXPECT_EQ(shown, (QStringList{"TipDialog", "TipDialog"}));

    // A family without tips shows nothing, even when asked for.
    shown.clear();
    help.ShowTips("Elsewhere", true);
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(HelpMenuTest, TheTipWindowShowsAndStoresTheSwitch)
{
    setString(RegistryRoot::LocalMachine, kTipKey, "ToolTips", "1");
    bool tickedWhenShown = false;
    onShow = [&](QDialog& dialog) {
        auto* box = dialog.findChild<QCheckBox*>("chkShowTips");
        ASSERT_NE(box, nullptr);
        tickedWhenShown = box->isChecked();
        box->click();
    };
    const int writesBefore = backend.writes;
    help.TipOfTheDay(false);
    EXPECT_TRUE(tickedWhenShown);
    EXPECT_EQ(backend.writes, writesBefore + 1) << "showing the stored state is no change";
    ASSERT_TRUE(tipSwitch());
    EXPECT_EQ(*tipSwitch(), RegistryValue::fromString("False"));

    // Switched off from the window itself: the next start shows nothing.
    shown.clear();
    help.TipOfTheDay(false);
    EXPECT_TRUE(shown.isEmpty());

    // From the menu it shows, unticked, and ticking switches tips back on.
    help.TipOfTheDay();
    EXPECT_FALSE(tickedWhenShown);
    EXPECT_EQ(*tipSwitch(), RegistryValue::fromString("True"));
    EXPECT_TRUE(help.TipsAtStartup());
}

TEST_F(HelpMenuTest, TheTipWindowWalksThroughADozenOrSoTips)
{
    QStringList seen;
    QStringList tips;
    QString title;
    onShow = [&](QDialog& dialog) {
        auto& window = static_cast<TipDialog&>(dialog);
        title = window.windowTitle();
        tips = window.Tips();
        auto* next = window.findChild<QPushButton*>("cmdNext");
        auto* text = window.findChild<QLabel*>("TipText");
        for (qsizetype i = 0; i <= tips.size(); ++i) {
            seen.append(text->text());
            next->click();
        }
    };
    help.TipOfTheDay();

    EXPECT_GE(tips.size(), 8);
    EXPECT_LE(tips.size(), 12);
    EXPECT_EQ(QSet<QString>(tips.begin(), tips.end()).size(), tips.size()) << "no tip twice";
    // Every tip comes round once, then the first again.
    ASSERT_EQ(seen.size(), tips.size() + 1);
    EXPECT_EQ(QSet<QString>(seen.begin(), seen.end()).size(), tips.size());
    EXPECT_EQ(seen.first(), seen.last());
    EXPECT_EQ(seen.first(), tips[QDate::currentDate().dayOfYear() % tips.size()]) << "today's tip first";
    EXPECT_TRUE(title.contains(DisplayTitle()));
    // The tip about the server file names the folder it is really in.
    EXPECT_EQ(tips.filter("quarlo.cfg").size(), 1);
    EXPECT_TRUE(tips.filter("quarlo.cfg").first().contains(QDir::toNativeSeparators(programDir.path())));
}

// ---- About box ----------------------------------------------------------------

TEST_F(HelpMenuTest, TheAboutBoxShowsTheBuildVersionAndTheWindowIcon)
{
    QString program;
    QString version;
    QString windowTitle;
    bool iconShown = false;
    onShow = [&](QDialog& dialog) {
        auto& about = static_cast<AboutDialog&>(dialog);
        program = about.ProgramName();
        version = about.VersionInfo();
        windowTitle = about.windowTitle();
        const QLabel* icon = about.findChild<QLabel*>("ProgIcon");
        iconShown = !icon->isHidden() && !icon->pixmap().isNull();
        EXPECT_EQ(about.findChild<QLabel*>("VersionInfo")->text(), version);
    };
    QPixmap red(32, 32);
    red.fill(Qt::red);
    help.About(QIcon(red));

    ASSERT_EQ(shown, QStringList{"AboutDialog"});
    EXPECT_EQ(program, "Quarlo");
    EXPECT_TRUE(windowTitle.contains("Quarlo"));
    EXPECT_TRUE(iconShown);

    QStringList parts = ProgramVersion().split('.');
    while (parts.size() < 4) parts.append("0");
    const QFileInfo executable(QCoreApplication::applicationFilePath());
    const QStringList lines = version.split('\n');
    ASSERT_GE(lines.size(), 3) << version.toStdString();
    EXPECT_EQ(lines[0], "Version " + parts[0] + "." + parts[1] + " " +
                            QLocale(QLocale::English).toString(executable.lastModified().date(), "MMMM yyyy"));
    EXPECT_EQ(lines[1].trimmed(), executable.completeBaseName() + " Version " + parts.join('.'));
    EXPECT_TRUE(lines[2].contains("Vantorel"));
    EXPECT_FALSE(version.contains("-1"));

    // A version text of the caller's own is shown as it is; no icon, no picture.
    help.About(QIcon(), "Custom build 7");
    EXPECT_EQ(version, "Custom build 7");
    EXPECT_FALSE(iconShown);
}

// ---- bundled pages ------------------------------------------------------------

TEST_F(HelpMenuTest, BundledPagesCoverEveryTopicAndLinkOnlyToPagesThatExist)
{
    const QDir pages(BundledHelpDir());
    ASSERT_TRUE(pages.exists("default.htm")) << pages.path().toStdString();

    QFile index(pages.filePath("default.htm"));
    ASSERT_TRUE(index.open(QIODevice::ReadOnly));
    const QString router = QString::fromUtf8(index.readAll());
    help.Contents();
    help.Selection();
    for (const QUrl& url : opened) {
        // default.htm sends each topic on to its page: "topic": "page.htm".
        const QRegularExpression route('"' + QRegularExpression::escape(query(url, "topic")) +
                                       R"re("\s*:\s*"([^"]+\.htm)")re");
        const QRegularExpressionMatch match = route.match(router);
        ASSERT_TRUE(match.hasMatch()) << query(url, "topic").toStdString();
        EXPECT_TRUE(pages.exists(match.captured(1))) << match.captured(1).toStdString();
    }

    // Every local link of every page leads somewhere.
    const QRegularExpression link(R"re((?:href|src)\s*=\s*"([^"#:]+)(?:#[^"]*)?")re");
    int pageCount = 0;
    for (const QString& name : pages.entryList({"*.htm"}, QDir::Files)) {
        ++pageCount;
        QFile page(pages.filePath(name));
        ASSERT_TRUE(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        EXPECT_TRUE(html.contains("<title>")) << name.toStdString();
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(pages.exists(target)) << name.toStdString() << " links to " << target.toStdString();
        }
    }
    EXPECT_GE(pageCount, 5);
}
