#pragma once

#include <QHash>
#include <QObject>
#include <QPersistentModelIndex>
#include <QTableWidget>
#include <functional>
#include <optional>

namespace quarlo {

// A table of typed entries that tells its form the start and the end of
// every cell edit, whichever way the editor closes (Enter, Tab, Escape, a
// click elsewhere, focus loss): every path runs through the view's
// commitData and closeEditor, so handling it there covers them all. The
// form may refuse an edit (the editor stays open with the typed text) or
// drop it.
class EntryGrid : public QTableWidget {
public:
    enum class Verdict { Accept, Refuse, Drop };

    std::function<void(int row)> editStarted;
    // Asked before a typed text reaches its cell; none: every edit is taken.
    std::function<Verdict(const QModelIndex& index, const QString& text)> acceptEdit;
    // The editor has closed; committed when its text reached the cell.
    std::function<void(const QModelIndex& index, bool committed)> editEnded;

    // textColumns: the first columns, the ones Tab moves through cell by
    // cell (row by row after the last); editOnMove opens the next cell's
    // editor too.
    EntryGrid(int columns, int textColumns, bool editOnMove, QWidget* parent);

    // Commits and closes any open editor, so that the tools and OK act on
    // what has been typed.
    void finishEditing();
    // Rows the grid asks room for, so a dialog opens showing that many.
    void setStartRows(int rows) { startRows_ = rows; }
    QSize sizeHint() const override;

    // Forgets the form: after this no hook is called.
    void detach();
    // The text in the open editor of a cell, or nothing when no editor is
    // open; typed text counts as work before it reaches its cell.
    std::optional<QString> openEditorText(QModelIndex* index = nullptr) const;

protected:
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    class Delegate;
    struct OpenEditor {
        QPersistentModelIndex index;
        bool refused = false;
        bool committed = false;
    };

    void editorOpened(QWidget* editor, const QModelIndex& index);

    int startRows_ = 10;
    const int textColumns_;
    const bool editOnMove_;
    QHash<QWidget*, OpenEditor> editors_;
    bool deciding_ = false;
    // The receiver of the editors' destroyed signals. An editor still open,
    // or closed but awaiting its deferred delete, is destroyed with the
    // view's children, long after the hash is gone; declared last, this
    // goes first and takes the connections with it.
    QObject editorWatch_;
};

} // namespace quarlo
