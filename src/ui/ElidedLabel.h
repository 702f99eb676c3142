#pragma once

#include <QLabel>

namespace quarlo {

// A one-line label for the status bar: a text longer than the room it has
// is cut with "…" instead of pushing its neighbours aside, and its tooltip
// then shows the whole text (above the label's own tooltip, if any). It
// asks for room for a few characters only, so a narrow window still lays
// out every widget beside it.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // Characters the label keeps room for however narrow the window.
    void setMinimumCharacters(int count) { minimumCharacters_ = count; }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    // Whether the text is cut at the label's current width.
    bool IsElided() const;
    // The text as drawn.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    int minimumCharacters_ = 12;
};

} // namespace quarlo
