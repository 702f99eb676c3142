#include "storage/AddressListFile.h"

#include "storage/XmlDocumentFile.h"
#include "storage/XmlFunctions.h"

namespace quarlo {

bool AddressListFile::Read(const QString& path, QStringList& targets, QString& description)
{
    pugi::xml_document doc;
    if (XmlDocumentFile::Load(doc, path, description, kMaxFileBytes) != XmlDocumentFile::LoadStatus::Loaded)
        return false;
    for (const pugi::xpath_node& node : doc.select_nodes("/AddressList/Address")) {
        for (const pugi::xml_attribute& attribute : node.node().attributes()) {
            if (FromXml(attribute.name()).toUpper() == QLatin1String("TARGET"))
                targets.append(FromXml(attribute.value()));
        }
    }
    return true;
}

bool AddressListFile::Write(const QStringList& targets, const QString& path, QString& description)
{
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("AddressList");
    for (const QString& target : targets) {
        pugi::xml_node element = AddElement(root, QStringLiteral("Address"), QString());
        if (!target.isEmpty()) SetAttribute(element, QStringLiteral("Target"), target);
    }
    return XmlDocumentFile::Save(doc, path, description);
}

} // namespace quarlo
