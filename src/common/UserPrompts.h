#pragma once

#include <QString>
#include <optional>

namespace quarlo {

// Every message box and file dialog of the program goes through this, so
// tests can answer prompts without a person.
class UserPrompts {
public:
    enum class Buttons { Ok, YesNo, YesNoCancel };
    enum class Icon { Information, Question, Exclamation, Critical };
    enum class Answer { Ok, Yes, No, Cancel };

    virtual ~UserPrompts() = default;

    virtual Answer Message(const QString& text, const QString& title, Buttons buttons, Icon icon) = 0;
    // An OK message with a check box (optOut its caption, such as "Don't
    // show this again"); optedOut tells whether the user ticked it. Prompts
    // without such a box show the plain message.
    virtual void MessageWithOptOut(const QString& text, const QString& title, Icon icon, const QString& optOut,
                                   bool& optedOut)
    {
        (void)optOut;
        optedOut = false;
        Message(text, title, Buttons::Ok, icon);
    }
    // The chosen path, or nothing when the user cancelled. filter uses the
    // "Description (*.ext)|*.ext|All Files (*.*)|*.*" form.
    virtual std::optional<QString> OpenFile(const QString& title, const QString& filter) = 0;
    virtual std::optional<QString> SaveFile(const QString& title, const QString& filter) = 0;
    // The same dialogs starting in folder; prompts that show no real dialog
    // may ignore it.
    virtual std::optional<QString> OpenFileIn(const QString& folder, const QString& title, const QString& filter)
    {
        (void)folder;
        return OpenFile(title, filter);
    }
    virtual std::optional<QString> SaveFileIn(const QString& folder, const QString& title, const QString& filter)
    {
        (void)folder;
        return SaveFile(title, filter);
    }
};

} // namespace quarlo
