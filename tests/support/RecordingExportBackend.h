#pragma once

#include "export/ExportBackend.h"

#include <QSet>
#include <QStringList>
#include <QVariantMap>
#include <vector>

namespace quarlo {

// What every engine of one test did, across the fresh engines the adapter
// creates per operation.
struct EngineLog {
    QStringList calls;    // "set:Name", "export", "sendto" in order
    QVariantMap settings; // last accepted value per property
    QSet<QString> refuse; // properties the engine rejects
    bool exportResult = true;
    QString reportedTarget = QStringLiteral("/out/written.html");
    struct Export {
        QVariant item;
        QString method, dir;
        QVariantMap settings; // as the engine held them for this export
    };
    std::vector<Export> exports;
    std::vector<std::pair<QString, QString>> sent;
    QList<ExportBackend::Choice> destinations, methods;
    int created = 0, alive = 0;
};

class RecordingBackend : public ExportBackend {
public:
    explicit RecordingBackend(EngineLog& log) : log_(log) { ++log_.created, ++log_.alive; }
    ~RecordingBackend() override { --log_.alive; }

    bool SetProperty(const QString& name, const QVariant& value) override
    {
        if (log_.refuse.contains(name)) return false;
        log_.calls << "set:" + name;
        log_.settings[name] = value;
        return true;
    }
    QString TargetFilename() const override { return log_.reportedTarget; }
    bool Export(const QVariant& item, const QString& method, const QString& dir) override
    {
        log_.calls << "export";
        log_.exports.push_back({item, method, dir, log_.settings});
        return log_.exportResult;
    }
    QVariant SendTo(const QString& file, const QString& destination) override
    {
        log_.calls << "sendto";
        log_.sent.emplace_back(file, destination);
        return QStringLiteral("sent");
    }
    QList<Choice> ExportMethods() override { return log_.methods; }
    QString MethodName(const QString& method) override { return "Name of " + method; }
    QList<Choice> SentToMethods() override { return log_.destinations; }

private:
    EngineLog& log_;
};

} // namespace quarlo
