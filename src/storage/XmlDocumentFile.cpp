#include "storage/XmlDocumentFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <sstream>

namespace quarlo {

XmlDocumentFile::LoadStatus XmlDocumentFile::Load(pugi::xml_document& doc, const QString& path,
                                                  QString& description)
{
    QFileInfo info(path);
    if (!info.exists()) {
        description = QStringLiteral("The file does not exist.");
        return LoadStatus::Missing;
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        description = file.errorString().isEmpty() ? QStringLiteral("The file cannot be read.") : file.errorString();
        return LoadStatus::Missing;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        description = file.errorString();
        return LoadStatus::Missing;
    }
    // Entities and DTDs are not expanded; the DOCTYPE is skipped.
    const pugi::xml_parse_result result =
        doc.load_buffer(bytes.constData(), static_cast<size_t>(bytes.size()), pugi::parse_default, pugi::encoding_auto);
    if (result) return LoadStatus::Loaded;
    description = QStringLiteral("%1 (at byte offset %2)")
                      .arg(QString::fromUtf8(result.description()))
                      .arg(static_cast<qlonglong>(result.offset));
    doc.reset();
    if (result.status == pugi::status_out_of_memory || result.status == pugi::status_internal_error)
        return LoadStatus::Failed;
    return LoadStatus::Malformed;
}

bool XmlDocumentFile::Save(const pugi::xml_document& doc, const QString& path, QString& description)
{
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    const std::string bytes = out.str();

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        description = file.errorString();
        return false;
    }
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        description = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        description = file.errorString();
        return false;
    }
    return true;
}

} // namespace quarlo
