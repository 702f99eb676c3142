#include "ui/TipDialog.h"

#include "common/Registry.h"

#include <QCheckBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quarlo {

namespace {

// The switch is shared by every program of the family, hence the family key
// rather than the program's own.
const QString kFamilyApp = QStringLiteral("Vantorel 2003");
const QString kFamilySection = QStringLiteral("Common");
const QString kSwitchName = QStringLiteral("ToolTips");

} // namespace

TipDialog::TipDialog(Registry& registry, QWidget* parent) : QDialog(parent), registry_(registry)
{
    setObjectName(QStringLiteral("TipDialog"));
    setWindowTitle(tr("Tip of the Day"));
    runDialog_ = [](QDialog& dialog) { return dialog.exec(); };

    auto* bulb = new QLabel(this);
    bulb->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48));
    bulb->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* heading = new QLabel(tr("Did you know ..."), this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.3);
    heading->setFont(headingFont);

    tipText_ = new QLabel(this);
    tipText_->setObjectName(QStringLiteral("TipText"));
    tipText_->setWordWrap(true);
    tipText_->setTextFormat(Qt::PlainText);
    tipText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tipText_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    tipText_->setMinimumSize(380, 110);

    auto* textColumn = new QVBoxLayout;
    textColumn->addWidget(heading);
    textColumn->addWidget(tipText_, 1);
    auto* body = new QHBoxLayout;
    body->addWidget(bulb);
    body->addLayout(textColumn, 1);

    showAtStartup_ = new QCheckBox(tr("&Show tips at start-up"), this);
    showAtStartup_->setObjectName(QStringLiteral("chkShowTips"));
    connect(showAtStartup_, &QCheckBox::toggled, this, [this](bool on) { SetShowAtStartup(registry_, on); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* next = buttons->addButton(tr("&Next Tip"), QDialogButtonBox::ActionRole);
    next->setObjectName(QStringLiteral("cmdNext"));
    connect(next, &QPushButton::clicked, this, &TipDialog::NextTip);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(showAtStartup_);
    bottom->addStretch(1);
    bottom->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(bottom);
}

void TipDialog::setProgramName(const QString& name)
{
    programName_ = name;
    setWindowTitle(name.isEmpty() ? tr("Tip of the Day") : tr("Tip of the Day - %1").arg(name));
}

bool TipDialog::Show(const QString& category)
{
    tips_ = CategoryTips(category, path_);
    if (tips_.isEmpty()) return false;
    // Day by day the window opens on a different tip.
    current_ = QDate::currentDate().dayOfYear() % static_cast<int>(tips_.size());
    showCurrent();
    {
        // Showing the stored state is no change of it.
        const QSignalBlocker quiet(showAtStartup_);
        showAtStartup_->setChecked(ShowAtStartup(registry_));
    }
    runDialog_(*this);
    return true;
}

QString TipDialog::CurrentText() const
{
    return tips_.value(current_);
}

void TipDialog::NextTip()
{
    if (tips_.isEmpty()) return;
    current_ = (current_ + 1) % static_cast<int>(tips_.size());
    showCurrent();
}

void TipDialog::showCurrent()
{
    tipText_->setText(CurrentText());
}

QStringList TipDialog::CategoryTips(const QString& category, const QString& programDir)
{
    if (category.compare(QLatin1String("Orvanes"), Qt::CaseInsensitive) != 0) return {};
    const QString configPlace =
        programDir.isEmpty() ? tr("the program's folder") : QDir::toNativeSeparators(programDir);
    return {
        tr("You can paste a whole list into Add New Addresses: copy host names, IP addresses or e-mail "
           "addresses, one per line, and press Ctrl+V. Each entry turns green when it resolves and red "
           "when it does not, so typing errors show before you scan."),
        tr("For an e-mail address such as postmaster@example.com, Quarlo checks the mail exchanger (MX) "
           "of example.com, the server that receives that domain's mail."),
        tr("An answer such as 127.255.255.254 is not a listing. Several blacklists refuse queries that "
           "reach them through large public DNS resolvers and say so with a special answer. Ask through "
           "your own resolver for results you can trust."),
        tr("Click a server's home page in the URL column of the results to read that blacklist's listing "
           "policy and find its removal (delisting) request form."),
        tr("Select result rows and press Ctrl+C to copy them as text, ready to paste into a message to "
           "your provider or to a blacklist operator."),
        tr("Many addresses without an answer, or scans that stall? Lower Maximum Concurrent Queries in "
           "Settings: some routers and resolvers drop queries when too many are open at once."),
        tr("Settings decides how far results unfold by themselves: not at all, down to the servers that "
           "list an address, or down to every reason and explanation text."),
        tr("Some blacklists pack several reasons into one answer, one bit each: 127.0.0.24 means codes 8 "
           "and 16 together. Tick Bit Map Response Codes in the server's editor and Quarlo names every "
           "reason."),
        tr("Save the addresses you look after as a .BlackList file. Open it again later and press F5 to "
           "check all of them anew."),
        tr("quarlo-check runs the same checks from a terminal or a scheduled job, for example "
           "\"quarlo-check --format csv mail.example.com 192.0.2.7\". It ends with status 1 when any "
           "address is listed."),
        tr("Your blacklist servers are kept in the file quarlo.cfg in %1. Copy it to take your server "
           "list to another computer.")
            .arg(configPlace),
        tr("Clear Auto Start Scan in Add New Addresses to add several batches of addresses before a scan "
           "starts."),
    };
}

bool TipDialog::ShowAtStartup(Registry& registry)
{
    return SwitchValue(registry.GetSetting(kFamilyApp, kFamilySection, kSwitchName, true, false));
}

void TipDialog::SetShowAtStartup(Registry& registry, bool show)
{
    registry.SaveSetting(kFamilyApp, kFamilySection, kSwitchName, show, false);
}

bool TipDialog::SwitchValue(const QString& text)
{
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    bool isNumber = false;
    const double number = word.toDouble(&isNumber);
    return isNumber && number != 0;
}

} // namespace quarlo
