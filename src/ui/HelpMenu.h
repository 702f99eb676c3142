#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QDialog;
class QIcon;
class QWidget;

namespace quarlo {

class Registry;

// What the Help menu and the start-up tip do: the local help pages, the web
// pages of the program's site, the About box and the tip of the day. Pages
// open in the desktop's browser unless another opener is set; dialogs run
// modally unless another runner is set.
class HelpMenu {
public:
    // False when nothing could show the page.
    using UrlOpener = std::function<bool(const QUrl&)>;
    using DialogRunner = std::function<int(QDialog&)>;

    // programDir holds the bundled "Help" folder; parent owns the dialogs.
    HelpMenu(Registry& registry, QString programDir, QWidget* parent = nullptr);

    // Address of a help page: "file://" + help directory + "/default.htm?context="
    // + context + "&topic=" + topic. The help directory is the text of
    // "HelpDirectory" below HKEY_CURRENT_USER "Software\Vantorel\Orvane", or
    // <program dir>/Help when that is missing or empty.
    QString HelpURL(const QString& context, const QString& topic) const;
    // The page handed to the opener: the topic's own page when the help
    // directory has it, so the right page opens even where the desktop's
    // opener drops the query of a local address; else the HelpURL address,
    // whose contents page sends the topic on.
    QUrl HelpPage(const QString& context, const QString& topic) const;
    QString HelpDirectory() const;

    void Contents();  // help command CONTENTS: the help contents
    void Selection(); // help command SELECTION: the page on this program

    // Web commands UPDATES, FAQ and FEEDBACK (any letter case): open the
    // configured page. False, opening nothing, for any other command.
    bool Web(const QString& command);
    // The page a web command opens: the value named after the command
    // ("Updates", "FAQ", "Feedback") below HKEY_CURRENT_USER
    // "Software\Vantorel\Vantorel Quarlo\Web" when it holds a valid http,
    // https or mailto address, else the matching page bundled in
    // <program dir>/Help. Empty for other commands.
    QUrl WebAddress(const QString& command) const;

    // The About box with the given icon. An empty versionText shows the
    // running executable's version information (AboutVersionText).
    void About(const QIcon& icon, const QString& versionText = QString());
    static QString AboutVersionText();

    // The tips of a category; unless forced, only while tips at start-up are
    // switched on. Start-up calls TipOfTheDay(false), the menu TipOfTheDay().
    void ShowTips(const QString& category, bool force);
    void TipOfTheDay(bool force = true) { ShowTips(TipCategory(), force); }
    static QString TipCategory() { return QStringLiteral("Orvanes"); }
    bool TipsAtStartup() const;

    void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

private:
    Registry& registry_;
    QString programDir_;
    QWidget* parent_;
    UrlOpener openUrl_;
    DialogRunner runDialog_;
};

} // namespace quarlo
