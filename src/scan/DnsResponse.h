#pragma once

#include "scan/DnsRecord.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace quarlo {

// The ResponseData of a DirectDns reply: the answer section's records,
// indexes counting from 0.
class DnsResponse {
public:
    // Sections are numbered as in the object model; only answers are kept.
    enum Section { AnswerSection = 1 };

    QString Tag() const { return tag_; }
    QString QueryName() const { return queryName_; }
    int AnswerCount() const { return static_cast<int>(answers_.size()); }

    // The record at index in section, or null.
    const DnsRecord* Answer(Section section, int index) const;

    void setTag(const QString& tag) { tag_ = tag; }
    void setQueryName(const QString& name) { queryName_ = name; }
    void addAnswer(const DnsRecord& record) { answers_.push_back(record); }

private:
    QString tag_;
    QString queryName_;
    std::vector<DnsRecord> answers_;
};

} // namespace quarlo
