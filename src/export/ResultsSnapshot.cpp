#include "export/ResultsSnapshot.h"

#include "export/ResultCells.h"
#include "scan/Addresslist.h"

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

} // namespace

TableSnapshot ResultsSnapshot::FromList(const Addresslist& list, const Settings& settings)
{
    const ResultCells cells(settings);
    TableSnapshot snapshot;
    snapshot.headers = ResultCells::Headers();
    for (const AddressPtr& address : list) {
        if (!address) continue;
        const ResultCells::Row row{cells.Target(*address), cells.Status(*address, address->Verdict()), GridCell{}};
        snapshot.rows.push_back(MakeRow(0, row, address->RespondingServers().Count() > 0, false));
        for (const RespondingServerPtr& server : address->RespondingServers()) {
            if (!server) continue;
            snapshot.rows.push_back(
                MakeRow(1, cells.ServerRow(*server), server->Responses().Count() > 0, server->Listing()));
            for (const ResponsePtr& response : server->Responses())
                if (response) snapshot.rows.push_back(MakeRow(2, cells.AnswerRow(*response, server->ServerName()), false, false));
        }
    }
    // Without a window to measure, each column is as wide as its longest
    // text (with its row's indent) in pixels of an average character, within
    // bounds: the header at least, a long TXT text not the whole page.
    constexpr int kPixelsPerCharacter = 7, kIndentCharacters = 2, kMinPixels = 80, kMaxPixels = 640;
    for (qsizetype column = 0; column < snapshot.headers.size(); ++column) {
        qsizetype longest = snapshot.headers[column].size();
        for (const SnapshotRow& row : snapshot.rows)
            if (column < static_cast<qsizetype>(row.cells.size()))
                longest = std::max<qsizetype>(longest, row.cells[size_t(column)].text.size() + row.level * kIndentCharacters);
        snapshot.columnWidths << std::clamp(int(std::min<qsizetype>(longest, 1000)) * kPixelsPerCharacter + 16, kMinPixels, kMaxPixels);
    }
    return snapshot;
}

} // namespace quarlo
