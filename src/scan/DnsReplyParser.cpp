#include "scan/DnsReplyParser.h"

#include <ares.h>
#include <arpa/inet.h>

#include <QHash>

#include <algorithm>
#include <utility>

namespace quarlo {
namespace {

constexpr int kHeaderSize = 12;

// The addresses of a reply's A or AAAA records as text. Room is reserved for
// every record the header announces, bounded by the smallest size such a
// record takes (minRecord), so a lying header cannot make us reserve more.
template <typename AddrTtl, typename Parse, typename Address>
int ParseAddresses(const unsigned char* reply, int length, QStringList& addresses, int minRecord, Parse parse,
                   Address address, int family)
{
    if (!reply || length < kHeaderSize) return ARES_EBADRESP;
    const int announced = reply[6] << 8 | reply[7];
    int count = std::clamp(announced, 1, std::max(1, length / minRecord));
    std::vector<AddrTtl> found(static_cast<size_t>(count));
    const int status = parse(reply, length, nullptr, found.data(), &count);
    if (status != ARES_SUCCESS) return status;
    if (count <= 0) return ARES_ENODATA;
    for (int i = 0; i < count; ++i) {
        char text[INET6_ADDRSTRLEN] = {};
        inet_ntop(family, address(found[static_cast<size_t>(i)]), text, sizeof text);
        addresses.append(QString::fromLatin1(text));
    }
    return ARES_SUCCESS;
}

} // namespace

int DnsReplyParser::Addresses(const unsigned char* reply, int length, QStringList& addresses)
{
    return ParseAddresses<ares_addrttl>(
        reply, length, addresses, 16, ares_parse_a_reply, [](const ares_addrttl& a) { return &a.ipaddr; }, AF_INET);
}

int DnsReplyParser::Addresses6(const unsigned char* reply, int length, QStringList& addresses)
{
    return ParseAddresses<ares_addr6ttl>(
        reply, length, addresses, 28, ares_parse_aaaa_reply, [](const ares_addr6ttl& a) { return &a.ip6addr; },
        AF_INET6);
}

int DnsReplyParser::MailExchangers(const unsigned char* reply, int length, QStringList& hosts, QList<int>* preferences)
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
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& record : records) {
        if (preferences) preferences->append(record.first);
        hosts.append(std::move(record.second));
    }
    return ARES_SUCCESS;
}

namespace {

// A name at offset of the message, lower-cased; false when unreadable.
// *next is the offset after the name as it stands there.
bool readName(const unsigned char* reply, int length, int offset, QByteArray* name, int* next)
{
    if (offset < 0 || offset >= length) return false;
    char* expanded = nullptr;
    long encoded = 0;
    if (ares_expand_name(reply + offset, reply, length, &expanded, &encoded) != ARES_SUCCESS) return false;
    *name = QByteArray(expanded).toLower();
    ares_free_string(expanded);
    *next = offset + static_cast<int>(encoded);
    return true;
}

} // namespace

bool DnsReplyParser::CnameChainBroken(const unsigned char* reply, int length)
{
    if (!reply || length < kHeaderSize) return false;
    const int questions = reply[4] << 8 | reply[5];
    const int answers = reply[6] << 8 | reply[7];
    if (questions < 1 || answers < 1) return false;
    QByteArray question;
    int at = 0;
    if (!readName(reply, length, kHeaderSize, &question, &at)) return false;
    at += 4;                               // type, class
    QHash<QByteArray, QByteArray> aliases; // owner -> target
    for (int i = 0; i < answers && at + 10 <= length; ++i) {
        QByteArray owner;
        if (!readName(reply, length, at, &owner, &at) || at + 10 > length) return false;
        const int type = reply[at] << 8 | reply[at + 1];
        const int rdlength = reply[at + 8] << 8 | reply[at + 9];
        at += 10;
        if (at + rdlength > length) return false;
        if (type == DnsRecord::CNAME) {
            QByteArray target;
            int unused = 0;
            if (readName(reply, length, at, &target, &unused) && !aliases.contains(owner))
                aliases.insert(owner, target);
        }
        at += rdlength;
    }
    QByteArray name = question;
    for (int links = 0; aliases.contains(name); ++links) {
        if (links >= kMaxCnameChain) return true;
        name = aliases.value(name);
        if (name == question) return true;
    }
    return false;
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
