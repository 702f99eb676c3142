#include "app/Application.h"

#include "app/UserPrompts.h"
#include "common/AppInfo.h"
#include "common/NameFunctions.h"
#include "scan/Addresslist.h"

#include <QApplication>
#include <QCursor>

namespace quarlo {
namespace {

const QString kExtension = QStringLiteral(".BlackList");

} // namespace

Application::Application(quarlo::Addresslist& list, quarlo::Settings& settings, UserPrompts& prompts, QObject* parent)
    : QObject(parent), list_(list), settings_(settings), prompts_(prompts)
{
}

QString Application::FileFilter()
{
    return QStringLiteral("Address List (*") + kExtension + QStringLiteral(")|*") + kExtension
           + QStringLiteral("|All Files (*.*)|*.*");
}

QString Application::DisplayName(const QString& path, bool stripExtension) { return FileName(path, stripExtension); }

void Application::savePrompt()
{
    if (!list_.Changed()) return;
    const UserPrompts::Answer answer =
        prompts_.Message(QStringLiteral("Do you want to save changes to ") + DisplayName(list_.Filename(), false)
                             + QStringLiteral(" ?"),
                         DisplayTitle(), UserPrompts::Buttons::YesNo, UserPrompts::Icon::Question);
    // There is no Cancel here: the command goes on whatever the save did.
    if (answer == UserPrompts::Answer::Yes) FileSave();
}

void Application::ShowFileOpenDialog()
{
    savePrompt();
    const std::optional<QString> path = prompts_.OpenFile(QStringLiteral("Load Address List ..."), FileFilter());
    if (!path) return;
    if (!list_.Load(*path)) {
        prompts_.Message(QStringLiteral("Cannot load address list from ") + DisplayName(*path, false),
                         QStringLiteral("Load Address List"), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
    }
}

void Application::FileOpen(const QString& filename)
{
    savePrompt();
    list_.Load(filename);
}

void Application::FileNew()
{
    savePrompt();
    list_.setFilename(kNewList);
    list_.Clear();
    list_.setChanged(false);
}

void Application::FileClose()
{
    savePrompt();
    list_.setFilename(QString());
    list_.Clear();
    list_.setChanged(false);
}

bool Application::FileSave(const QString& filename)
{
    if (!filename.isEmpty()) list_.setFilename(filename);
    if (list_.Filename().isEmpty() || list_.Filename().compare(kNewList, Qt::CaseInsensitive) == 0)
        return ShowFileSaveDialog();
    return list_.Save();
}

bool Application::ShowFileSaveDialog()
{
    const std::optional<QString> path = prompts_.SaveFile(QStringLiteral("Save Address List as ..."), FileFilter());
    if (!path) return false;
    if (!list_.Save(*path)) {
        prompts_.Message(list_.LastError(), QStringLiteral("Save Address List"), UserPrompts::Buttons::Ok,
                         UserPrompts::Icon::Exclamation);
        return false;
    }
    return true;
}

void Application::print(bool preview)
{
    if (!printHook_) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    printHook_(DisplayName(list_.Filename(), true) + QStringLiteral(" Blacklist scan results"), preview);
    QApplication::restoreOverrideCursor();
}

void Application::PrintList() { print(false); }
void Application::PrintPreview() { print(true); }
void Application::StartScan() { list_.StartScan(); }
void Application::StopScan() { list_.StopScan(); }

} // namespace quarlo
