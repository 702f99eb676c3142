#include "cli/ReportWriter.h"

#include "cli/PrintableText.h"
#include "common/FormulaGuard.h"
#include "model/Servers.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace quarlo {
namespace {

// CSV goes to terminals as often as to files: control characters become
// "?" as in text output (so no field spans lines either), and a field with
// a comma or quote is quoted. A formula sign in front is defused.
QString csvField(const QString& text)
{
    QString field = FormulaGuarded(Printable(text));
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"'))) return field;
    field.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

QString healthKeyword(ZoneTest::Health health)
{
    switch (health) {
    case ZoneTest::Health::Pending: return QStringLiteral("pending");
    case ZoneTest::Health::Ok: return QStringLiteral("ok");
    case ZoneTest::Health::NoTestEntry: return QStringLiteral("unverified");
    case ZoneTest::Health::ListsEverything: return QStringLiteral("lists-everything");
    case ZoneTest::Health::Refused: return QStringLiteral("refused");
    case ZoneTest::Health::Failed: return QStringLiteral("failed");
    }
    return QString();
}

QString plural(int count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// "zone (detail)" for every note of kind.
QStringList notesOf(const Address& address, ZoneNote::Kind kind)
{
    QStringList list;
    for (const ZoneNote& note : address.ZoneNotes())
        if (note.kind == kind)
            list.append(note.detail.isEmpty() ? note.zone
                                              : note.zone + QStringLiteral(" (") + note.detail + QLatin1Char(')'));
    return list;
}

QJsonArray notesJson(const Address* address, ZoneNote::Kind kind)
{
    QJsonArray list;
    if (!address) return list;
    for (const ZoneNote& note : address->ZoneNotes())
        if (note.kind == kind)
            list.append(QJsonObject{{QStringLiteral("zone"), note.zone}, {QStringLiteral("reason"), note.detail}});
    return list;
}

QJsonArray responsesJson(const RespondingServer& server)
{
    QJsonArray responses;
    for (const ResponsePtr& response : server.Responses()) {
        responses.append(QJsonObject{{QStringLiteral("address"), response->Address()},
                                     {QStringLiteral("reason"), response->Reason()},
                                     {QStringLiteral("txt"), response->TXTRecord()},
                                     {QStringLiteral("listing"), response->Listing()}});
    }
    return responses;
}

// Every address checked for the target, with the host it belongs to.
QJsonArray addressesJson(const Address* address)
{
    QJsonArray list;
    if (!address) return list;
    for (const TargetResolution::Ip& ip : address->CheckedAddresses())
        list.append(QJsonObject{{QStringLiteral("address"), ip.address}, {QStringLiteral("host"), ip.host}});
    return list;
}

QString caption(const CheckTarget& target)
{
    if (target.target.isEmpty()) return QStringLiteral("\"\"");
    // The grid's caption: what was checked for the target.
    return target.address ? target.address->Caption() : target.target;
}

} // namespace

QString ReportWriter::serverUrl(const QString& zone) const
{
    const ServerPtr server = servers_.Item(zone);
    return server ? server->URL() : QString();
}

QString ReportWriter::serverName(const QString& zone) const
{
    const ServerPtr server = servers_.Item(zone);
    return server ? server->Name() : zone;
}

const ZoneTest* ReportWriter::zoneTest(const QString& zone) const
{
    for (const ZoneTest& test : report_.zoneTests)
        if (test.zone.compare(zone, Qt::CaseInsensitive) == 0) return &test;
    return nullptr;
}

QString ReportWriter::shortReason(const ZoneNote& note) const
{
    if (note.kind != ZoneNote::Kind::Skipped) return note.detail;
    // The self-test's own sentence is shown once for the whole scan; per
    // target a few words do.
    const ZoneTest* test = zoneTest(note.zone);
    switch (test ? test->health() : ZoneTest::Health::Pending) {
    case ZoneTest::Health::Failed: return QStringLiteral("test query ") + test->detail;
    case ZoneTest::Health::Refused: return QStringLiteral("test query refused: ") + test->detail;
    case ZoneTest::Health::ListsEverything: return QStringLiteral("lists ") + test->unlistedEntry();
    default: return note.detail;
    }
}

QStringList ReportWriter::unansweredZones(const Address& address) const
{
    QStringList zones;
    for (const ZoneNote& note : address.ZoneNotes()) {
        if (note.kind == ZoneNote::Kind::Refused || note.kind == ZoneNote::Kind::NotApplicable) continue;
        QString why = shortReason(note);
        if (note.kind == ZoneNote::Kind::Skipped)
            why = why.isEmpty() ? QStringLiteral("skipped") : QStringLiteral("skipped: ") + why;
        zones.append(why.isEmpty() ? note.zone : note.zone + QStringLiteral(" (") + why + QLatin1Char(')'));
    }
    return zones;
}

QString ReportWriter::notApplicableText(const Address& address)
{
    const QStringList zones = notesOf(address, ZoneNote::Kind::NotApplicable);
    if (zones.isEmpty()) return QString();
    return QStringLiteral("; not applicable: ") + zones.join(QStringLiteral(", "));
}

QString ReportWriter::incompleteText(const Address& address) const
{
    const QStringList zones = unansweredZones(address);
    // A failed lookup of the target itself comes first: it is why its
    // addresses could not be checked.
    if (!address.HostLookupProblem().isEmpty() && address.IP() != Address::kUnresolvable) {
        const QString text = QStringLiteral("Not completely checked: ") + address.HostLookupProblem();
        return zones.isEmpty() ? text : text + QStringLiteral("; did not answer: ") + zones.join(QStringLiteral(", "));
    }
    if (zones.isEmpty()) {
        return address.Stopped() ? QStringLiteral("Not completely checked: the scan was stopped")
                                 : QStringLiteral("Not completely checked");
    }
    return QStringLiteral("Not completely checked: %1 of %2 did not answer: %3")
        .arg(zones.size())
        .arg(plural(address.ZonesChecked(), "list", "lists"), zones.join(QStringLiteral(", ")));
}

QString ReportWriter::message(const CheckTarget& target) const
{
    const TargetStatus status = target.status();
    if (!target.invalid.isEmpty()) return QStringLiteral("Invalid target: ") + target.invalid;
    if (!target.address) return QStringLiteral("Not checked");
    const Address& address = *target.address;
    switch (status) {
    case TargetStatus::Listed:
        return QStringLiteral("Blacklisted by ") + plural(address.ListingServerCount(), "server", "servers");
    case TargetStatus::Clean:
        return QStringLiteral("Not on any Blacklist (%1 checked)").arg(plural(address.ZonesChecked(), "list", "lists"))
            + notApplicableText(address);
    case TargetStatus::NotApplicable:
        return (address.IsIPv6() ? QStringLiteral("Not checked: no enabled list supports IPv6")
                                 : QStringLiteral("Not checked: no enabled list applies to this target"))
            + notApplicableText(address);
    case TargetStatus::Refused:
        return QStringLiteral("Query refused by ")
            + notesOf(address, ZoneNote::Kind::Refused).join(QStringLiteral(", "));
    case TargetStatus::Unresolvable:
        return address.HostLookupProblem().isEmpty()
            ? QStringLiteral("Host name not found")
            : QStringLiteral("Host name not found (%1)").arg(address.HostLookupProblem());
    case TargetStatus::Invalid: return QStringLiteral("Invalid target: ") + address.InvalidReason();
    case TargetStatus::Incomplete: return incompleteText(address);
    case TargetStatus::NoMail: return QStringLiteral("Domain accepts no mail (null MX)");
    case TargetStatus::NotChecked:
        return address.NotCheckedReason().isEmpty() ? QStringLiteral("Not checked: the scan was stopped")
                                                    : QStringLiteral("Not checked: ") + address.NotCheckedReason();
    }
    return QString();
}

void ReportWriter::write(QTextStream& out, CheckOptions::Format format) const
{
    Progress progress;
    while (writeSome(out, format, progress, report_.targets.size())) {}
    out.flush();
}

bool ReportWriter::writeSome(QTextStream& out, CheckOptions::Format format, Progress& progress, size_t targets) const
{
    const size_t total = report_.targets.size();
    if (progress.started && progress.next >= total) return false;
    const bool first = !progress.started;
    progress.started = true;
    switch (format) {
    case CheckOptions::Format::Csv: {
        if (first) writeCsvHeader(out);
        const QString started = startedText();
        const size_t end = std::min(total, progress.next + std::max<size_t>(targets, 1));
        for (; progress.next < end; ++progress.next) writeCsvTarget(out, report_.targets[progress.next], started);
        return progress.next < total;
    }
    case CheckOptions::Format::Text: writeText(out); break;
    case CheckOptions::Format::Json: writeJson(out); break;
    default: break; // the grid formats are written from the list itself
    }
    progress.next = total;
    return false;
}

void ReportWriter::writeServers(QTextStream& out, const Address& address) const
{
    for (const RespondingServerPtr& server : address.RespondingServers()) {
        const int reasons = server->Responses().Count();
        out << "  "
            << Printable(server->ServerEnglishName().isEmpty() ? server->ServerName() : server->ServerEnglishName())
            << " (" << Printable(server->ServerName()) << ")  "
            << (!server->Listing() ? QStringLiteral("Query refused")
                    : reasons <= 1 ? QStringLiteral("Received 1 reason")
                                   : QStringLiteral("Received %1 reasons").arg(reasons));
        const QString url = serverUrl(server->ServerName());
        if (!url.isEmpty()) out << "  " << Printable(url);
        out << '\n';
        for (const ResponsePtr& response : server->Responses()) {
            out << "    " << Printable(response->Address()) << "  " << Printable(response->Reason()) << '\n';
            if (!response->TXTRecord().isEmpty()) out << "      " << Printable(response->TXTRecord()) << '\n';
        }
    }
}

void ReportWriter::writeText(QTextStream& out) const
{
    for (const CheckTarget& target : report_.targets) {
        out << Printable(caption(target)) << "  " << Printable(message(target)) << '\n';
        if (!target.address) continue;
        writeServers(out, *target.address);
        // A listing stands whatever else failed, but the gaps are still worth a line.
        if (target.status() == TargetStatus::Listed && !unansweredZones(*target.address).isEmpty())
            out << "  " << Printable(incompleteText(*target.address)) << '\n';
    }
    QStringList skipped, unverified;
    for (const ZoneTest& test : report_.zoneTests) {
        if (test.skipped())
            skipped.append(test.description());
        else if (test.health() == ZoneTest::Health::NoTestEntry)
            unverified.append(test.description());
    }
    if (!skipped.isEmpty()) {
        out << "\nLists skipped in this scan:\n";
        for (const QString& line : skipped) out << "  " << Printable(line) << '\n';
    }
    if (!unverified.isEmpty()) {
        out << (skipped.isEmpty() ? "\n" : "") << "Lists not verified:\n";
        for (const QString& line : unverified) out << "  " << Printable(line) << '\n';
    }
}

QString ReportWriter::startedText() const
{
    return report_.started.isValid() ? report_.started.toUTC().toString(Qt::ISODate) : QString();
}

QJsonObject ReportWriter::targetJson(const CheckTarget& target) const
{
    const Address* address = target.address.get();
    QJsonArray listedBy, refused;
    const std::vector<const Address*> entries{address};
    for (const Address* entry : entries) {
        if (!entry) continue;
        for (const RespondingServerPtr& server : entry->RespondingServers()) {
            if (!server->Listing()) continue;
            listedBy.append(QJsonObject{{QStringLiteral("name"), server->ServerEnglishName()},
                                        {QStringLiteral("zone"), server->ServerName()},
                                        {QStringLiteral("url"), serverUrl(server->ServerName())},
                                        {QStringLiteral("responses"), responsesJson(*server)}});
        }
        for (const ZoneNote& note : entry->ZoneNotes()) {
            if (note.kind != ZoneNote::Kind::Refused) continue;
            QJsonArray responses;
            for (const RespondingServerPtr& server : entry->RespondingServersOf(note.zone))
                for (const QJsonValue response : responsesJson(*server)) responses.append(response);
            refused.append(QJsonObject{{QStringLiteral("name"), serverName(note.zone)},
                                       {QStringLiteral("zone"), note.zone},
                                       {QStringLiteral("url"), serverUrl(note.zone)},
                                       {QStringLiteral("reason"), note.detail},
                                       {QStringLiteral("responses"), responses}});
        }
    }
    return QJsonObject{{QStringLiteral("target"), target.target},
                       {QStringLiteral("mx"), target.mx()},
                       {QStringLiteral("ip"), target.ip()},
                       {QStringLiteral("addresses"), addressesJson(address)},
                       {QStringLiteral("domain"), address ? address->ListDomain() : QString()},
                       {QStringLiteral("status"), TargetStatusKeyword(target.status())},
                       {QStringLiteral("message"), message(target)},
                       {QStringLiteral("listsChecked"), address ? address->ZonesChecked() : 0},
                       {QStringLiteral("listedBy"), listedBy},
                       {QStringLiteral("refused"), refused},
                       {QStringLiteral("failed"), notesJson(address, ZoneNote::Kind::Failed)},
                       {QStringLiteral("skipped"), notesJson(address, ZoneNote::Kind::Skipped)},
                       {QStringLiteral("notApplicable"), notesJson(address, ZoneNote::Kind::NotApplicable)}};
}

namespace {

// A JSON value as the indented writer prints it at the given depth inside
// an enclosing document. DEL, C1 and bidi controls (which some terminals
// obey) are escaped too: the JSON writer escapes only C0 controls, and they
// can stand only inside strings, so the document stays exact.
QString nestedJson(const QJsonDocument& value, int depth)
{
    QString text = QString::fromUtf8(value.toJson(QJsonDocument::Indented));
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    const QString indent(depth * 4, QLatin1Char(' '));
    QString nested;
    nested.reserve(text.size() + text.size() / 8);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x7f && u <= 0x9f) || IsBidiControl(u))
            nested += QStringLiteral("\\u%1").arg(static_cast<int>(u), 4, 16, QLatin1Char('0'));
        else
            nested += c;
        if (u == u'\n') nested += indent;
    }
    return nested;
}

QString jsonString(const QString& text)
{
    QString quoted = nestedJson(QJsonDocument(QJsonArray{text}), 0);
    // "[\n    \"text\"\n]": the string alone.
    quoted = quoted.mid(quoted.indexOf(QLatin1Char('"')));
    return quoted.left(quoted.lastIndexOf(QLatin1Char('"')) + 1);
}

} // namespace

void ReportWriter::writeJson(QTextStream& out) const
{
    QJsonArray lists;
    for (const ServerPtr& server : servers_) {
        if (!server->Enabled()) continue;
        const ZoneTest* test = zoneTest(server->Zone());
        lists.append(
            QJsonObject{{QStringLiteral("zone"), server->Zone()},
                        {QStringLiteral("name"), server->Name()},
                        {QStringLiteral("url"), server->URL()},
                        {QStringLiteral("health"), test ? healthKeyword(test->health()) : QStringLiteral("untested")},
                        {QStringLiteral("description"), test ? test->description() : QString()}});
    }
    // Written target by target, in the key order of the JSON writer, so that
    // a report of a whole network never holds every target's document at
    // once.
    out << "{\n    \"dnsServers\": " << nestedJson(QJsonDocument(QJsonArray::fromStringList(report_.dnsServers)), 1)
        << ",\n    \"lists\": " << nestedJson(QJsonDocument(lists), 1)
        << ",\n    \"started\": " << jsonString(startedText()) << ",\n    \"targets\": [\n";
    bool first = true;
    for (const CheckTarget& target : report_.targets) {
        if (!first) out << ",\n";
        first = false;
        out << "        " << nestedJson(QJsonDocument(targetJson(target)), 2);
    }
    out << (first ? "    ]\n}\n" : "\n    ]\n}\n");
}

void ReportWriter::writeCsvHeader(QTextStream& out) const
{
    // The first nine columns are those of earlier versions, so scripts that
    // read columns by position keep working.
    out << "Target,IP,Status,Server,Zone,URL,Response,Reason,TXT,MX,Answer,Message,Failed,Refused,Skipped,Started\r\n";
}

void ReportWriter::writeCsvTarget(QTextStream& out, const CheckTarget& target, const QString& started) const
{
    const QString separator = QStringLiteral("; ");
    static const std::vector<ZoneNote> kNoNotes;
    const Address* address = target.address.get();
    const QString head = csvField(target.target) + QLatin1Char(',') + csvField(target.ip()) + QLatin1Char(',')
        + TargetStatusKeyword(target.status());
    QString tail = QLatin1Char(',') + csvField(message(target));
    for (ZoneNote::Kind kind : {ZoneNote::Kind::Failed, ZoneNote::Kind::Refused, ZoneNote::Kind::Skipped}) {
        QStringList zones;
        for (const ZoneNote& note : address ? address->ZoneNotes() : kNoNotes) {
            if (note.kind != kind) continue;
            // ";" separates the zones, so a reason must not hold one.
            const QString why = shortReason(note).replace(QLatin1Char(';'), QLatin1Char(','));
            zones.append(why.isEmpty() ? note.zone : note.zone + QStringLiteral(" (") + why + QLatin1Char(')'));
        }
        tail += QLatin1Char(',') + csvField(zones.join(separator));
    }
    tail += QLatin1Char(',') + started;
    bool wrote = false;
    if (address) {
        for (const RespondingServerPtr& server : address->RespondingServers()) {
            for (const ResponsePtr& response : server->Responses()) {
                out << head << ',' << csvField(server->ServerEnglishName()) << ',' << csvField(server->ServerName())
                    << ',' << csvField(serverUrl(server->ServerName())) << ',' << csvField(response->Address()) << ','
                    << csvField(response->Reason()) << ',' << csvField(response->TXTRecord()) << ','
                    << csvField(target.mx()) << ',' << (response->Listing() ? "listing" : "refusal") << tail << "\r\n";
                wrote = true;
            }
        }
    }
    if (!wrote) out << head << ",,,,,,," << csvField(target.mx()) << ',' << tail << "\r\n";
}

} // namespace quarlo
