#pragma once

#include "model/ZoneStanding.h"

#include <QHash>
#include <QString>
#include <memory>
#include <vector>

namespace quarlo {

class HistoryStore;

// The history lines of an address's status tooltip in the grid ("Listed
// since <date> by <list>", "Delisted on <date> by <list>"). Each address is
// looked up once, when its tooltip is first asked for, and kept until the
// next recorded scan; the history file is only ever opened read-only.
class HistoryTips {
public:
    explicit HistoryTips(const QString& path);
    ~HistoryTips();

    void setPath(const QString& path);
    QString path() const { return path_; }

    // The lines for a target; empty when the history knows nothing of it or
    // cannot be read (the history view says why).
    QString Lines(const QString& target);
    // Forgets what was looked up (after a scan was recorded).
    void Clear();

    // The lines for a target's standings, latest first per kind.
    static QString Text(const std::vector<ZoneStanding>& standing);
    // How history dates read in the window.
    static QString DateText(const QDateTime& when);

private:
    bool open();

    QString path_;
    std::unique_ptr<HistoryStore> store_;
    QHash<QString, QString> cache_;
};

} // namespace quarlo
