#include "ui/EntryGrid.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace quarlo {

class EntryGrid::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(EntryGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor) grid_->editorOpened(editor, index);
        return editor;
    }

private:
    EntryGrid* grid_;
};

EntryGrid::EntryGrid(int columns, int textColumns, bool editOnMove, QWidget* parent)
    : QTableWidget(0, columns, parent), textColumns_(textColumns), editOnMove_(editOnMove)
{
    setItemDelegate(new Delegate(this));
}

QSize EntryGrid::sizeHint() const
{
    const QHeaderView* header = horizontalHeader();
    const int headerHeight = header->isHidden() ? 0 : header->sizeHint().height();
    const int rows = verticalHeader()->defaultSectionSize() * startRows_;
    return {QTableWidget::sizeHint().width(), 2 * frameWidth() + headerHeight + rows};
}

void EntryGrid::finishEditing()
{
    const auto editors = editors_.keys();
    for (QWidget* editor : editors) {
        const auto found = editors_.constFind(editor);
        if (found == editors_.cend() || !found->index.isValid()) continue;
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void EntryGrid::detach()
{
    editStarted = nullptr;
    acceptEdit = nullptr;
    editEnded = nullptr;
}

std::optional<QString> EntryGrid::openEditorText(QModelIndex* index) const
{
    for (auto it = editors_.cbegin(); it != editors_.cend(); ++it) {
        if (!it->index.isValid()) continue;
        if (index) *index = it->index;
        const auto* line = qobject_cast<const QLineEdit*>(it.key());
        return line ? line->text() : QString();
    }
    return std::nullopt;
}

void EntryGrid::editorOpened(QWidget* editor, const QModelIndex& index)
{
    editors_.insert(editor, OpenEditor{QPersistentModelIndex(index)});
    QObject::connect(editor, &QObject::destroyed, &editorWatch_, [this, editor] { editors_.remove(editor); });
    if (editStarted) editStarted(index.row());
}

void EntryGrid::commitData(QWidget* editor)
{
    const auto found = editors_.find(editor);
    if (found == editors_.end() || !found->index.isValid()) {
        QTableWidget::commitData(editor);
        return;
    }
    // A message box takes the focus from the editor, which tries to commit
    // and close again; the first attempt is still being decided.
    if (deciding_) return;
    auto* line = qobject_cast<QLineEdit*>(editor);
    const QPersistentModelIndex index = found->index;
    deciding_ = true;
    const Verdict verdict = acceptEdit ? acceptEdit(index, line ? line->text() : QString()) : Verdict::Accept;
    deciding_ = false;
    // The decision may have closed the editor (a message box's focus change).
    const auto again = editors_.find(editor);
    if (again == editors_.end()) return;
    if (verdict == Verdict::Refuse) {
        again->refused = true;
        return;
    }
    if (verdict == Verdict::Drop) return; // closeEditor then closes it uncommitted
    again->committed = true;
    QTableWidget::commitData(editor);
}

void EntryGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    const auto found = editors_.find(editor);
    if (found == editors_.end()) {
        QTableWidget::closeEditor(editor, hint);
        return;
    }
    if (deciding_) return;
    const QPersistentModelIndex index = found->index;
    if (found->refused && index.isValid()) {
        found->refused = false;
        // The view may already have moved on to the clicked cell.
        if (currentIndex() != QModelIndex(index)) setCurrentIndex(index);
        editor->setFocus();
        return;
    }
    const bool committed = found->committed;
    editors_.erase(found);
    if (!index.isValid()) return; // the view already dropped the editor of a removed row

    // Moving on after Tab is done here, after the entry has been handled:
    // the handling may remove the row or move the cursor away, and the view
    // would otherwise open an editor on a row that is gone.
    const bool next = hint == QAbstractItemDelegate::EditNextItem;
    const bool previous = hint == QAbstractItemDelegate::EditPreviousItem;
    QTableWidget::closeEditor(editor, next || previous ? QAbstractItemDelegate::NoHint : hint);
    if (editEnded) editEnded(index, committed);
    if ((next || previous) && index.isValid() && currentIndex() == QModelIndex(index)) {
        const int cell = index.row() * textColumns_ + index.column() + (next ? 1 : -1);
        if (index.column() < textColumns_ && cell >= 0 && cell < rowCount() * textColumns_) {
            const QModelIndex target = model()->index(cell / textColumns_, cell % textColumns_);
            setCurrentIndex(target);
            if (editOnMove_) edit(target);
        }
    }
}

} // namespace quarlo
