#pragma once

#include "scan/DnsRecord.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace quarlo {

// The ResponseData of a DirectDns reply. Section 1 is the answer section;
// indexes count from 0.
class DnsResponse {
public:
    QString Tag() const { return tag_; }
    QString QueryName() const { return queryName_; }
    int AnswerCount() const { return static_cast<int>(answers_.size()); }

    // The record at index in section, or null.
    const DnsRecord* Answer(int section, int index) const;
    // The index-th record of recordType in section, or null.
    const DnsRecord* FindRecord(int section, int recordType, int index) const;

    // What a reply from whoever runs a domain's DNS may name, read with
    // suspicion: only text that is what it claims to be becomes a target.
    //
    // The preferred mail exchanger (the DNS layer sorts MX records by
    // preference). Null: the domain takes no mail (RFC 7505's "." or an
    // empty target).
    struct MailExchanger {
        enum class Kind { None, Host, Null, Invalid };
        Kind kind = Kind::None;
        QString host; // Host: without the final dot; Invalid: the text as given
    };
    MailExchanger PreferredExchanger() const;
    // The distinct IPv6 addresses of the AAAA records, at most
    // kMaxIPv6Addresses of them.
    static constexpr int kMaxIPv6Addresses = 16;
    QStringList IPv6Addresses() const;

    void setTag(const QString& tag) { tag_ = tag; }
    void setQueryName(const QString& name) { queryName_ = name; }
    void addAnswer(const DnsRecord& record) { answers_.push_back(record); }

private:
    QString tag_;
    QString queryName_;
    std::vector<DnsRecord> answers_;
};

} // namespace quarlo
