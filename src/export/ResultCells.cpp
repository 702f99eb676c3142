#include "export/ResultCells.h"

#include "model/Address.h"
#include "model/RespondingServer.h"
#include "model/Response.h"
#include "model/Settings.h"

#include <QUrl>

#include <algorithm>

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

// A marked text as it goes out: English.
QString english(const char* source)
{
    return QString::fromUtf8(source);
}

} // namespace

QStringList ResultCells::Headers()
{
    return {QStringLiteral("Target"), QStringLiteral("Reason(s) for being Blacklisted"), QStringLiteral("URL")};
}

QColor ResultCells::ServerBackground()
{
    return QColor(255, 240, 240);
}

QString ResultCells::NotListedText()
{
    return QStringLiteral("Not on any Blacklist");
}

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
            status.toolTip = QStringLiteral(QT_TRANSLATE_NOOP("quarlo::ResultCells", "Not every list answered:"))
                + QLatin1Char('\n') + ZoneNotesText(address);
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
    case Verdict::NotScanned: status.color = kIdleColour; break;
    case Verdict::Incomplete:
        // The target's own lookup failed: none of its addresses was asked.
        if (!address.HostLookupProblem().isEmpty()) {
            status.text = english(kIncompleteBecauseText).arg(address.HostLookupProblem());
            status.color = kWarningColour;
            break;
        }
        [[fallthrough]];
    case Verdict::Refused: {
        // Lists that did not answer and lists that refused are counted apart:
        // a refusal is an answer, and its list has a row of its own.
        const int refused = static_cast<int>(address.ZonesWith(ZoneNote::Kind::Refused).size());
        const int unanswered = UnansweredCount(address);
        QString text = QStringLiteral("Not completely checked: ");
        if (unanswered == 0 && refused == 0)
            text = address.Stopped() ? text + QStringLiteral("the scan was stopped") : text.left(text.size() - 2);
        else if (verdict == Verdict::Refused || unanswered == 0)
            text += QStringLiteral("%1 of %2 lists refused the query").arg(refused).arg(address.ZonesChecked());
        else
            text += QStringLiteral("%1 of %2 lists did not answer").arg(unanswered).arg(address.ZonesChecked())
                + (refused > 0 ? QStringLiteral(", %1 refused the query").arg(refused) : QString());
        status.text = text;
        status.color = kWarningColour;
        status.toolTip = ZoneNotesText(address);
        break;
    }
    case Verdict::NotChecked:
        status.text = address.NotCheckedReason().isEmpty()
            ? QStringLiteral("Not checked")
            : english(kNotCheckedBecauseText).arg(address.NotCheckedReason());
        status.color = kGreyColour;
        status.toolTip = address.NotCheckedReason().isEmpty()
            ? QStringLiteral("The scan was stopped before this address was checked")
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
            status.toolTip = english(kHostLookupText).arg(address.HostLookupProblem());
        break;
    case Verdict::Unsupported:
        status.text = english(kNotCheckedBecauseText).arg(address.InvalidReason());
        status.color = kGreyColour;
        break;
    }
    return status;
}

GridCell ResultCells::InvalidTarget(const QString& reason)
{
    GridCell status;
    status.text = reason.isEmpty() ? QStringLiteral(QT_TRANSLATE_NOOP("quarlo::ResultCells", "Invalid target"))
                                   : english(kInvalidTargetBecauseText).arg(reason);
    status.color = kGreyColour;
    return status;
}

QString ResultCells::ApplicabilityText(const Address& address)
{
    const int skipped = address.ZonesNotApplicable();
    if (skipped == 0) return QString();
    const int all = address.ZonesChecked() + skipped;
    if (address.IsIPv6())
        return english(kIpv6ApplicabilityText)
            .arg(QString(), QString::number(address.ZonesChecked()), QString::number(all));
    if (address.IP().isEmpty() && !address.ListDomain().isEmpty())
        return english(kDomainApplicabilityText)
            .arg(QString(), address.ListDomain(), QString::number(address.ZonesChecked()), QString::number(all));
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
            lines << (note.detail.isEmpty() ? english(kNoAnswerText).arg(name)
                                            : english(kNoAnswerBecauseText).arg(name, note.detail));
            break;
        case ZoneNote::Kind::Refused:
            lines << (note.detail.isEmpty() ? english(kRefusedText).arg(name)
                                            : english(kRefusedBecauseText).arg(name, note.detail));
            break;
        case ZoneNote::Kind::Skipped:
            // The reason a zone was skipped names the list already.
            lines << (note.detail.isEmpty() ? english(kNotAskedText).arg(name) : note.detail);
            break;
        case ZoneNote::Kind::NotApplicable: lines << english(kNotApplicableText).arg(name, note.detail); break;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

int ResultCells::UnansweredCount(const Address& address)
{
    return static_cast<int>(
        std::count_if(address.ZoneNotes().begin(), address.ZoneNotes().end(), [](const ZoneNote& note) {
            return note.kind == ZoneNote::Kind::Failed || note.kind == ZoneNote::Kind::Skipped;
        }));
}

std::vector<ResultCells::Row> ResultCells::NoteRows(const Address& address) const
{
    std::vector<Row> rows;
    const bool noneApplied = address.Verdict() == Verdict::NotApplicable;
    for (const ZoneNote& note : address.ZoneNotes()) {
        QString reason;
        switch (note.kind) {
        case ZoneNote::Kind::Failed:
            reason = note.detail.isEmpty() ? QStringLiteral("No usable answer")
                                           : QStringLiteral("No usable answer: ") + note.detail;
            break;
        case ZoneNote::Kind::Skipped:
            reason = note.detail.isEmpty() ? QStringLiteral("Not asked: self-test failed")
                                           : QStringLiteral("Not asked: self-test failed: ") + note.detail;
            break;
        case ZoneNote::Kind::NotApplicable:
            if (!noneApplied) continue;
            reason = QStringLiteral("Not applicable: ") + note.detail;
            break;
        case ZoneNote::Kind::Refused: continue;
        }
        Row row;
        row[kTargetColumn].text = kThreeBlanks + ListName(note.zone);
        row[kReasonColumn].text = kThreeBlanks + reason;
        row[kReasonColumn].color = note.kind == ZoneNote::Kind::NotApplicable ? kGreyColour : kWarningColour;
        if (const ServerPtr definition = settings_.BlacklistServers().Item(note.zone);
            definition && !LinkFromText(definition->URL()).isEmpty()) {
            row[kUrlColumn].text = definition->URL();
            row[kUrlColumn].color = kUrlColour;
            row[kUrlColumn].underline = true;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

GridCell ResultCells::ServerStatus(const RespondingServer& server) const
{
    GridCell status;
    if (server.Listing()) {
        const int count = server.Responses().Count();
        status.text =
            count <= 1 ? QStringLiteral("   Received 1 reason") : QStringLiteral("   Received %1 reasons").arg(count);
        return status;
    }
    QStringList reasons;
    for (const ResponsePtr& response : server.Responses())
        if (response) reasons << response->Reason();
    status.text = QStringLiteral("   Query refused");
    status.color = kWarningColour;
    status.toolTip = reasons.isEmpty()
        ? english(kServerRefusedText).arg(ListName(server.ServerName()))
        : english(kServerRefusedBecauseText).arg(ListName(server.ServerName()), reasons.join(QStringLiteral("; ")));
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
    // Only what opens as a web page looks like a link: a "javascript:"
    // home page stays plain text.
    if (!LinkFromText(cells[kUrlColumn].text).isEmpty()) {
        cells[kUrlColumn].color = kUrlColour;
        cells[kUrlColumn].underline = true;
    }
    return cells;
}

QString ResultCells::AnswerText(const Response& response)
{
    return kSixBlanks + response.TXTRecord();
}

ResultCells::Row ResultCells::AnswerRow(const Response& response, const QString& zone) const
{
    Row cells;
    cells[kTargetColumn].text = kThreeBlanks + response.Address();
    cells[kReasonColumn].text = kSixBlanks + response.Reason();
    if (response.Listing()) {
        cells[kReasonColumn].color = kReasonColour;
        cells[kReasonColumn].toolTip = english(kAnswerText).arg(response.Address());
    } else {
        cells[kReasonColumn].color = kWarningColour;
        cells[kReasonColumn].toolTip = english(kRefusalAnswerText).arg(response.Address(), ListName(zone));
    }
    cells[kUrlColumn].text = AnswerText(response);
    return cells;
}

namespace {

// Characters that cannot stand in a web address as written in a text: they
// end it (blanks, quotes, angle brackets, braces, backslash, controls).
bool EndsLink(QChar c)
{
    const char16_t u = c.unicode();
    return u <= 0x20 || u == 0x7f || u == u'"' || u == u'\'' || u == u'<' || u == u'>' || u == u'\\' || u == u'^'
        || u == u'`' || u == u'{' || u == u'|' || u == u'}' || (u >= 0x80 && u <= 0x9f) || c.isSpace();
}

// The address at start: up to the first character that ends it, without
// punctuation that closes the sentence around it.
QString LinkAt(const QString& text, qsizetype start)
{
    qsizetype end = start;
    while (end < text.size() && !EndsLink(text.at(end))) ++end;
    while (end > start && QStringLiteral(".,;:!?)]").contains(text.at(end - 1))) {
        // A closing parenthesis that has its opening one inside belongs to the address.
        if (text.at(end - 1) == u')'
            && QStringView(text).mid(start, end - start).count(u'(')
                > QStringView(text).mid(start, end - start - 1).count(u')'))
            break;
        --end;
    }
    QString link = text.mid(start, end - start);
    const QUrl url(link, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return QString();
    return link;
}

} // namespace

qsizetype ResultCells::LinkStart(const QString& text)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype plain = text.indexOf(QLatin1String("http://"), from, Qt::CaseInsensitive);
        const qsizetype secure = text.indexOf(QLatin1String("https://"), from, Qt::CaseInsensitive);
        qsizetype start = plain;
        if (start < 0 || (secure >= 0 && secure < start)) start = secure;
        if (start < 0) return -1;
        // "xhttp://" is not an address of its own.
        const bool standsAlone = start == 0 || !text.at(start - 1).isLetterOrNumber();
        if (standsAlone && !LinkAt(text, start).isEmpty()) return start;
        from = start + 1;
    }
}

QString ResultCells::LinkFromText(const QString& text)
{
    const qsizetype start = LinkStart(text);
    return start < 0 ? QString() : LinkAt(text, start);
}

} // namespace quarlo
