#include "app/DesktopSession.h"

namespace quarlo {

DesktopSession::DesktopSession(Registry& registry, UserPrompts& prompts, const Session::Options& options)
    : registry_(registry), prompts_(prompts), session_(registry, options),
      application_(session_.Addresslist(), session_.Settings(), prompts)
{
}

MainForm::Services DesktopSession::WindowServices(const QString& programDir, const QString& programName)
{
    return MainForm::Services{application_, session_.Addresslist(), session_.Settings(), session_.Lookup(),
                              registry_, prompts_, [this] { return session_.NewDirectDns(); }, programDir,
                              programName};
}

} // namespace quarlo
