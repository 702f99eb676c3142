#pragma once

#include "app/Application.h"
#include "scan/Session.h"
#include "ui/MainForm.h"

#include <QString>

namespace quarlo {

class Registry;
class UserPrompts;

// A session with the application object over it: what the desktop program,
// the screenshot tool and the window's benchmark build their window on.
class DesktopSession {
public:
    DesktopSession(Registry& registry, UserPrompts& prompts, const Session::Options& options);

    quarlo::Session& Session() { return session_; }
    quarlo::Application& Application() { return application_; }
    quarlo::Addresslist& Addresslist() { return session_.Addresslist(); }
    quarlo::Settings& Settings() { return session_.Settings(); }

    // What the main window needs; programDir holds the start page and help,
    // programName names the layout file.
    MainForm::Services WindowServices(const QString& programDir, const QString& programName);

private:
    Registry& registry_;
    UserPrompts& prompts_;
    quarlo::Session session_;
    quarlo::Application application_;
};

} // namespace quarlo
