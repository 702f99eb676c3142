#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class QCheckBox;
class QLabel;

namespace quarlo {

class Registry;

// The tip-of-the-day window. It owns the family-wide "show tips at start-up"
// switch: it shows the switch's state and stores every change at once, so
// the choice holds even when the window is closed some other way.
class TipDialog : public QDialog {
    Q_OBJECT
public:
    using DialogRunner = std::function<int(QDialog&)>;

    explicit TipDialog(Registry& registry, QWidget* parent = nullptr);

    // Titles the window.
    QString ProgramName() const { return programName_; }
    void setProgramName(const QString& name);
    // The program directory; tips about files beside the program name it.
    QString Path() const { return path_; }
    void setPath(const QString& path) { path_ = path; }

    // Shows the category's tips, starting with the tip of the current day.
    // False, showing nothing, when the category has no tips.
    bool Show(const QString& category);
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    QStringList Tips() const { return tips_; }
    int CurrentTip() const { return current_; }
    QString CurrentText() const;
    void NextTip();

    // The tips of a category (compared without regard to letter case) for a
    // program in programDir; none for an unknown category.
    static QStringList CategoryTips(const QString& category, const QString& programDir);

    // The start-up switch: "ToolTips" below HKEY_LOCAL_MACHINE
    // "Software\Vantorel\Vantorel 2003\Common", text, True when missing.
    static bool ShowAtStartup(Registry& registry);
    static void SetShowAtStartup(Registry& registry, bool show);
    // Reading of the switch's text: True or False in any letter case, or a
    // number (0 is False, any other True); any other text is False.
    static bool SwitchValue(const QString& text);

private:
    void showCurrent();

    Registry& registry_;
    QString programName_;
    QString path_;
    QStringList tips_;
    int current_ = 0;
    QLabel* tipText_ = nullptr;
    QCheckBox* showAtStartup_ = nullptr;
    DialogRunner runDialog_;
};

} // namespace quarlo
