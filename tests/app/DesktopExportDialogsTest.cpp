// The export engine's desktop dialogs as a person meets them: the print
// preview, the message about a file that could not be handed on, and the
// mail helper's verdict.

#include "app/ModalDialogs.h"
#include "export/WidgetExportDialogs.h"
#include "support/TestFiles.h"

#include <QAbstractButton>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

// A report is read down the page: the preview opens as wide as its window,
// not as a whole page at a third of its size.
TEST(DesktopExportDialogs, PreviewOpensAtTheWindowsWidth)
{
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("preview.pdf"));
    WidgetExportDialogs dialogs;
    ModalDialogs modal;
    QPrintPreviewWidget::ZoomMode mode = QPrintPreviewWidget::CustomZoom;
    modal.expect([&](QWidget& window) {
        auto* preview = window.findChild<QPrintPreviewWidget*>();
        ASSERT_TRUE(preview);
        // The zoom is set once the dialog runs; look again a moment later.
        QTimer::singleShot(100, &window, [&, preview, w = &window] {
            mode = preview->zoomMode();
            qobject_cast<QDialog*>(w)->reject();
        });
    });
    int painted = 0;
    EXPECT_TRUE(dialogs.Preview(printer, [&](QPrinter* target) {
        QPainter painter(target);
        painter.drawText(100, 100, QStringLiteral("page"));
        ++painted;
    }));
    EXPECT_EQ(mode, QPrintPreviewWidget::FitToWidth);
    EXPECT_GT(painted, 0);
    EXPECT_TRUE(modal.allHandled());
}

// A file that could not be handed on is named, and the message offers to
// show it in its folder.
TEST(DesktopExportDialogs, AFileProblemOffersShowInFolder)
{
    WidgetExportDialogs dialogs;
    ModalDialogs modal;
    QString text;
    QStringList buttons;
    modal.expect([&](QWidget& window) {
        auto* box = qobject_cast<QMessageBox*>(&window);
        ASSERT_TRUE(box);
        text = box->text();
        for (QAbstractButton* button : box->buttons()) buttons << button->text();
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.FileProblem(QStringLiteral("No mail program is set up. The exported file is \"/tmp/x/Sample.txt\"."),
                        QStringLiteral("/tmp/x/Sample.txt"));
    EXPECT_TRUE(text.contains("/tmp/x/Sample.txt"));
    EXPECT_TRUE(buttons.contains("Show in &Folder")) << buttons.join(' ').toStdString();
    EXPECT_TRUE(modal.allHandled());
}

// The mail helper's exit code reaches the engine, so a helper that finds no
// mail program is not taken for success.
TEST(DesktopExportDialogs, RunProgramGivesTheProgramsVerdict)
{
    QTemporaryDir dir;
    const QString helper = dir.filePath("mail-helper");
    spit(helper, "#!/bin/sh\nexit 3\n");
    QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    WidgetExportDialogs dialogs;
    QString error;
    EXPECT_EQ(dialogs.RunProgram(helper, {"--attach", "/tmp/x"}, &error), 3);
    EXPECT_EQ(dialogs.RunProgram(dir.filePath("missing-helper"), {}, &error), -1);
    EXPECT_TRUE(error.contains("missing-helper")) << error.toStdString();
}
