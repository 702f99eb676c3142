#include "storage/ServerConfigFile.h"

#include "model/Servers.h"
#include "storage/XmlDocumentFile.h"
#include "storage/XmlFunctions.h"

#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quarlo {
namespace {

bool nameIs(const pugi::xml_attribute& attribute, const char* upperName)
{
    return FromXml(attribute.name()).toUpper() == QLatin1String(upperName);
}

// A second name for the file costs nothing even for a huge one; a copy is
// the fallback where links are not possible.
bool KeepAside(const QString& path, const QString& backup)
{
    QFile::remove(backup);
#if defined(Q_OS_UNIX)
    if (::linkat(AT_FDCWD, QFile::encodeName(path).constData(), AT_FDCWD, QFile::encodeName(backup).constData(),
                 AT_SYMLINK_FOLLOW)
        == 0)
        return true;
#endif
    return QFile::copy(path, backup);
}

// A file that is there but could not be read whole: not well-formed, too
// large, no regular file, or one that cannot be opened.
bool Damaged(XmlDocumentFile::LoadStatus status, const QString& path)
{
    switch (status) {
    case XmlDocumentFile::LoadStatus::Loaded: return false;
    case XmlDocumentFile::LoadStatus::Missing: return QFileInfo::exists(path);
    case XmlDocumentFile::LoadStatus::Malformed:
    case XmlDocumentFile::LoadStatus::Failed: return true;
    }
    return true;
}

// The words TextToBool reads as true, turned round.
bool IsFalseText(const QString& value)
{
    const QString upper = value.trimmed().toUpper();
    return upper == QLatin1String("FALSE") || upper == QLatin1String("NO") || upper == QLatin1String("0")
        || upper == QLatin1String("N");
}

} // namespace

bool ServerConfigFile::ReadDocument(pugi::xml_document& doc, const QString& path, ErrorText& error)
{
    QString description;
    // Only a file that is not there is no error: a damaged one read as
    // "no servers" would have every scan call every address clean.
    if (Damaged(XmlDocumentFile::Load(doc, path, description, kMaxFileBytes), path)) {
        doc.reset();
        error = {QString::fromUtf8(kCannotLoadText).arg(path), description};
        return false;
    }
    return true;
}

bool ServerConfigFile::Read(Servers& servers, const QString& path, ErrorText& error)
{
    pugi::xml_document doc;
    if (!ReadDocument(doc, path, error)) return false;
    for (const pugi::xpath_node& node : doc.select_nodes("/Quarlo/BlackListServers/Server")) {
        auto server = std::make_shared<Server>();
        if (LoadServer(*server, node.node())) servers.Add(server);
    }
    return true;
}

bool ServerConfigFile::LoadServer(Server& server, const pugi::xml_node& element)
{
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        const QString value = FromXml(attribute.value());
        if (nameIs(attribute, "NAME"))
            server.setName(value);
        else if (nameIs(attribute, "SERVER"))
            server.setZone(value);
        else if (nameIs(attribute, "URL"))
            server.setURL(value);
        else if (nameIs(attribute, "ENABLED"))
            server.setEnabled(TextToBool(value));
        else if (nameIs(attribute, "IPV6"))
            server.setAnswersIPv6(TextToBool(value));
        else if (nameIs(attribute, "PUBLIC"))
            server.setPublic(TextToBool(value));
        else if (nameIs(attribute, "KEY"))
            server.setKeyName(value.trimmed());
        else if (nameIs(attribute, "DNSSERVERS"))
            server.setDnsServers(value.trimmed());
        // Only a clear "False" turns the test off: a garbled value keeps the
        // safer default, which trusts no answer of a list that fails it.
        else if (nameIs(attribute, "SELFTEST"))
            server.setSelfTest(!IsFalseText(value));
        // Anything but "Domain" keeps the usual kind, so an unknown word
        // from a newer file asks the zone as before.
        else if (nameIs(attribute, "LISTKIND"))
            server.setKind(value.trimmed().compare(QLatin1String("Domain"), Qt::CaseInsensitive) == 0
                               ? Server::ListKind::DomainList
                               : Server::ListKind::IPList);
    }
    const pugi::xpath_node bitMask = element.select_node("ResultCodes/@BitMaskCoded");
    if (bitMask) server.setBitMapCodedResults(TextToBool(FromXml(bitMask.attribute().value())));
    const bool hasCodes = LoadResultCodes(server.ResultCodes(), element.select_nodes("ResultCodes/ResultCode"));
    return !server.Zone().isEmpty() && hasCodes;
}

bool ServerConfigFile::LoadResultCodes(ResultCodes& codes, const pugi::xpath_node_set& elements)
{
    codes.Clear();
    bool added = false;
    for (const pugi::xpath_node& node : elements) {
        QString address, reason;
        bool listing = true;
        for (const pugi::xml_attribute& attribute : node.node().attributes()) {
            if (nameIs(attribute, "ADDRESS"))
                address = FromXml(attribute.value());
            else if (nameIs(attribute, "REASON"))
                reason = FromXml(attribute.value());
            else if (nameIs(attribute, "LISTING"))
                listing = TextToBool(FromXml(attribute.value()));
        }
        const int held = codes.Count();
        const ResultCodePtr code = codes.Add(address, reason);
        if (!code) continue;
        added = true;
        // A repeated address gets the held entry back; its first definition
        // stays whole, flag included.
        if (codes.Count() > held) code->setListing(listing);
    }
    return added;
}

void ServerConfigFile::SyncServer(const Server& server, pugi::xml_node parent)
{
    pugi::xml_node element = AddElement(parent, QStringLiteral("Server"), QString());
    SetAttribute(element, QStringLiteral("Server"), server.Zone());
    SetAttribute(element, QStringLiteral("Enabled"), BoolToText(server.Enabled()));
    SetAttribute(element, QStringLiteral("URL"), server.URL());
    SetAttribute(element, QStringLiteral("Name"), server.StoredName());
    // Written only when they differ from the default, so older files keep
    // their bytes.
    if (server.IsDomainList()) SetAttribute(element, QStringLiteral("ListKind"), QStringLiteral("Domain"));
    if (server.AnswersIPv6()) SetAttribute(element, QStringLiteral("IPv6"), QStringLiteral("True"));
    if (!server.SelfTest()) SetAttribute(element, QStringLiteral("SelfTest"), QStringLiteral("False"));
    if (server.Public()) SetAttribute(element, QStringLiteral("Public"), QStringLiteral("True"));
    // The key's name only; its value lives in the user's own settings.
    if (!server.StoredKeyName().isEmpty()) SetAttribute(element, QStringLiteral("Key"), server.StoredKeyName());
    if (!server.DnsServers().isEmpty()) SetAttribute(element, QStringLiteral("DnsServers"), server.DnsServers());
    pugi::xml_node codes = AddElement(element, QStringLiteral("ResultCodes"), QString());
    if (server.BitMapCodedResults()) SetAttribute(codes, QStringLiteral("BitMaskCoded"), QStringLiteral("True"));
    SyncResultCodes(server.ResultCodes(), codes);
}

void ServerConfigFile::SyncResultCodes(const ResultCodes& codes, pugi::xml_node parent)
{
    for (const ResultCodePtr& code : codes) {
        pugi::xml_node element = AddElement(parent, QStringLiteral("ResultCode"), QString());
        SetAttribute(element, QStringLiteral("Address"), code->Address());
        SetAttribute(element, QStringLiteral("Reason"), code->Reason());
        // Written only for the exception, so files without refusal codes
        // keep their bytes.
        if (!code->Listing()) SetAttribute(element, QStringLiteral("Listing"), QStringLiteral("False"));
    }
}

bool ServerConfigFile::Write(const Servers& servers, const QString& path, ErrorText& error)
{
    pugi::xml_document doc;
    pugi::xml_node list =
        AddElement(AddElement(doc, QStringLiteral("Quarlo"), QString()), QStringLiteral("BlackListServers"), QString());
    for (const ServerPtr& server : servers) SyncServer(*server, list);
    return WriteDocument(doc, path, error);
}

bool ServerConfigFile::WriteDocument(const pugi::xml_document& doc, const QString& path, ErrorText& error)
{
    QString description;
    // Keep a file we could not read aside instead of replacing it with what
    // little we loaded from it.
    pugi::xml_document existing;
    const XmlDocumentFile::LoadStatus status = XmlDocumentFile::Load(existing, path, description, kMaxFileBytes);
    // A directory or device is never replaced, so it needs no keeping.
    if (Damaged(status, path) && QFileInfo(path).isFile()) {
        const QString backup = path + QStringLiteral(".bak");
        if (!KeepAside(path, backup)) {
            error = {QString::fromUtf8(kCannotSaveText).arg(path), QString::fromUtf8(kCannotKeepText).arg(backup)};
            return false;
        }
    }
    if (!XmlDocumentFile::Save(doc, path, description)) {
        error = {QString::fromUtf8(kCannotSaveText).arg(path), description};
        return false;
    }
    return true;
}

QString ServerConfigFile::PathForExecutable(const QString& executablePath)
{
    const QFileInfo info(executablePath);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".cfg");
}

} // namespace quarlo
