#include "export/ResultCells.h"

#include "model/Address.h"
#include "model/RespondingServer.h"
#include "model/Response.h"
#include "model/Settings.h"

namespace quarlo {

namespace {

const QString kThreeBlanks = QStringLiteral("   ");
const QString kSixBlanks = QStringLiteral("      ");

const QColor kListedColour(255, 0, 0);
const QColor kCleanColour(0, 128, 0);
const QColor kScanningColour(0, 0, 200);
const QColor kIdleColour(0, 0, 0);
const QColor kUrlColour(0, 0, 255);
const QColor kReasonColour(200, 0, 0);
// Results that are neither clean nor listed: lists that failed or refused.
// Dark enough to read on white.
const QColor kWarningColour(176, 96, 0);
// Addresses the scan could not check at all.
const QColor kGreyColour(112, 112, 112);

constexpr int kAddressFontSize = 10;

} // namespace

QStringList ResultCells::Headers()
{
    return {QStringLiteral("Target"), QStringLiteral("Reason(s) for being Blacklisted"), QStringLiteral("URL")};
}

QColor ResultCells::ServerBackground() { return QColor(255, 240, 240); }

QString ResultCells::NotListedText() { return QStringLiteral("Not on any Blacklist"); }

GridCell ResultCells::Target(const Address& address) const
{
    GridCell cell;
    cell.text = address.Caption();
    cell.pointSize = kAddressFontSize;
    return cell;
}

GridCell ResultCells::Status(const Address& address, Verdict verdict) const
{
    GridCell status;
    switch (verdict) {
    case Verdict::Listed:
        // Refusing servers have rows of their own but list nothing.
        status.text = QStringLiteral("Blacklisted by %1 servers").arg(address.ListingServerCount());
        status.color = kListedColour;
        status.bold = true;
        if (!address.ZoneNotes().empty())
            status.toolTip = QStringLiteral("Not every list answered:\n") + ZoneNotesText(address);
        break;
    case Verdict::Clean:
        status.text = NotListedText() + ApplicabilityText(address);
        status.color = kCleanColour;
        if (address.ZonesNotApplicable() > 0) status.toolTip = ZoneNotesText(address);
        break;
    case Verdict::NotApplicable:
        status.text = address.IsIPv6() ? QStringLiteral("Not checked: no enabled list supports IPv6")
                                       : QStringLiteral("Not checked: no enabled list applies to this target");
        status.color = kGreyColour;
        status.toolTip = ZoneNotesText(address);
        break;
    case Verdict::Scanning:
        status.text = QStringLiteral("Scanning ...");
        status.color = kScanningColour;
        break;
    case Verdict::NotScanned:
        status.color = kIdleColour;
        break;
    case Verdict::Incomplete:
        // The target's own lookup failed: none of its addresses was asked.
        if (!address.HostLookupProblem().isEmpty()) {
            status.text = QStringLiteral("Not completely checked: ") + address.HostLookupProblem();
            status.color = kWarningColour;
            break;
        }
        [[fallthrough]];
    case Verdict::Refused: {
        // A refusal is an answer: lists that refused are counted apart from
        // lists that gave none.
        qsizetype refused = 0;
        qsizetype unanswered = 0;
        for (const ZoneNote& note : address.ZoneNotes()) {
            if (note.kind == ZoneNote::Kind::Refused) ++refused;
            else if (note.kind != ZoneNote::Kind::NotApplicable) ++unanswered;
        }
        const QString total = QString::number(address.ZonesChecked());
        if (unanswered > 0 && refused > 0)
            status.text = QStringLiteral("Not completely checked: %1 of %2 lists did not answer, %3 refused the query")
                              .arg(QString::number(unanswered), total, QString::number(refused));
        else
            status.text = QStringLiteral("Not completely checked: %1 of %2 lists %3")
                              .arg(QString::number(refused > 0 ? refused : unanswered), total,
                                   refused > 0 ? QStringLiteral("refused the query") : QStringLiteral("did not answer"));
        status.color = kWarningColour;
        status.toolTip = ZoneNotesText(address);
        break;
    }
    case Verdict::NotChecked:
        status.text = address.NotCheckedReason().isEmpty() ? QStringLiteral("Not checked")
                                                           : QStringLiteral("Not checked: ") + address.NotCheckedReason();
        status.color = kGreyColour;
        status.toolTip = address.NotCheckedReason().isEmpty() ? QStringLiteral("The scan was stopped before this address was checked")
                                                              : QStringLiteral("Enable a blacklist server in Settings");
        break;
    case Verdict::NoMail:
        status.text = QStringLiteral("Accepts no mail (null MX)");
        status.color = kGreyColour;
        status.toolTip = address.HostLookupProblem();
        break;
    case Verdict::Unresolvable:
        status.text = QStringLiteral("Host name not found");
        status.color = kGreyColour;
        if (!address.HostLookupProblem().isEmpty())
            status.toolTip = QStringLiteral("Host name lookup: ") + address.HostLookupProblem();
        break;
    case Verdict::Unsupported:
        status.text = QStringLiteral("Not checked: ") + address.InvalidReason();
        status.color = kGreyColour;
        break;
    }
    return status;
}

QString ResultCells::ApplicabilityText(const Address& address)
{
    const int skipped = address.ZonesNotApplicable();
    if (skipped == 0) return QString();
    const int all = address.ZonesChecked() + skipped;
    if (address.IsIPv6())
        return QStringLiteral("; IPv6: checked against %1 of %2 lists (the others do not support IPv6)")
            .arg(address.ZonesChecked())
            .arg(all);
    if (address.IP().isEmpty() && !address.ListDomain().isEmpty())
        return QStringLiteral("; e-mail domain %1: checked against %2 of %3 lists (the IP lists do not apply)")
            .arg(address.ListDomain())
            .arg(address.ZonesChecked())
            .arg(all);
    return QString();
}

QString ResultCells::ListName(const QString& zone) const
{
    const ServerPtr server = settings_.BlacklistServers().Item(zone);
    return server && !server->Name().trimmed().isEmpty() ? server->Name() : zone;
}

QString ResultCells::ZoneNotesText(const Address& address) const
{
    QStringList lines;
    for (const ZoneNote& note : address.ZoneNotes()) {
        const QString name = ListName(note.zone);
        switch (note.kind) {
        case ZoneNote::Kind::Failed:
            lines << name + QStringLiteral(": no usable answer")
                         + (note.detail.isEmpty() ? QString() : QStringLiteral(" (") + note.detail + QLatin1Char(')'));
            break;
        case ZoneNote::Kind::Refused:
            lines << name + QStringLiteral(" refused the query")
                         + (note.detail.isEmpty() ? QString() : QStringLiteral(": ") + note.detail);
            break;
        case ZoneNote::Kind::Skipped:
            // The reason a zone was skipped names the list already.
            lines << (note.detail.isEmpty() ? name + QStringLiteral(": not asked, it failed its test before the scan")
                                            : note.detail);
            break;
        case ZoneNote::Kind::NotApplicable:
            lines << name + QStringLiteral(": not applicable (") + note.detail + QLatin1Char(')');
            break;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

GridCell ResultCells::ServerStatus(const RespondingServer& server) const
{
    GridCell status;
    if (server.Listing()) {
        const int count = server.Responses().Count();
        status.text = count <= 1 ? QStringLiteral("   Received 1 reason")
                                 : QStringLiteral("   Received %1 reasons").arg(count);
        return status;
    }
    QStringList reasons;
    for (const ResponsePtr& response : server.Responses())
        if (response) reasons << response->Reason();
    status.text = QStringLiteral("   Query refused");
    status.color = kWarningColour;
    status.toolTip = ListName(server.ServerName()) + QStringLiteral(" refused the query")
                     + (reasons.isEmpty() ? QString() : QStringLiteral(": ")) + reasons.join(QStringLiteral("; "))
                     + QStringLiteral(". This is not a listing.");
    return status;
}

ResultCells::Row ResultCells::ServerRow(const RespondingServer& server) const
{
    Row cells;
    cells[kTargetColumn].text = server.ServerEnglishName();
    cells[kReasonColumn] = ServerStatus(server);
    // A server dropped from the settings since the scan has no home page.
    if (const ServerPtr definition = settings_.BlacklistServers().Item(server.ServerName()))
        cells[kUrlColumn].text = definition->URL();
    cells[kUrlColumn].color = kUrlColour;
    cells[kUrlColumn].underline = true;
    return cells;
}

QString ResultCells::AnswerText(const Response& response) { return kSixBlanks + response.TXTRecord(); }

ResultCells::Row ResultCells::AnswerRow(const Response& response, const QString& zone) const
{
    Row cells;
    cells[kTargetColumn].text = kThreeBlanks + response.Address();
    cells[kReasonColumn].text = kSixBlanks + response.Reason();
    if (response.Listing()) {
        cells[kReasonColumn].color = kReasonColour;
        cells[kReasonColumn].toolTip = QStringLiteral("DNS returned the response of ") + response.Address();
    } else {
        cells[kReasonColumn].color = kWarningColour;
        cells[kReasonColumn].toolTip = QStringLiteral("DNS returned the response of ") + response.Address()
                                       + QStringLiteral(", by which ") + ListName(zone)
                                       + QStringLiteral(" refuses the query. This is not a listing.");
    }
    cells[kUrlColumn].text = AnswerText(response);
    return cells;
}

QString ResultCells::LinkFromText(const QString& text)
{
    const qsizetype plain = text.indexOf(QLatin1String("http://"), 0, Qt::CaseInsensitive);
    const qsizetype secure = text.indexOf(QLatin1String("https://"), 0, Qt::CaseInsensitive);
    qsizetype start = plain;
    if (start < 0 || (secure >= 0 && secure < start)) start = secure;
    if (start < 0) return QString();
    QString link = text.mid(start);
    link.remove(QLatin1Char('\r'));
    link.remove(QLatin1Char('\n'));
    const qsizetype blank = link.indexOf(QLatin1Char(' '), 1);
    if (blank > 0) link.truncate(blank);
    return link;
}

} // namespace quarlo
