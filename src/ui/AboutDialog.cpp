#include "ui/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quarlo {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(tr("About"));
    runDialog_ = [](QDialog& dialog) { return dialog.exec(); };

    iconLabel_ = new QLabel(this);
    iconLabel_->setObjectName(QStringLiteral("ProgIcon"));
    iconLabel_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    iconLabel_->setMinimumWidth(72);

    programLabel_ = makeLabel(this, "ProgramName");
    QFont big = programLabel_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    programLabel_->setFont(big);
    subTitleLabel_ = makeLabel(this, "SubTitle");
    packageLabel_ = makeLabel(this, "Package");
    versionLabel_ = makeLabel(this, "VersionInfo");
    // People copy the version into support requests.
    versionLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    versionLabel_->setMinimumWidth(320);

    auto* texts = new QVBoxLayout;
    texts->addWidget(programLabel_);
    texts->addWidget(subTitleLabel_);
    texts->addSpacing(8);
    texts->addWidget(packageLabel_);
    texts->addSpacing(8);
    texts->addWidget(versionLabel_);
    texts->addStretch(1);

    auto* body = new QHBoxLayout;
    body->addWidget(iconLabel_);
    body->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(buttons);
    iconLabel_->hide();
}

void AboutDialog::setProgramName(const QString& name)
{
    programName_ = name;
    programLabel_->setText(name);
    setWindowTitle(name.isEmpty() ? tr("About") : tr("About %1").arg(name));
}

void AboutDialog::setPackageName(const QString& name)
{
    packageName_ = name;
    showPackage();
}

void AboutDialog::setPackage(const QString& package)
{
    package_ = package;
    showPackage();
}

// One line: "part of <package name>: <package>", or whichever of the two is set.
void AboutDialog::showPackage()
{
    QString text;
    if (!packageName_.isEmpty() && !package_.isEmpty())
        text = tr("Part of %1: %2").arg(packageName_, package_);
    else if (!packageName_.isEmpty())
        text = tr("Part of %1").arg(packageName_);
    else
        text = package_;
    packageLabel_->setText(text);
    packageLabel_->setVisible(!text.isEmpty());
}

void AboutDialog::setSubTitle(const QString& subTitle)
{
    subTitle_ = subTitle;
    subTitleLabel_->setText(subTitle);
    subTitleLabel_->setVisible(!subTitle.isEmpty());
}

void AboutDialog::setVersionInfo(const QString& text)
{
    versionInfo_ = text;
    versionLabel_->setText(text);
}

void AboutDialog::setProgIcon(const QIcon& icon)
{
    icon_ = icon;
    iconLabel_->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(64, 64));
    iconLabel_->setVisible(!icon.isNull());
}

} // namespace quarlo
