#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

namespace quarlo {

// The export engine as the adapter sees it: layout settings go in as named
// properties, one call exports, prints or previews the results table, another
// hands a written file to a destination. A fresh engine serves each operation, so
// an implementation may keep whatever state one export needs.
class ExportBackend {
public:
    // One entry of the engine's method or destination lists.
    struct Choice {
        QString key;
        QString caption;
    };

    virtual ~ExportBackend() = default;

    // False when the engine does not know or refuses the setting; the
    // adapter carries on with the next one.
    virtual bool SetProperty(const QString& name, const QVariant& value) = 0;
    // After an export, the file the engine wrote (or whatever it reports).
    virtual QString TargetFilename() const = 0;

    // table holds a TableSnapshotPtr. method is "PRINTER", "PREVIEW" or a
    // file format; programDir is where default targets go.
    virtual bool Export(const QVariant& table, const QString& method, const QString& programDir) = 0;
    virtual QVariant SendTo(const QString& fileName, const QString& destination) = 0;

    virtual QList<Choice> ExportMethods() = 0;
    virtual QString MethodName(const QString& method) = 0;
    virtual QList<Choice> SentToMethods() = 0;
};

// Creates a fresh engine, or nothing with the reason in *error when the
// engine cannot start.
using ExportBackendFactory = std::function<std::unique_ptr<ExportBackend>(QString* error)>;

} // namespace quarlo
