#pragma once

#include "ui/AddEditServer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTest>

// Works the server editor's widgets the way a user does, for the tests of
// the editor and of the settings dialog that runs it.
struct ServerEditorDriver {
    quarlo::AddEditServer& form;

    // Shows the editor and waits until it has the keyboard.
    bool open() const
    {
        form.show();
        form.activateWindow();
        return QTest::qWaitForWindowActive(&form, 20000);
    }

    QLineEdit* box(const char* name) const { return form.findChild<QLineEdit*>(name); }
    QTableWidget* table() const { return form.findChild<QTableWidget*>("Table"); }
    QPushButton* button(const char* name) const { return form.findChild<QPushButton*>(name); }

    // Clicks into the box, replaces its text by typing, and leaves with Tab.
    void retype(const char* name, const QString& text) const
    {
        QLineEdit* line = box(name);
        line->setFocus(Qt::MouseFocusReason);
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Delete);
        QTest::keyClicks(line, text);
        QTest::keyClick(line, Qt::Key_Tab);
    }

    // The open cell editor, or null.
    QLineEdit* cellEditor() const
    {
        for (QLineEdit* e : table()->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible()) return e;
        return nullptr;
    }

    // Opens the cell, replaces its text by typing (nothing typed empties it)
    // and ends the edit with key; false when no editor opened.
    bool editCell(int row, int column, const QString& text, Qt::Key key = Qt::Key_Return) const
    {
        QTableWidget* t = table();
        // Tab out of a cell may already have opened the next one.
        const bool open = cellEditor() && t->currentRow() == row && t->currentColumn() == column;
        if (!open) {
            t->setCurrentCell(row, column);
            t->editItem(t->item(row, column));
        }
        QLineEdit* editor = cellEditor();
        if (!editor) return false;
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, text);
        if (key != Qt::Key_unknown) QTest::keyClick(editor, key);
        QCoreApplication::processEvents(); // Enter commits on the next turn
        return true;
    }

    // One response row typed in the trailing row: response, Tab, definition, Enter.
    bool addCode(const QString& address, const QString& reason) const
    {
        const int last = table()->rowCount() - 1;
        return editCell(last, 0, address, Qt::Key_Tab) && editCell(last, 1, reason);
    }

    QString cell(int row, int column) const
    {
        const QTableWidgetItem* item = table()->item(row, column);
        return item ? item->text() : QString();
    }

    // The row's "Not a listing" box (column 2).
    bool notListing(int row) const
    {
        const QTableWidgetItem* item = table()->item(row, 2);
        return item && item->checkState() == Qt::Checked;
    }

    // Clicks the middle of the row's "Not a listing" box, found the way the
    // view's delegate finds it.
    void clickNotListing(int row) const
    {
        QTableWidget* t = table();
        QStyleOptionViewItem option;
        option.initFrom(t->viewport());
        option.rect = t->visualItemRect(t->item(row, 2));
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        option.widget = t;
        const QRect box = t->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, t);
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, box.center());
    }
};
