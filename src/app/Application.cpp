#include "app/Application.h"

#include "export/ExportEngine.h"
#include "export/ResultsSnapshot.h"

#include "common/AppInfo.h"
#include "common/ErrorText.h"
#include "common/IpRange.h"
#include "common/NameFunctions.h"
#include "common/TargetLimits.h"
#include "common/UserPrompts.h"
#include "scan/Addresslist.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QStandardPaths>

namespace quarlo {
namespace {

const QString kExtension = QStringLiteral(".BlackList");
// Skipped entries shown after a load; the rest are counted.
constexpr int kWarningsShown = 10;

} // namespace

Application::Application(quarlo::Addresslist& list, quarlo::Settings& settings, UserPrompts& prompts, QObject* parent)
    : QObject(parent), list_(list), settings_(settings), prompts_(&prompts)
{
}

QString Application::FileFilter()
{
    return tr("Address List (*%1)|*%1|All Files (*.*)|*.*").arg(kExtension);
}

QString Application::DialogFolder() const
{
    const QString name = list_.Filename();
    if (!name.isEmpty() && name.compare(kNewList, Qt::CaseInsensitive) != 0) {
        const QFileInfo file(name);
        if (file.isAbsolute() && file.dir().exists()) return file.absolutePath();
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
}

bool Application::SaveChangesPrompt(bool withCancel)
{
    if (!list_.Changed()) return true;
    const UserPrompts::Answer answer = prompts_->Message(
        tr("Do you want to save changes to %1 ?").arg(FileName(list_.Filename(), false)), DisplayTitle(),
        withCancel ? UserPrompts::Buttons::YesNoCancel : UserPrompts::Buttons::YesNo, UserPrompts::Icon::Question);
    if (answer == UserPrompts::Answer::Cancel) return false;
    // Deviation on purpose: whoever answered Yes wants the changes kept, so
    // a save that did not happen (dialog cancelled, write failed) stops the
    // command instead of throwing the list away.
    return answer != UserPrompts::Answer::Yes || FileSave();
}

void Application::ShowFileOpenDialog()
{
    if (!SaveChangesPrompt(false)) return;
    const std::optional<QString> path = prompts_->OpenFileIn(DialogFolder(), tr("Load Address List ..."), FileFilter());
    if (!path) return;
    OpenList(*path);
}

void Application::OpenList(const QString& filename)
{
    if (!list_.PrepareLoad(filename)) {
        // LastError names the whole path; the message names the file and
        // gives the reason below it.
        const QString reason = list_.LastErrorText().why;
        prompts_->Message(tr("Cannot load address list from %1").arg(FileName(filename, false))
                              + (reason.isEmpty() ? QString() : QStringLiteral("\n\n") + reason),
                          tr("Load Address List"), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
        return;
    }
    // A mistyped range in a file ("/16" for "/26") must not flood the list
    // unasked.
    const qint64 count = list_.PreparedCount();
    if (count > TargetLimits::kConfirmAbove
        && prompts_->Message(tr("Load all %1 addresses of %2?").arg(IpRange::Grouped(count), FileName(filename, false)),
                             tr("Load Address List"), UserPrompts::Buttons::YesNo, UserPrompts::Icon::Question)
            != UserPrompts::Answer::Yes) {
        list_.CancelLoad();
        return;
    }
    if (!runLoad()) return;
    const QStringList skipped = list_.LoadWarnings();
    if (skipped.isEmpty()) return;
    QString text = tr("These entries were not loaded:") + QStringLiteral("\n\n")
        + skipped.mid(0, kWarningsShown).join(QLatin1Char('\n'));
    if (skipped.size() > kWarningsShown)
        text += QStringLiteral("\n... and %1 more").arg(IpRange::Grouped(skipped.size() - kWarningsShown));
    prompts_->Message(text, tr("Load Address List"), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
}

void Application::FileOpen(const QString& filename)
{
    if (!SaveChangesPrompt(false)) return;
    if (list_.PrepareLoad(filename)) runLoad();
}

bool Application::runLoad()
{
    QEventLoop loop;
    bool finished = false;
    bool loaded = false;
    const QMetaObject::Connection done = connect(&list_, &Addresslist::LoadFinished, &loop, [&](bool ok) {
        finished = true;
        loaded = ok;
        loop.quit();
    });
    list_.StartLoad();
    loop.exec();
    disconnect(done);
    // The program is ending (the loop was told to quit from outside): the
    // list stays as it was.
    if (!finished) list_.CancelLoad();
    return loaded;
}

void Application::FileNew()
{
    if (!SaveChangesPrompt(false)) return;
    list_.setFilename(kNewList);
    list_.Clear();
    list_.setChanged(false);
}

void Application::FileClose()
{
    if (!SaveChangesPrompt(false)) return;
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
    // Deviation on purpose: a name typed without extension gets the list
    // extension, and an existing file is replaced only when the user says so
    // (No goes back to the dialog). Both are checked here rather than left to
    // the dialog, so the check covers the name as it is finally written.
    std::optional<QString> path;
    for (;;) {
        path = prompts_->SaveFileIn(DialogFolder(), tr("Save Address List as ..."), FileFilter());
        if (!path) return false;
        if (QFileInfo(*path).suffix().isEmpty()) {
            if (path->endsWith(QLatin1Char('.'))) path->chop(1);
            *path += kExtension;
        }
        if (!QFileInfo::exists(*path)) break;
        const UserPrompts::Answer replace =
            prompts_->Message(tr("%1 already exists.\nDo you want to replace it?").arg(FileName(*path, false)),
                              tr("Save Address List"), UserPrompts::Buttons::YesNo, UserPrompts::Icon::Exclamation);
        if (replace == UserPrompts::Answer::Yes) break;
    }
    const QString before = list_.Filename();
    if (!list_.Save(*path)) {
        // The list was not saved under the new name, so it keeps its old one.
        list_.setFilename(before);
        prompts_->Message(list_.LastError(), tr("Save Address List"), UserPrompts::Buttons::Ok,
                          UserPrompts::Icon::Exclamation);
        return false;
    }
    return true;
}

ExportEngine& Application::Exports() const
{
    return exports_ ? *exports_ : ExportEngine::Instance();
}

void Application::print(bool preview)
{
    if (!grid_) return;
    ExportEngine& engine = Exports();
    // Telling the user at once beats a print dialog with nothing to pick;
    // preview needs no printer.
    bool printToPdf = false;
    if (!preview && engine.NoPrinters(&printToPdf) && !printToPdf) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    engine.setTitle(ResultsSnapshot::Title(FileName(list_.Filename(), true), list_, settings_));
    engine.setOrientation(1);
    if (printToPdf) {
        // Named like the list; the save dialog says where it goes.
        engine.setTargetFilename(list_.Filename().isEmpty() ? QStringLiteral("Export") : list_.Filename());
        engine.ExportTable(grid_(), QStringLiteral("PDF"));
    } else {
        engine.PrintTable(grid_(), preview);
    }
    QApplication::restoreOverrideCursor();
}

void Application::PrintList()
{
    print(false);
}
void Application::PrintPreview()
{
    print(true);
}
QString Application::ScanRefusal() const
{
    if (configProblem_.isEmpty()) return QString();
    return Paragraphs(
        {tr("No scan was started: the blacklist servers could not be loaded, and without them every address would "
            "be called clean."),
         configProblem_.message.Boxed(),
         tr("Correct the file and start the program again, or set up the servers under Settings and save them.")});
}

void Application::StartScan()
{
    if (const QString refusal = ScanRefusal(); !refusal.isEmpty()) {
        prompts_->Message(refusal, DisplayTitle(), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
        return;
    }
    list_.StartScan();
}
void Application::StopScan()
{
    list_.StopScan();
}

} // namespace quarlo
