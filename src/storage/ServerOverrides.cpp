#include "storage/ServerOverrides.h"

#include "model/ServerDefinition.h"
#include "model/Servers.h"
#include "storage/ServerConfigFile.h"
#include "storage/XmlFunctions.h"

namespace quarlo {
namespace {

const char* const kOverridesAttribute = "Overrides";

// Attribute names are matched without regard to case, as in the packaged file.
pugi::xml_attribute attributeNamed(const pugi::xml_node& element, const char* upperName)
{
    for (const pugi::xml_attribute& attribute : element.attributes())
        if (FromXml(attribute.name()).toUpper() == QLatin1String(upperName)) return attribute;
    return {};
}

} // namespace

bool ServerOverrides::IsOverrides(const pugi::xml_document& doc)
{
    const pugi::xml_node list = doc.child("Quarlo").child("BlackListServers");
    return list && TextToBool(FromXml(attributeNamed(list, "OVERRIDES").value()));
}

void ServerOverrides::Apply(Servers& servers, const pugi::xml_document& doc)
{
    for (const pugi::xpath_node& node : doc.select_nodes("/Quarlo/BlackListServers/Server")) {
        const pugi::xml_node element = node.node();
        const QString zone = FromXml(attributeNamed(element, "SERVER").value()).trimmed();
        if (zone.isEmpty()) continue;
        const ServerPtr held = servers.Item(zone);
        if (TextToBool(FromXml(attributeNamed(element, "DELETED").value()))) {
            servers.Remove(zone);
            continue;
        }
        if (element.select_node("ResultCodes/ResultCode")) {
            Server loaded;
            // An unusable definition (no valid code) is skipped; the
            // packaged one, if any, stays.
            if (!ServerConfigFile::LoadServer(loaded, element)) continue;
            if (held)
                AssignServer(*held, loaded);
            else
                servers.Add(CopyServer(loaded));
            continue;
        }
        // The enabled flag alone; one for a list the package no longer has
        // is dropped with it.
        const pugi::xml_attribute enabled = attributeNamed(element, "ENABLED");
        if (held && enabled) held->setEnabled(TextToBool(FromXml(enabled.value())));
    }
}

void ServerOverrides::Build(pugi::xml_document& doc, const Servers& packaged, const Servers& current)
{
    pugi::xml_node list =
        AddElement(AddElement(doc, QStringLiteral("Quarlo"), QString()), QStringLiteral("BlackListServers"), QString());
    SetAttribute(list, QString::fromLatin1(kOverridesAttribute), QStringLiteral("True"));
    for (const ServerPtr& original : packaged) {
        const ServerPtr now = current.Item(original->Zone());
        if (!now) {
            pugi::xml_node element = AddElement(list, QStringLiteral("Server"), QString());
            SetAttribute(element, QStringLiteral("Server"), original->Zone());
            SetAttribute(element, QStringLiteral("Deleted"), QStringLiteral("True"));
        } else if (!SameDefinition(*original, *now)) {
            ServerConfigFile::SyncServer(*now, list);
        } else if (original->Enabled() != now->Enabled()) {
            pugi::xml_node element = AddElement(list, QStringLiteral("Server"), QString());
            SetAttribute(element, QStringLiteral("Server"), original->Zone());
            SetAttribute(element, QStringLiteral("Enabled"), BoolToText(now->Enabled()));
        }
    }
    for (const ServerPtr& server : current)
        if (!packaged.Item(server->Zone())) ServerConfigFile::SyncServer(*server, list);
}

} // namespace quarlo
