#pragma once

#include <QDialog>
#include <QIcon>
#include <functional>

class QLabel;

namespace quarlo {

// The About box: the program's icon, its identification texts and the
// version information, with one button to close it.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    using DialogRunner = std::function<int(QDialog&)>;

    explicit AboutDialog(QWidget* parent = nullptr);

    QString ProgramName() const { return programName_; }
    void setProgramName(const QString& name);
    QString PackageName() const { return packageName_; }
    void setPackageName(const QString& name);
    QString Package() const { return package_; }
    void setPackage(const QString& package);
    QString SubTitle() const { return subTitle_; }
    void setSubTitle(const QString& subTitle);
    // Several lines, shown as they are.
    QString VersionInfo() const { return versionInfo_; }
    void setVersionInfo(const QString& text);
    QIcon ProgIcon() const { return icon_; }
    void setProgIcon(const QIcon& icon);

    void Show() { runDialog_(*this); }
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

private:
    void showPackage();

    QString programName_;
    QString packageName_;
    QString package_;
    QString subTitle_;
    QString versionInfo_;
    QIcon icon_;
    QLabel* iconLabel_ = nullptr;
    QLabel* programLabel_ = nullptr;
    QLabel* subTitleLabel_ = nullptr;
    QLabel* packageLabel_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    DialogRunner runDialog_;
};

} // namespace quarlo
