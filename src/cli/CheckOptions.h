#pragma once

#include "common/AtomicFileWriter.h"
#include "scan/DnsTuning.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace quarlo {

// What the command line of quarlo-check asked for.
struct CheckOptions {
    // Html, Xlsx and Pdf render the results grid into --output.
    enum class Format { Text, Json, Csv, Html, Xlsx, Pdf };

    QStringList targets;   // from arguments, in order
    QStringList listFiles; // list files (.BlackList address lists or text), in order
    bool readStdin = false;
    QString configPath;
    int maxQueries = 0; // 0: the stored option
    QString dnsServers; // --dns, each entry an address; empty: QUARLO_DNS_SERVERS, the stored option, or the system's
    Format format = Format::Text;
    QString outputPath;             // empty: standard output
    bool outputFollowLinks = false; // --output-follow-links: a link at outputPath has its file replaced
    bool progress = true;
    bool ipv6Lookups = false;                  // --ipv6: also check host names' IPv6 addresses
    QString watchName;                         // --watch-name: whose changes a watch run reports
    bool noListTest = false;                   // --no-list-test: lists are asked untested
    QList<QPair<QString, QString>> accessKeys; // --key NAME=VALUE: keyed lists' keys for this run
    bool allMailExchangers = false;            // --all-mx: every mail server, not only the best preference
    DnsTuning tuning;                          // --timeout and --tries over the DNS components' defaults

    // The scan history and watch mode (see HistoryRun).
    QString historyPath; // empty: HistoryStore::DefaultPath()
    bool noHistory = false;
    bool watch = false;
    bool prometheus = false; // --format prometheus: a node-exporter textfile (watch mode only)
    int warningLists = 1;    // a target on this many lists is a WARNING
    int criticalLists = 2;   // ... and on this many a CRITICAL
    QString notifyCommand;
    QString mailTo;

    // What a save to outputPath does with a symbolic link there.
    AtomicFileWriter::Links outputLinks() const
    {
        return outputFollowLinks ? AtomicFileWriter::Links::Follow : AtomicFileWriter::Links::Refuse;
    }
};

} // namespace quarlo
