#include "export/WidgetExportDialogs.h"

#include "common/AppInfo.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace quarlo {

namespace {

// The caller may show the busy pointer around a whole print or export; a
// dialog in the middle of it wants the normal one.
class NormalPointer {
public:
    NormalPointer() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~NormalPointer() { QApplication::restoreOverrideCursor(); }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;
};

} // namespace

WidgetExportDialogs::WidgetExportDialogs(QWidget* parent) : parent_(parent) {}

QWidget* WidgetExportDialogs::owner() const
{
    return parent_ ? parent_.data() : QApplication::activeWindow();
}

QString WidgetExportDialogs::SaveFileName(const QString& caption, const QString& suggestedPath, const QString& filter)
{
    const NormalPointer pointer;
    QFileDialog dialog(owner(), caption, QFileInfo(suggestedPath).absolutePath(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension gets the format's one ("*.html").
    const QRegularExpressionMatch first = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    if (first.hasMatch()) dialog.setDefaultSuffix(first.captured(1));
    dialog.selectFile(QFileInfo(suggestedPath).fileName());
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

bool WidgetExportDialogs::ChooseMethod(const QString& caption, const QList<ExportBackend::Choice>& choices,
                                       QString& inOut)
{
    if (choices.isEmpty()) return false;
    QStringList captions;
    int current = 0;
    for (const auto& choice : choices) {
        if (choice.key.compare(inOut, Qt::CaseInsensitive) == 0) current = captions.size();
        captions << choice.caption;
    }
    bool ok = false;
    const NormalPointer pointer;
    const QString picked =
        QInputDialog::getItem(owner(), caption, QStringLiteral("Format:"), captions, current, false, &ok);
    if (!ok) return false;
    const qsizetype index = captions.indexOf(picked);
    if (index < 0) return false;
    inOut = choices[index].key;
    return true;
}

bool WidgetExportDialogs::SetUpPrinter(QPrinter& printer)
{
    const NormalPointer pointer;
    QPrintDialog dialog(&printer, owner());
    return dialog.exec() == QDialog::Accepted;
}

bool WidgetExportDialogs::Preview(QPrinter& printer, const std::function<void(QPrinter*)>& paint)
{
    const NormalPointer pointer;
    QPrintPreviewDialog dialog(&printer, owner());
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&paint](QPrinter* p) { paint(p); });
    // A report is read down the page: it opens as wide as the window, not
    // as a whole page shrunk to a third of its size. The dialog's own
    // action keeps its toolbar in step.
    QTimer::singleShot(0, &dialog, [&dialog] {
        if (auto* fitWidth = dialog.findChild<QAction*>(QStringLiteral("fitWidthAction")))
            fitWidth->trigger();
        else if (auto* preview = dialog.findChild<QPrintPreviewWidget*>())
            preview->fitToWidth();
    });
    dialog.exec();
    return true;
}

void WidgetExportDialogs::Message(const QString& text, Severity severity)
{
    const NormalPointer pointer;
    switch (severity) {
    case Severity::Information: QMessageBox::information(owner(), DisplayTitle(), text); break;
    case Severity::Warning: QMessageBox::warning(owner(), DisplayTitle(), text); break;
    case Severity::Critical: QMessageBox::critical(owner(), DisplayTitle(), text); break;
    }
}

bool WidgetExportDialogs::StartProgram(const QString& program, const QStringList& args, QString* error)
{
    const QString found = QFileInfo(program).isAbsolute() ? program : QStandardPaths::findExecutable(program);
    if (found.isEmpty() || !QFileInfo(found).isExecutable()) {
        if (error) *error = QStringLiteral("%1 is not installed").arg(program);
        return false;
    }
    if (QProcess::startDetached(found, args)) return true;
    if (error) *error = QStringLiteral("%1 could not be started").arg(program);
    return false;
}

QString WidgetExportDialogs::RunAndRead(const QString& program, const QStringList& args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, args, QIODevice::ReadOnly);
    if (!process.waitForStarted(10000)) return {};
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

int WidgetExportDialogs::RunProgram(const QString& program, const QStringList& args, QString* error)
{
    const QString found = QFileInfo(program).isAbsolute() ? program : QStandardPaths::findExecutable(program);
    if (found.isEmpty() || !QFileInfo(found).isExecutable()) {
        if (error) *error = QStringLiteral("%1 is not installed").arg(program);
        return -1;
    }
    // Owned by the application once started: a program still running
    // after the wait (a mail composer) must not be killed with this call.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start(found, args, QIODevice::NotOpen);
    if (!process->waitForStarted(10000)) {
        if (error) *error = QStringLiteral("%1 could not be started: %2").arg(program, process->errorString());
        process->deleteLater();
        return -1;
    }
    if (!process->waitForFinished(kProgramWaitMs)) return 0;
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : 1;
}

void WidgetExportDialogs::FileProblem(const QString& text, const QString& path)
{
    const NormalPointer pointer;
    QMessageBox box(QMessageBox::Warning, DisplayTitle(), text, QMessageBox::Ok, owner());
    QPushButton* show = box.addButton(QStringLiteral("Show in &Folder"), QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    if (box.clickedButton() == show) QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

} // namespace quarlo
