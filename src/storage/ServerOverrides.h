#pragma once

#include <QString>
#include <pugixml.hpp>

namespace quarlo {

class Servers;

// The user's server configuration as differences from the packaged (or the
// administrator's) servers, so that later packages still reach the user:
// a list retired or a code added arrives unless the user changed that list.
//
// The file has the packaged file's form, "Quarlo" > "BlackListServers"
// (marked Overrides="True") > "Server", and each element says one thing:
//  - a whole server (with its "ResultCodes"): one the user added, or a
//    packaged one the user edited, which then wins over the package;
//  - only "Server" and "Enabled": the user ticked or cleared a packaged list;
//  - "Server" and Deleted="True": the user deleted a packaged list.
// A file written before this (a whole copy of every server) reads the same
// way: its servers equal to the packaged ones count as no change at the
// next save.
class ServerOverrides {
public:
    // Whether the document is a file of differences.
    static bool IsOverrides(const pugi::xml_document& doc);
    // Applies the document's differences to servers, which holds the
    // packaged servers: edits replace a server's values in place, additions
    // go to the end, deletions remove.
    static void Apply(Servers& servers, const pugi::xml_document& doc);
    // The differences of current from packaged as a document.
    static void Build(pugi::xml_document& doc, const Servers& packaged, const Servers& current);
};

} // namespace quarlo
