#include "cli/CheckTargets.h"

#include "cli/FileProblem.h"
#include "cli/LineReader.h"
#include "cli/ListFileReader.h"
#include "cli/PrintableText.h"
#include "cli/TargetCollector.h"

namespace quarlo {

namespace {

// Reads the lines of inputFd into collector; an error, or nothing.
QString readInput(int inputFd, TargetCollector& collector, QStringList* emptySources, const QString& tooMany)
{
    collector.resetEntries();
    qint64 bytes = 0;
    LineReader in(inputFd, ListFileReader::kMaxLineBytes, CheckTargets::kMaxInputBytes);
    QByteArray line;
    for (;;) {
        const LineReader::Result result = in.next(&line);
        if (result == LineReader::Result::End) break;
        if (result == LineReader::Result::TooMuch)
            return QStringLiteral("standard input holds more than 1 GiB; split it over several runs");
        if (result == LineReader::Result::Error)
            return QStringLiteral("cannot read standard input: ") + in.errorString();
        bytes += line.size() + 1;
        if (!collector.addEntry(QString::fromUtf8(line), result == LineReader::Result::Overlong)) return tooMany;
    }
    if (collector.entries() == 0)
        *emptySources << (bytes == 0 ? QStringLiteral("standard input is empty")
                                     : QStringLiteral("standard input holds only blank lines and comments"));
    return QString();
}

} // namespace

CheckTargets::Gathered CheckTargets::Gather(const CheckOptions& options, int inputFd)
{
    Gathered gathered;
    TargetCollector collector;
    const QString tooMany =
        QStringLiteral("more than %1 targets; split them over several runs").arg(TargetLimits::kMaxTargets);
    auto failed = [&](const QString& error) {
        gathered.error = error;
        return std::move(gathered);
    };
    for (const QString& target : options.targets)
        if (!collector.addArgument(target)) return failed(tooMany);
    auto takeEntry = [&](const QString& text, bool cut) { return collector.addEntry(text, cut); };
    for (const QString& file : options.listFiles) {
        const QString name = Printable(file);
        QString description = FileProblem(file);
        ListFileReader::Kind kind = ListFileReader::Kind::Text;
        collector.resetEntries();
        const ListFileReader::Status status = description.isEmpty()
            ? ListFileReader::Read(file, takeEntry, &kind, &description)
            : ListFileReader::Status::Failed;
        if (status == ListFileReader::Status::Failed)
            return failed(QStringLiteral("cannot load Address List from %1: %2").arg(name, description));
        if (status == ListFileReader::Status::Stopped) return failed(tooMany);
        if (collector.entries() == 0)
            gathered.emptySources << name + QLatin1Char(' ') + ListFileReader::WhyEmpty(file, kind);
    }
    if (options.readStdin) {
        if (const QString error = readInput(inputFd, collector, &gathered.emptySources, tooMany); !error.isEmpty())
            return failed(error);
    }
    if (collector.empty())
        return failed(QStringLiteral("no targets found: ") + gathered.emptySources.join(QStringLiteral("; ")));
    gathered.targets = collector.take();
    return gathered;
}

} // namespace quarlo
