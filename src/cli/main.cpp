// quarlo-check: checks addresses against the configured DNS blacklists from
// the command line, on the same engine as the desktop program.
#include "cli/CheckArguments.h"
#include "cli/CheckMessages.h"
#include "cli/CheckModes.h"
#include "cli/CheckOptionTable.h"
#include "cli/HistoryRun.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace quarlo;

namespace {

// Whether the arguments ask for a PDF, which needs fonts and so a GUI
// application object (on the offscreen platform unless one is chosen).
bool wantsPdf(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.compare("--format=pdf", Qt::CaseInsensitive) == 0) return true;
        if (arg == "--format" && i + 1 < argc && QByteArray(argv[i + 1]).compare("pdf", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    // Qt's own event loop rather than GLib's: a scan wakes the loop for
    // every round of replies, and GLib's costs a few per cent of a large
    // scan. A user's own choice stands.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    if (!wantsPdf(argc, argv)) return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
}

// --verbose: every layer's traces on standard error, unless the user's
// QT_LOGGING_RULES already say which.
void traceEveryLayer()
{
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("quarlo.*.debug=true"));
}

} // namespace

int main(int argc, char** argv)
{
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarlo-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARLO_VERSION));
    const CheckCommand command = CheckArguments::Parse(QCoreApplication::arguments(),
                                                       {.executable = QCoreApplication::applicationFilePath(),
                                                        .stdinIsTerminal = isatty(STDIN_FILENO) != 0,
                                                        .stderrIsTerminal = isatty(STDERR_FILENO) != 0});
    const CheckMessages messages(command.usageExit);
    if (command.verbose) traceEveryLayer();
    switch (command.action) {
    case CheckCommand::Action::Fail: return messages.Fail(command.error);
    case CheckCommand::Action::Help: std::fputs(qPrintable(command.text), stdout); return 0;
    case CheckCommand::Action::Version: std::printf("quarlo-check %s\n", QUARLO_VERSION); return 0;
    case CheckCommand::Action::BashCompletion:
        std::fputs(CheckOptionTable::BashCompletion().toUtf8().constData(), stdout);
        return 0;
    case CheckCommand::Action::HistoryPrune: return HistoryRun::Prune(command.options, command.pruneDays);
    case CheckCommand::Action::HistoryCsv: return HistoryRun::ExportCsv(command.options, command.historyTarget);
    case CheckCommand::Action::Serve: return CheckModes::Serve(command.serve, messages);
    case CheckCommand::Action::Check: return CheckModes::Check(command.options, messages);
    }
    return messages.Fail(QStringLiteral("nothing to do"));
}
