#pragma once

#include "common/UserPrompts.h"

#include <functional>

namespace quarlo {

// Answers every prompt at once without a person: messages with OK (or Yes),
// file dialogs as cancelled. For runs that nobody watches (screenshots,
// benchmarks); onMessage sees each text.
class SilentPrompts : public UserPrompts {
public:
    std::function<void(const QString&)> onMessage;

    Answer Message(const QString& text, const QString&, Buttons buttons, Icon) override
    {
        if (onMessage) onMessage(text);
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Yes;
    }
    std::optional<QString> OpenFile(const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> SaveFile(const QString&, const QString&) override { return std::nullopt; }
};

} // namespace quarlo
