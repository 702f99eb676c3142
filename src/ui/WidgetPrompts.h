#pragma once

#include "common/UserPrompts.h"

class QWidget;

namespace quarlo {

// Message boxes and file dialogs on real widgets.
class WidgetPrompts : public UserPrompts {
public:
    explicit WidgetPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    Answer Message(const QString& text, const QString& title, Buttons buttons, Icon icon) override;
    void MessageWithOptOut(const QString& text, const QString& title, Icon icon, const QString& optOut,
                           bool& optedOut) override;
    std::optional<QString> OpenFile(const QString& title, const QString& filter) override;
    std::optional<QString> SaveFile(const QString& title, const QString& filter) override;
    std::optional<QString> OpenFileIn(const QString& folder, const QString& title, const QString& filter) override;
    std::optional<QString> SaveFileIn(const QString& folder, const QString& title, const QString& filter) override;

    // "Description (*.ext)|*.ext|All Files (*.*)|*.*" as a Qt name filter list.
    static QString QtFilter(const QString& filter);

private:
    QWidget* parent_;
};

} // namespace quarlo
