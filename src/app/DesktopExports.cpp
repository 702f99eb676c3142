#include "app/DesktopExports.h"

#include "common/UserPrompts.h"
#include "export/ExportEngine.h"
#include "export/GridExportBackend.h"
#include "export/WidgetExportDialogs.h"

#include <QPrinterInfo>

#include <memory>

namespace quarlo {

void DesktopExports::Install(ExportEngine& engine, UserPrompts& prompts, const QString& programDir,
                             QWidget* dialogParent)
{
    engine.setProgramDir(programDir);
    engine.setBackendFactory(GridExportBackend::Factory(std::make_shared<WidgetExportDialogs>(dialogParent)));
    engine.setMessageSink([&prompts](const QString& text, const QString& title, ExportEngine::Icon icon) {
        prompts.Message(text, title, UserPrompts::Buttons::Ok,
                        icon == ExportEngine::Icon::Critical ? UserPrompts::Icon::Critical
                                                             : UserPrompts::Icon::Exclamation);
    });
    engine.setPrinterSource([] { return QPrinterInfo::availablePrinterNames(); });
    engine.setQuestionSink([&prompts](const QString& text, const QString& title) {
        return prompts.Message(text, title, UserPrompts::Buttons::YesNo, UserPrompts::Icon::Question)
            == UserPrompts::Answer::Yes;
    });
}

} // namespace quarlo
