#pragma once

#include "cli/CheckOptions.h"
#include "model/Address.h"

#include <QTextStream>
#include <vector>

namespace quarlo {

class Servers;

// Writes the results of a scan as a readable tree, JSON or CSV.
class ReportWriter {
public:
    ReportWriter(const Servers& servers, int enabledServers) : servers_(servers), enabledServers_(enabledServers) {}

    void write(QTextStream& out, const std::vector<AddressPtr>& addresses, CheckOptions::Format format) const;

    // "listed", "clean", "unresolvable" or "incomplete".
    static QString Status(const Address& address);

private:
    void writeText(QTextStream& out, const std::vector<AddressPtr>& addresses) const;
    void writeJson(QTextStream& out, const std::vector<AddressPtr>& addresses) const;
    void writeCsv(QTextStream& out, const std::vector<AddressPtr>& addresses) const;
    QString serverUrl(const QString& zone) const;

    const Servers& servers_;
    int enabledServers_;
};

} // namespace quarlo
