#pragma once

#include "model/Server.h"

#include "common/ErrorText.h"

#include <QString>
#include <QtGlobal>
#include <pugixml.hpp>

namespace quarlo {

class Servers;

// Reader and writer of the server configuration file: root "Quarlo", then
// "BlackListServers", one "Server" per server with its "ResultCodes".
// Element names match exactly; attribute names without regard to case.
// Optional server attributes, written only when they differ from the
// default: ListKind="Domain", IPv6="True", SelfTest="False".
class ServerConfigFile {
public:
    // The first line of a load error (%1 the path): English for automation;
    // the window reads it back into the user's language (ui/WindowText).
    static constexpr const char* kCannotLoadText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot load Blacklist Servers from %1");
    // The first line of a save error (%1 the path), and the reason for one
    // that would have lost the user's unreadable file (%1 the ".bak" name).
    static constexpr const char* kCannotSaveText = QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot save %1");
    static constexpr const char* kCannotKeepText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "The existing file could not be read and could not be kept as %1");

    // Larger files are not read. A configuration of a few dozen servers
    // takes under 10 KB; parsing needs about three times the file's size in
    // memory, so this bounds what a wrong or hostile file can take.
    static constexpr qint64 kMaxFileBytes = 16LL * 1024 * 1024;

    // Adds the file's usable servers to servers. A file that does not exist
    // adds nothing and is not an error. One that is there but cannot be
    // read whole (it cannot be opened, is not well-formed XML, is larger
    // than kMaxFileBytes or is no regular file) adds nothing, sets error
    // (naming the file, with the parser's line and column) and returns false.
    // A well-formed file with another root adds nothing and is no error.
    static bool Read(Servers& servers, const QString& path, ErrorText& error);
    // Writes the whole collection, replacing the file atomically. A file that
    // exists but cannot be read whole is first kept aside as path + ".bak",
    // so a user's hand-edited file is never lost.
    static bool Write(const Servers& servers, const QString& path, ErrorText& error);
    // The same for a whole document: Read's rules for what is an error (doc
    // is left empty then), Write's for keeping a damaged file aside.
    static bool ReadDocument(pugi::xml_document& doc, const QString& path, ErrorText& error);
    static bool WriteDocument(const pugi::xml_document& doc, const QString& path, ErrorText& error);

    // Fills server from one "Server" element; true when it has a zone and at
    // least one valid result code.
    static bool LoadServer(Server& server, const pugi::xml_node& element);
    // Empties codes and adds one entry per "ResultCode" element; true when
    // at least one was added. An optional "Listing" attribute marks an answer
    // that does not list the address (absent: it does); for a repeated
    // address the first element wins.
    static bool LoadResultCodes(ResultCodes& codes, const pugi::xpath_node_set& elements);
    static void SyncServer(const Server& server, pugi::xml_node parent);
    static void SyncResultCodes(const ResultCodes& codes, pugi::xml_node parent);

    // The configuration file of an executable: its directory, its base name
    // and ".cfg".
    static QString PathForExecutable(const QString& executablePath);
};

} // namespace quarlo
