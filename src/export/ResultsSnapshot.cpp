#include "export/ResultsSnapshot.h"

#include "export/ResultCells.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"

#include <QLocale>

#include <algorithm>

namespace quarlo {

namespace {

SnapshotRow MakeRow(int level, const ResultCells::Row& cells, bool hasChildren, bool tinted)
{
    SnapshotRow row;
    row.level = level;
    row.hasChildren = hasChildren;
    row.cells.reserve(cells.size());
    for (size_t column = 0; column < cells.size(); ++column) {
        SnapshotCell out;
        out.text = cells[column].text;
        out.color = cells[column].color;
        out.bold = cells[column].bold;
        out.underline = cells[column].underline;
        if (tinted) out.background = ResultCells::ServerBackground();
        if (column == static_cast<size_t>(ResultCells::kUrlColumn)) out.link = ResultCells::LinkFromText(out.text);
        row.cells.push_back(std::move(out));
    }
    return row;
}

void AddAddress(TableSnapshot& snapshot, const ResultCells& cells, const Address& address, const QString& caption)
{
    GridCell target = cells.Target(address);
    if (!caption.isEmpty()) target.text = caption;
    const std::vector<ResultCells::Row> notes = cells.NoteRows(address);
    const ResultCells::Row row{target, cells.Status(address, address.Verdict()), GridCell{}};
    snapshot.rows.push_back(MakeRow(0, row, address.RespondingServers().Count() > 0 || !notes.empty(), false));
    snapshot.rows.back().key = address.Key();
    for (const RespondingServerPtr& server : address.RespondingServers()) {
        if (!server) continue;
        snapshot.rows.push_back(
            MakeRow(1, cells.ServerRow(*server), server->Responses().Count() > 0, server->Listing()));
        for (const ResponsePtr& response : server->Responses())
            if (response)
                snapshot.rows.push_back(MakeRow(2, cells.AnswerRow(*response, server->ServerName()), false, false));
    }
    for (const ResultCells::Row& note : notes) snapshot.rows.push_back(MakeRow(1, note, false, false));
}

} // namespace

TableSnapshot ResultsSnapshot::FromList(const Addresslist& list, const Settings& settings)
{
    const ResultCells cells(settings);
    TableSnapshot snapshot;
    snapshot.headers = ResultCells::Headers();
    for (const AddressPtr& address : list)
        if (address) AddAddress(snapshot, cells, *address, QString());
    return snapshot;
}

TableSnapshot ResultsSnapshot::FromTargets(const std::vector<ReportTarget>& targets, const Settings& settings)
{
    const ResultCells cells(settings);
    TableSnapshot snapshot;
    snapshot.headers = ResultCells::Headers();
    for (const ReportTarget& target : targets) {
        if (target.address) {
            // The caption names what was checked after the target; the
            // target itself reads as the user gave it.
            QString caption = target.address->Caption();
            const QString checked = target.address->Target();
            if (!target.given.isEmpty() && caption.startsWith(checked))
                caption = target.given + caption.mid(checked.size());
            AddAddress(snapshot, cells, *target.address, caption);
            continue;
        }
        ResultCells::Row row;
        row[ResultCells::kTargetColumn].text = target.given.isEmpty() ? QStringLiteral("\"\"") : target.given;
        row[ResultCells::kReasonColumn] = ResultCells::InvalidTarget(target.invalid);
        snapshot.rows.push_back(MakeRow(0, row, false, false));
    }
    return snapshot;
}

void ResultsSnapshot::AddNoteRows(TableSnapshot& snapshot, const Addresslist& list, const Settings& settings)
{
    const ResultCells cells(settings);
    std::vector<SnapshotRow> rows;
    rows.reserve(snapshot.rows.size());
    std::vector<ResultCells::Row> pending;
    size_t parent = 0;
    const auto flush = [&] {
        if (pending.empty()) return;
        rows[parent].hasChildren = true;
        for (const ResultCells::Row& note : pending) {
            SnapshotRow row = MakeRow(1, note, false, false);
            row.shown = rows[parent].shown && rows[parent].expanded;
            rows.push_back(std::move(row));
        }
        pending.clear();
    };
    for (SnapshotRow& row : snapshot.rows) {
        if (row.level == 0) {
            flush();
            parent = rows.size();
            if (const AddressPtr address = row.key.isEmpty() ? nullptr : list.Item(row.key))
                pending = cells.NoteRows(*address);
        }
        rows.push_back(std::move(row));
    }
    flush();
    snapshot.rows = std::move(rows);
}

int ResultsSnapshot::EnabledLists(const Settings& settings)
{
    int lists = 0;
    for (const ServerPtr& server : settings.BlacklistServers()) lists += server && server->Enabled() ? 1 : 0;
    return lists;
}

QString ResultsSnapshot::Title(const QString& listName, const QDateTime& started, int targets, int lists)
{
    const QString date = QLocale::c().toString(started.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString rest = QStringLiteral("Blacklist scan results, %1, %2 %3 against %4 %5")
                             .arg(date)
                             .arg(targets)
                             .arg(targets == 1 ? QStringLiteral("target") : QStringLiteral("targets"))
                             .arg(lists)
                             .arg(lists == 1 ? QStringLiteral("list") : QStringLiteral("lists"));
    const QString name = listName.trimmed();
    return name.isEmpty() ? rest : name + QStringLiteral(" \u2014 ") + rest;
}

QString ResultsSnapshot::Title(const QString& listName, const Addresslist& list, const Settings& settings)
{
    const QDateTime started =
        list.Summary().started.isValid() ? list.Summary().started : QDateTime::currentDateTimeUtc();
    return Title(listName, started, list.Count(), EnabledLists(settings));
}

} // namespace quarlo
