#pragma once

#include "common/UserPrompts.h"

#include <deque>
#include <vector>

// Answers prompts from queues the test fills; records what was asked.
class ScriptedPrompts : public quarlo::UserPrompts {
public:
    struct Shown {
        QString text, title;
        Buttons buttons;
        Icon icon;
    };

    Answer Message(const QString& text, const QString& title, Buttons buttons, Icon icon) override
    {
        messages.push_back({text, title, buttons, icon});
        if (answers.empty()) return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void MessageWithOptOut(const QString& text, const QString& title, Icon icon, const QString& optOut,
                           bool& optedOut) override
    {
        messages.push_back({text, title, Buttons::Ok, icon});
        optOuts.push_back(optOut);
        optedOut = !optOutTicks.empty() && optOutTicks.front();
        if (!optOutTicks.empty()) optOutTicks.pop_front();
    }
    std::optional<QString> OpenFile(const QString& title, const QString& filter) override
    {
        dialogs.push_back(title + "|" + filter);
        return next();
    }
    std::optional<QString> SaveFile(const QString& title, const QString& filter) override
    {
        dialogs.push_back(title + "|" + filter);
        return next();
    }

    std::deque<Answer> answers;               // for Message
    std::deque<std::optional<QString>> paths; // for the file dialogs; empty: cancel
    std::vector<Shown> messages;
    // For MessageWithOptOut: whether the user ticks the box (none: not),
    // and the box's captions as shown.
    std::deque<bool> optOutTicks;
    std::vector<QString> optOuts;
    std::vector<QString> dialogs;

private:
    std::optional<QString> next()
    {
        if (paths.empty() || !paths.front()) {
            if (!paths.empty()) paths.pop_front();
            return std::nullopt;
        }
        const QString path = *paths.front();
        paths.pop_front();
        return path;
    }
};
