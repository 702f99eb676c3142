#pragma once

#include "cli/CheckOptions.h"
#include "cli/CheckReport.h"

#include <QJsonObject>
#include <QTextStream>

namespace quarlo {

class Servers;

// Writes the results of a check as readable text, JSON or CSV.
class ReportWriter {
public:
    ReportWriter(const Servers& servers, const CheckReport& report) : servers_(servers), report_(report) {}

    void write(QTextStream& out, CheckOptions::Format format) const;
    // The same in pieces, so that other work can go between them: each call
    // writes the next few targets' part (a CSV report's rows; the other
    // formats all at once) and says whether anything is left.
    struct Progress {
        size_t next = 0; // the first target not written yet
        bool started = false;
    };
    bool writeSome(QTextStream& out, CheckOptions::Format format, Progress& progress, size_t targets = 64) const;

    // The verdict in words: "Blacklisted by 2 servers", "Host name not found", ...
    QString message(const CheckTarget& target) const;

private:
    void writeText(QTextStream& out) const;
    void writeJson(QTextStream& out) const;
    void writeCsvHeader(QTextStream& out) const;
    void writeCsvTarget(QTextStream& out, const CheckTarget& target, const QString& started) const;
    void writeServers(QTextStream& out, const Address& address) const;

    QString serverUrl(const QString& zone) const;
    QString serverName(const QString& zone) const;
    const ZoneTest* zoneTest(const QString& zone) const;
    // The reason for a note in a few words.
    QString shortReason(const ZoneNote& note) const;
    // "zone (reason)" for every list that failed or was skipped for the address.
    QStringList unansweredZones(const Address& address) const;
    QString incompleteText(const Address& address) const;
    static QString notApplicableText(const Address& address);
    // The message for the checked host or address alone.
    QString startedText() const;
    QJsonObject targetJson(const CheckTarget& target) const;

    const Servers& servers_;
    const CheckReport& report_;
};

} // namespace quarlo
