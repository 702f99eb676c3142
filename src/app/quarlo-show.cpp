// Prints the bundled blacklist servers and an address list: a quick look at
// what a scan would check, without sending any DNS query.
#include "common/Registry.h"
#include "common/RegFileBackend.h"
#include "common/RegistryLocation.h"
#include "model/Settings.h"
#include "storage/AddressListFile.h"
#include "storage/ServerConfigFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

using namespace quarlo;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString configPath = exeDir + QStringLiteral("/quarlo.cfg");
    RegFileBackend backend(DefaultRegistryDirectory());
    Registry registry(backend);
    Settings settings(registry, configPath);
    if (!settings.BlacklistServers().LastError().isEmpty()) {
        err << settings.BlacklistServers().LastError().replace(QStringLiteral("\r\n"), QStringLiteral("\n")) << '\n';
        return 2;
    }

    out << "Blacklist servers in " << QDir::toNativeSeparators(configPath) << ":\n";
    for (const ServerPtr& server : settings.BlacklistServers()) {
        out << (server->Enabled() ? "  [x] " : "  [ ] ") << server->Name() << "  (" << server->Zone() << ", "
            << server->ResultCodes().Count() << " result codes" << (server->BitMapCodedResults() ? ", bit mask" : "")
            << ")  " << server->URL() << '\n';
        for (const ResultCodePtr& code : server->ResultCodes())
            out << "        " << code->Address() << "  " << code->Reason() << '\n';
    }
    out << "Options: Max Queries " << settings.MaxQueries() << ", Expansion Level " << settings.ExpansionLevel()
        << ", Auto Start Scan " << (settings.AutoStartScan() ? "True" : "False") << "\n\n";

    const QString listPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : exeDir + QStringLiteral("/Sample.BlackList");
    QStringList targets;
    QString description;
    if (!AddressListFile::Read(listPath, targets, description)) {
        err << "Cannot load Address List from " << listPath << ": " << description << '\n';
        return 2;
    }
    out << "Addresses in " << QDir::toNativeSeparators(listPath) << ":\n";
    for (const QString& target : targets) out << "  " << target << '\n';
    return 0;
}
