#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quarlo {

// What changed between a target's (or a list's) previous scan and this one.
struct HistoryChange {
    enum class Kind {
        Listed,    // a list lists a target it did not list (or had not been asked about)
        Delisted,  // a list no longer lists a target it listed
        Failing,   // a list stopped giving usable answers (one change per list)
        Recovered, // a failing list answers again (one change per list)
    };

    Kind kind = Kind::Listed;
    QString target; // empty for Failing and Recovered: they concern the list
    QString zone;
    QString listName;
    QStringList codes;
    QStringList reasons;
    QStringList txt;
    QString link;
    QString detail;  // Failing: why (of the first target that failed)
    int targets = 1; // Failing and Recovered: how many targets it concerns
    QDateTime since; // Delisted: listed since; Recovered: failing since
    // Failing: the targets it listed before it stopped answering; their
    // listings stand as far as anyone knows.
    QStringList stillListed;

    static QString Keyword(Kind kind)
    {
        switch (kind) {
        case Kind::Listed: return QStringLiteral("listed");
        case Kind::Delisted: return QStringLiteral("delisted");
        case Kind::Failing: return QStringLiteral("failing");
        case Kind::Recovered: return QStringLiteral("recovered");
        }
        return QString();
    }
};

} // namespace quarlo
