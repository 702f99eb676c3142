#include "model/Responses.h"

#include "common/IpFunctions.h"
#include "model/Servers.h"

namespace quarlo {

void Response::setAddress(const QString& address)
{
    address_ = address;
    const ResultCodePtr code = server_ ? server_->ResultCodes().Item(address) : nullptr;
    reason_ = code ? code->Reason() : QStringLiteral("Undefined return code of ") + address;
}

void Responses::Add(const QString& serverName, const QString& address)
{
    const ServerPtr server = servers_ ? servers_->Item(serverName) : nullptr;
    if (!server) return;
    if (server->BitMapCodedResults()) {
        const int before = Count();
        for (const ResultCodePtr& code : server->ResultCodes())
            if (NetworkAddress(address, code->Address()) == code->Address()) addRecord(server, code->Address());
        if (Count() == before) addRecord(server, address);
    } else {
        for (const QString& piece : address.split(QLatin1Char(' '))) addRecord(server, piece);
    }
}

void Responses::AddTXTInfo(const QString& serverName, const QString& address, const QString& txtData)
{
    const ServerPtr server = servers_ ? servers_->Item(serverName) : nullptr;
    if (!server) return;
    if (server->BitMapCodedResults()) {
        for (const ResultCodePtr& code : server->ResultCodes())
            if (NetworkAddress(address, code->Address()) == code->Address()) setText(code->Address(), txtData);
        setText(address, txtData);
    } else {
        for (const QString& piece : address.split(QLatin1Char(' '))) setText(piece, txtData);
    }
}

void Responses::addRecord(const ServerPtr& server, const QString& key)
{
    if (items_.Contains(key)) return;
    items_.Add(key, std::make_shared<Response>(server, key));
}

void Responses::setText(const QString& key, const QString& txtData)
{
    if (const ResponsePtr response = items_.Item(key)) response->setTXTRecord(txtData);
}

} // namespace quarlo
