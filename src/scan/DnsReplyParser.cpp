#include "scan/DnsReplyParser.h"

#include <ares.h>
#include <arpa/inet.h>

#include <algorithm>
#include <utility>

namespace quarlo {
namespace {

constexpr int kHeaderSize = 12;

} // namespace

int DnsReplyParser::Addresses(const unsigned char* reply, int length, QStringList& addresses)
{
    if (!reply || length < kHeaderSize) return ARES_EBADRESP;
    // Room for every record the header announces; an A record takes at
    // least 16 bytes, which bounds what a lying header can make us reserve.
    const int announced = reply[6] << 8 | reply[7];
    int count = std::clamp(announced, 1, std::max(1, length / 16));
    std::vector<ares_addrttl> found(static_cast<size_t>(count));
    const int status = ares_parse_a_reply(reply, length, nullptr, found.data(), &count);
    if (status != ARES_SUCCESS) return status;
    if (count <= 0) return ARES_ENODATA;
    for (int i = 0; i < count; ++i) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &found[static_cast<size_t>(i)].ipaddr, text, sizeof text);
        addresses.append(QString::fromLatin1(text));
    }
    return ARES_SUCCESS;
}

int DnsReplyParser::Addresses6(const unsigned char* reply, int length, QStringList& addresses)
{
    if (!reply || length < kHeaderSize) return ARES_EBADRESP;
    // An AAAA record takes at least 28 bytes.
    const int announced = reply[6] << 8 | reply[7];
    int count = std::clamp(announced, 1, std::max(1, length / 28));
    std::vector<ares_addr6ttl> found(static_cast<size_t>(count));
    const int status = ares_parse_aaaa_reply(reply, length, nullptr, found.data(), &count);
    if (status != ARES_SUCCESS) return status;
    if (count <= 0) return ARES_ENODATA;
    for (int i = 0; i < count; ++i) {
        char text[INET6_ADDRSTRLEN] = {};
        inet_ntop(AF_INET6, &found[static_cast<size_t>(i)].ip6addr, text, sizeof text);
        addresses.append(QString::fromLatin1(text));
    }
    return ARES_SUCCESS;
}

int DnsReplyParser::MailExchangers(const unsigned char* reply, int length, QStringList& hosts)
{
    if (!reply || length < kHeaderSize) return ARES_EBADRESP;
    ares_mx_reply* list = nullptr;
    const int status = ares_parse_mx_reply(reply, length, &list);
    if (status != ARES_SUCCESS) return status;
    std::vector<std::pair<unsigned short, QString>> records;
    for (const ares_mx_reply* mx = list; mx; mx = mx->next) {
        QString host = QString::fromUtf8(mx->host);
        if (host == QLatin1String(".")) host.clear(); // null MX: no mail accepted
        records.emplace_back(mx->priority, host);
    }
    ares_free_data(list);
    // Callers take the first as the mail exchanger to use.
    std::stable_sort(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& record : records) hosts.append(std::move(record.second));
    return ARES_SUCCESS;
}

int DnsReplyParser::Texts(const unsigned char* reply, int length, QStringList& texts)
{
    if (!reply || length < kHeaderSize) return ARES_EBADRESP;
    ares_txt_ext* list = nullptr;
    const int status = ares_parse_txt_reply_ext(reply, length, &list);
    if (status != ARES_SUCCESS) return status;
    // c-ares gives one node per character-string; record_start marks the
    // first string of each record.
    QByteArray text;
    bool open = false;
    for (const ares_txt_ext* node = list; node; node = node->next) {
        if (node->record_start && open) {
            texts.append(QString::fromUtf8(text));
            text.clear();
        }
        open = true;
        text.append(reinterpret_cast<const char*>(node->txt), static_cast<qsizetype>(node->length));
    }
    if (open) texts.append(QString::fromUtf8(text));
    ares_free_data(list);
    return ARES_SUCCESS;
}

std::vector<DnsRecord> DnsReplyParser::Records(int type, const unsigned char* reply, int length)
{
    QStringList data;
    if (type == DnsRecord::A)
        Addresses(reply, length, data);
    else if (type == DnsRecord::AAAA)
        Addresses6(reply, length, data);
    else if (type == DnsRecord::MX)
        MailExchangers(reply, length, data);
    else if (type == DnsRecord::TXT)
        Texts(reply, length, data);
    std::vector<DnsRecord> records;
    records.reserve(static_cast<size_t>(data.size()));
    for (const QString& text : data) records.push_back(DnsRecord{text, type});
    return records;
}

} // namespace quarlo
