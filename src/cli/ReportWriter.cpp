#include "cli/ReportWriter.h"

#include "model/Servers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quarlo {
namespace {

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Targets and DNS texts may hold control characters; keep the terminal sane.
QString printable(QString text)
{
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char('?');
    return text;
}

} // namespace

QString ReportWriter::Status(const Address& address)
{
    if (address.Blacklisted()) return QStringLiteral("listed");
    if (address.IP() == Address::kUnresolvable) return QStringLiteral("unresolvable");
    if (!address.Complete()) return QStringLiteral("incomplete");
    return QStringLiteral("clean");
}

QString ReportWriter::serverUrl(const QString& zone) const
{
    const ServerPtr server = servers_.Item(zone);
    return server ? server->URL() : QString();
}

void ReportWriter::write(QTextStream& out, const std::vector<AddressPtr>& addresses, CheckOptions::Format format) const
{
    switch (format) {
    case CheckOptions::Format::Text: writeText(out, addresses); break;
    case CheckOptions::Format::Json: writeJson(out, addresses); break;
    case CheckOptions::Format::Csv: writeCsv(out, addresses); break;
    }
    out.flush();
}

void ReportWriter::writeText(QTextStream& out, const std::vector<AddressPtr>& addresses) const
{
    for (const AddressPtr& address : addresses) {
        const QString status = Status(*address);
        QString line = printable(address->Caption());
        if (status == QLatin1String("listed"))
            line += QStringLiteral("  Blacklisted by %1 servers").arg(address->RespondingServers().Count());
        else if (status == QLatin1String("clean"))
            line += QStringLiteral("  Not on any Blacklist (%1 servers checked)").arg(enabledServers_);
        else if (status == QLatin1String("unresolvable"))
            line += QStringLiteral("  Host name could not be resolved");
        else
            line += QStringLiteral("  Not completely checked");
        out << line << '\n';
        for (const RespondingServerPtr& server : address->RespondingServers()) {
            const int reasons = server->Responses().Count();
            out << "  " << printable(server->ServerEnglishName().isEmpty() ? server->ServerName()
                                                                          : server->ServerEnglishName())
                << " (" << printable(server->ServerName()) << ")  "
                << (reasons <= 1 ? QStringLiteral("Received 1 reason") : QStringLiteral("Received %1 reasons").arg(reasons));
            const QString url = serverUrl(server->ServerName());
            if (!url.isEmpty()) out << "  " << printable(url);
            out << '\n';
            for (const ResponsePtr& response : server->Responses()) {
                out << "    " << printable(response->Address()) << "  " << printable(response->Reason()) << '\n';
                if (!response->TXTRecord().isEmpty()) out << "      " << printable(response->TXTRecord()) << '\n';
            }
        }
    }
}

void ReportWriter::writeJson(QTextStream& out, const std::vector<AddressPtr>& addresses) const
{
    QJsonArray list;
    for (const AddressPtr& address : addresses) {
        QJsonArray servers;
        for (const RespondingServerPtr& server : address->RespondingServers()) {
            QJsonArray responses;
            for (const ResponsePtr& response : server->Responses()) {
                responses.append(QJsonObject{{QStringLiteral("address"), response->Address()},
                                             {QStringLiteral("reason"), response->Reason()},
                                             {QStringLiteral("txt"), response->TXTRecord()}});
            }
            servers.append(QJsonObject{{QStringLiteral("name"), server->ServerEnglishName()},
                                       {QStringLiteral("zone"), server->ServerName()},
                                       {QStringLiteral("url"), serverUrl(server->ServerName())},
                                       {QStringLiteral("responses"), responses}});
        }
        list.append(QJsonObject{{QStringLiteral("target"), address->Target()},
                                {QStringLiteral("ip"), address->IP()},
                                {QStringLiteral("status"), Status(*address)},
                                {QStringLiteral("servers"), servers}});
    }
    out << QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented));
}

void ReportWriter::writeCsv(QTextStream& out, const std::vector<AddressPtr>& addresses) const
{
    out << "Target,IP,Status,Server,Zone,URL,Response,Reason,TXT\r\n";
    for (const AddressPtr& address : addresses) {
        const QString head = csvField(address->Target()) + QLatin1Char(',') + csvField(address->IP()) + QLatin1Char(',')
                             + Status(*address);
        bool wrote = false;
        for (const RespondingServerPtr& server : address->RespondingServers()) {
            for (const ResponsePtr& response : server->Responses()) {
                out << head << ',' << csvField(server->ServerEnglishName()) << ',' << csvField(server->ServerName())
                    << ',' << csvField(serverUrl(server->ServerName())) << ',' << csvField(response->Address()) << ','
                    << csvField(response->Reason()) << ',' << csvField(response->TXTRecord()) << "\r\n";
                wrote = true;
            }
        }
        if (!wrote) out << head << ",,,,,,\r\n";
    }
}

} // namespace quarlo
