#include "ui/HelpMenu.h"

#include "common/AppInfo.h"
#include "common/FileVerInfo.h"
#include "common/Registry.h"
#include "ui/AboutDialog.h"
#include "ui/TipDialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QUrlQuery>

namespace quarlo {

namespace {

// Where the family's help pages may have been installed.
const QString kHelpKey = QStringLiteral("Software\\Vantorel\\Orvane");
const QString kHelpDirectoryValue = QStringLiteral("HelpDirectory");
const QString kHelpContext = QStringLiteral("OrvaneDoc");
const QString kContentsTopic = QStringLiteral("OrvanePHIntroducingTools");
const QString kProgramTopic = QStringLiteral("OrvanePHPingDiagnosticToolsQuarlo");

// Each topic's own page in the help directory.
struct TopicPage {
    const QString& topic;
    const char* page;
};
const TopicPage kTopicPages[] = {
    {kContentsTopic, "default.htm"},
    {kProgramTopic, "QuarloHelp.htm"},
};

// The site's pages are configuration: a value per command in the program's
// "Web" section (HKEY_CURRENT_USER, so a user or an installer can point them
// elsewhere). The site has no public address yet, so until one is configured
// the bundled help page on the same subject opens instead of an address that
// leads nowhere.
const QString kWebSection = QStringLiteral("Web");
struct WebPage {
    const char* command;
    const char* valueName;
    const char* bundledPage;
};
constexpr WebPage kWebPages[] = {
    {"UPDATES", "Updates", "Updates.htm"},
    {"FAQ", "FAQ", "FAQ.htm"},
    {"FEEDBACK", "Feedback", "Feedback.htm"},
};

// Only pages and mail go to the desktop: a stray value must not make the
// menu start a local program or script.
bool IsWebScheme(const QString& scheme)
{
    return scheme == QLatin1String("https") || scheme == QLatin1String("http") || scheme == QLatin1String("mailto");
}

// Identification texts of the About box.
const QString kAboutProgram = QStringLiteral("Quarlo");
const char* const kAboutSubTitle =
    QT_TRANSLATE_NOOP("quarlo::HelpMenu", "DNS blacklist checker for mail servers, firewalls and gateways");
const QString kAboutPackageName = QStringLiteral("Vantorel Orvanes");
const char* const kAboutPackage = QT_TRANSLATE_NOOP("quarlo::HelpMenu", "mail and network diagnostic tools");

} // namespace

HelpMenu::HelpMenu(Registry& registry, QString programDir, QWidget* parent)
    : registry_(registry), programDir_(std::move(programDir)), parent_(parent)
{
    openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    runDialog_ = [](QDialog& dialog) { return dialog.exec(); };
}

QString HelpMenu::HelpDirectory() const
{
    QString directory = registry_.GetValue(RegistryRoot::CurrentUser, kHelpKey, kHelpDirectoryValue, QString());
    if (directory.isEmpty()) return programDir_ + QStringLiteral("/Help");
    // A relative folder can only mean one below the program; a trailing
    // separator would double the one put before the page name.
    directory = QDir(programDir_).absoluteFilePath(directory);
    while (directory.size() > 1 && directory.endsWith(QLatin1Char('/'))) directory.chop(1);
    return directory;
}

QString HelpMenu::HelpURL(const QString& context, const QString& topic) const
{
    return QStringLiteral("file://") + HelpDirectory() + QStringLiteral("/default.htm?context=") + context
        + QStringLiteral("&topic=") + topic;
}

QUrl HelpMenu::HelpPage(const QString& context, const QString& topic) const
{
    const QString directory = HelpDirectory();
    for (const TopicPage& entry : kTopicPages) {
        if (entry.topic != topic) continue;
        const QString page = directory + QLatin1Char('/') + QString::fromLatin1(entry.page);
        if (QFileInfo(page).isFile()) return QUrl::fromLocalFile(page);
    }
    // Built from parts rather than parsed from HelpURL's text, so a folder
    // name with "#", "?" or "%" in it stays part of the path.
    QUrl url = QUrl::fromLocalFile(directory + QStringLiteral("/default.htm"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("context"), context);
    query.addQueryItem(QStringLiteral("topic"), topic);
    url.setQuery(query);
    return url;
}

void HelpMenu::Contents()
{
    openUrl_(HelpPage(kHelpContext, kContentsTopic));
}

void HelpMenu::Selection()
{
    openUrl_(HelpPage(kHelpContext, kProgramTopic));
}

QUrl HelpMenu::WebAddress(const QString& command) const
{
    for (const WebPage& page : kWebPages) {
        if (command.compare(QLatin1String(page.command), Qt::CaseInsensitive) != 0) continue;
        const QString configured =
            registry_.GetSetting(DisplayTitle(), kWebSection, QString::fromLatin1(page.valueName), QString(), true)
                .trimmed();
        QUrl url(configured, QUrl::StrictMode);
        if (!configured.isEmpty() && url.isValid() && IsWebScheme(url.scheme())) return url;
        return QUrl::fromLocalFile(programDir_ + QStringLiteral("/Help/") + QString::fromLatin1(page.bundledPage));
    }
    return {};
}

bool HelpMenu::Web(const QString& command)
{
    const QUrl url = WebAddress(command);
    if (url.isEmpty()) return false;
    openUrl_(url);
    return true;
}

QString HelpMenu::AboutVersionText()
{
    FileVerInfo info;
    info.GetExecutableInfo();
    const QFileInfo executable(QCoreApplication::applicationFilePath());
    const QString built =
        QLocale(QLocale::English).toString(executable.lastModified().date(), QStringLiteral("MMMM yyyy"));
    const QString versionLine =
        QStringLiteral("Version %1.%2 %3").arg(info.FileVersionMajor()).arg(info.FileVersionMinor()).arg(built);
    const QString productLine = QStringLiteral("%1 Version %2.%3.%4.%5  ")
                                    .arg(executable.completeBaseName())
                                    .arg(info.ProductVersionMajor())
                                    .arg(info.ProductVersionMinor())
                                    .arg(info.ProductVersionPrivate())
                                    .arg(info.ProductVersionBuild());
    return versionLine + QLatin1Char('\n') + productLine + QLatin1Char('\n') + info.LegalCopyright()
        + QLatin1Char('\n');
}

void HelpMenu::About(const QIcon& icon, const QString& versionText)
{
    AboutDialog dialog(parent_);
    dialog.setProgramName(kAboutProgram);
    dialog.setPackageName(kAboutPackageName);
    dialog.setPackage(QCoreApplication::translate("quarlo::HelpMenu", kAboutPackage));
    dialog.setSubTitle(QCoreApplication::translate("quarlo::HelpMenu", kAboutSubTitle));
    dialog.setVersionInfo(versionText.isEmpty() ? AboutVersionText() : versionText);
    dialog.setProgIcon(icon);
    dialog.setDialogRunner(runDialog_);
    dialog.Show();
}

bool HelpMenu::TipsAtStartup() const
{
    return TipDialog::ShowAtStartup(registry_);
}

void HelpMenu::ShowTips(const QString& category, bool force)
{
    if (!force && !TipsAtStartup()) return;
    TipDialog dialog(registry_, parent_);
    dialog.setProgramName(DisplayTitle());
    dialog.setPath(programDir_);
    dialog.setDialogRunner(runDialog_);
    dialog.Show(category);
}

} // namespace quarlo
