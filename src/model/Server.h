#pragma once

#include "model/ResultCodes.h"

#include <QString>
#include <memory>

namespace quarlo {

// One blacklist server: a DNS zone, how to present it, and its answer table.
// Shared by reference between the server collection, dialogs and the results
// that name it.
class Server {
public:
    // What the zone is asked about: addresses (reversed, the usual kind) or
    // domain names.
    enum class ListKind { IPList, DomainList };

    // The stored display name, or the zone when no name is stored.
    QString Name() const { return name_.isEmpty() ? zone_ : name_; }
    QString StoredName() const { return name_; }
    void setName(const QString& name) { name_ = name; }

    // The DNS zone (the "Server" property of the object model; a member
    // cannot share the class's name in C++). It is also the server's key in
    // the collection.
    QString Zone() const { return zone_; }
    void setZone(const QString& zone)
    {
        zone_ = zone;
        needsKey_ = zone_.contains(kKeyPlaceholder, Qt::CaseInsensitive);
    }

    QString URL() const { return url_; }
    void setURL(const QString& url) { url_ = url; }

    bool Enabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }

    bool BitMapCodedResults() const { return bitMapCoded_; }
    void setBitMapCodedResults(bool on) { bitMapCoded_ = on; }

    ListKind Kind() const { return kind_; }
    void setKind(ListKind kind) { kind_ = kind; }
    bool IsDomainList() const { return kind_ == ListKind::DomainList; }

    // An IP list whose zone also answers nibble queries for IPv6 addresses.
    bool AnswersIPv6() const { return answersIPv6_; }
    void setAnswersIPv6(bool on) { answersIPv6_ = on; }

    // A list run by an outside operator: addresses of the special-purpose
    // registries (private, loopback, documentation ...) are never sent to it,
    // since its answer means nothing and the query shows the user's own
    // addressing to a stranger.
    bool Public() const { return public_; }
    void setPublic(bool on) { public_ = on; }

    // A zone holding the placeholder {key} ("{key}.zen.example.net") is an
    // operator's key-based service: the user's own access key is put in its
    // place when the list is asked, so neither files nor the zone's
    // identity ever hold it.
    static inline const QString kKeyPlaceholder = QStringLiteral("{key}");
    // Kept from setZone: a scan asks this for every query.
    bool NeedsKey() const { return needsKey_; }
    // The name the key is kept under: the "Key" attribute, else the label
    // of the zone before its last one ("example" for "{key}.zen.example.net").
    QString StoredKeyName() const { return keyName_; }
    void setKeyName(const QString& name) { keyName_ = name; }
    QString KeyName() const;

    // The DNS servers this list alone is asked through ("192.0.2.53,
    // 192.0.2.54:5353"), as written; empty: the program's DNS servers.
    QString DnsServers() const { return dnsServers_; }
    void setDnsServers(const QString& servers) { dnsServers_ = servers; }

    // Whether a scan first asks the list for its test entry and trusts its
    // "not listed" answers only when the entry is listed. Off only for a
    // list the user knows to have no test entry.
    bool SelfTest() const { return selfTest_; }
    void setSelfTest(bool on) { selfTest_ = on; }

    // The same table for the server's whole life.
    quarlo::ResultCodes& ResultCodes() { return resultCodes_; }
    const quarlo::ResultCodes& ResultCodes() const { return resultCodes_; }

private:
    QString name_;
    QString zone_;
    bool needsKey_ = false;
    QString url_;
    bool enabled_ = false;
    bool bitMapCoded_ = false;
    ListKind kind_ = ListKind::IPList;
    bool answersIPv6_ = false;
    bool selfTest_ = true;
    bool public_ = false;
    QString keyName_;
    QString dnsServers_;
    quarlo::ResultCodes resultCodes_;
};

using ServerPtr = std::shared_ptr<Server>;

} // namespace quarlo
