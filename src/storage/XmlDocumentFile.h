#pragma once

#include <QString>
#include <pugixml.hpp>

namespace quarlo {

// Loading and atomic saving of whole XML documents for the program's files.
class XmlDocumentFile {
public:
    enum class LoadStatus { Loaded, Missing, Malformed, Failed };

    // Loads path into doc; description tells what went wrong.
    static LoadStatus Load(pugi::xml_document& doc, const QString& path, QString& description);

    // Writes doc without declaration or whitespace to a temporary file beside
    // path and renames it over path, so an interrupted save never destroys
    // the previous file.
    static bool Save(const pugi::xml_document& doc, const QString& path, QString& description);
};

} // namespace quarlo
