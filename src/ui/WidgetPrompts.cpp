#include "ui/WidgetPrompts.h"
#include "ui/WindowText.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace quarlo {

namespace {

void setIcon(QMessageBox& box, UserPrompts::Icon icon)
{
    using Icon = UserPrompts::Icon;
    switch (icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
}

} // namespace

UserPrompts::Answer WidgetPrompts::Message(const QString& text, const QString& title, Buttons buttons, Icon icon)
{
    QMessageBox box(parent_);
    box.setWindowTitle(title);
    // The engine's messages (why a file was not read) come English, for
    // automation's sake: shown here in the user's language.
    box.setText(WindowText::Lines(text));
    setIcon(box, icon);
    switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: return buttons == Buttons::YesNoCancel ? Answer::Cancel : Answer::Ok;
    }
}

void WidgetPrompts::MessageWithOptOut(const QString& text, const QString& title, Icon icon, const QString& optOut,
                                      bool& optedOut)
{
    QMessageBox box(parent_);
    box.setObjectName(QStringLiteral("OptOutMessage"));
    box.setWindowTitle(title);
    // The engine's messages (why a file was not read) come English, for
    // automation's sake: shown here in the user's language.
    box.setText(WindowText::Lines(text));
    setIcon(box, icon);
    box.setStandardButtons(QMessageBox::Ok);
    auto* check = new QCheckBox(optOut, &box);
    check->setObjectName(QStringLiteral("chkOptOut"));
    box.setCheckBox(check);
    box.exec();
    optedOut = check->isChecked();
}

QString WidgetPrompts::QtFilter(const QString& filter)
{
    // Pairs of description and pattern; Qt shows the description, which
    // already names the pattern.
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString& pattern = parts[i + 1];
        if (!description.contains(QLatin1Char('('))) description += QStringLiteral(" (") + pattern + QLatin1Char(')');
        // "*.*" means every file to users of the list files; Qt spells it "*".
        description.replace(QStringLiteral("(*.*)"), QStringLiteral("(*)"));
        out << description;
    }
    return out.join(QStringLiteral(";;"));
}

std::optional<QString> WidgetPrompts::OpenFile(const QString& title, const QString& filter)
{
    return OpenFileIn(QString(), title, filter);
}

std::optional<QString> WidgetPrompts::SaveFile(const QString& title, const QString& filter)
{
    return SaveFileIn(QString(), title, filter);
}

std::optional<QString> WidgetPrompts::OpenFileIn(const QString& folder, const QString& title, const QString& filter)
{
    const QString path = QFileDialog::getOpenFileName(parent_, title, folder, QtFilter(filter));
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::optional<QString> WidgetPrompts::SaveFileIn(const QString& folder, const QString& title, const QString& filter)
{
    // The caller adds the extension and asks before replacing a file: it
    // sees the name that is finally written, which the dialog does not.
    const QString path = QFileDialog::getSaveFileName(parent_, title, folder, QtFilter(filter), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

} // namespace quarlo
