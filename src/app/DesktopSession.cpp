#include "app/DesktopSession.h"

namespace quarlo {

DesktopSession::DesktopSession(Registry& registry, UserPrompts& prompts, const Session::Options& options)
    : registry_(registry), prompts_(prompts), session_(registry, options),
      application_(session_.Addresslist(), session_.Settings(), prompts)
{
    if (const ErrorText& error = session_.LastErrorText(); !error.isEmpty()) {
        // An installed copy saves to the user's own file: a damaged shared
        // file is then never written over.
        const bool savedOver = options.savePath.isEmpty() || options.savePath == options.configPath;
        application_.setServerConfigurationProblem({error, savedOver ? options.configPath : QString()});
    }
}

MainForm::Services DesktopSession::WindowServices(const QString& programDir, const QString& programName)
{
    return MainForm::Services{
        application_, session_.Addresslist(), session_.Settings(), registry_, prompts_, programDir, programName};
}

} // namespace quarlo
