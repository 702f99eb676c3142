#include "model/Responses.h"

#include "common/IpFunctions.h"
#include "model/Servers.h"

namespace quarlo {

void Response::setAddress(const QString& address)
{
    address_ = address;
    const ResultCodePtr code = server_ ? server_->ResultCodes().Item(address) : nullptr;
    reason_ = code ? code->Reason() : QString::fromUtf8(kUndefinedCodeText).arg(address);
    listing_ = code ? code->Listing() : true;
}

namespace {

// Whether a bit-mask coded answer carries the code. A refusal code is an
// answer of its own, not a bit: it matches only exactly, so a listing whose
// bits happen to include it is not taken for a refusal.
bool carries(const QString& answer, const ResultCode& code)
{
    if (!code.Listing()) return answer == code.Address();
    return NetworkAddress(answer, code.Address()) == code.Address();
}

QStringList answers(const QString& text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

void Responses::Add(const QString& serverName, const QString& address)
{
    const ServerPtr server = servers_ ? servers_->Item(serverName) : nullptr;
    if (!server) return;
    // The lookup control joins several answer addresses with blanks; each
    // is decoded on its own.
    for (const QString& piece : answers(address)) {
        if (!server->BitMapCodedResults()) {
            addRecord(server, piece);
            continue;
        }
        // An answer that is a refusal code is that refusal, not a set of bits.
        bool refusal = false;
        for (const ResultCodePtr& code : server->ResultCodes())
            if (!code->Listing() && code->Address() == piece) refusal = true;
        if (refusal) {
            addRecord(server, piece);
            continue;
        }
        const int before = Count();
        for (const ResultCodePtr& code : server->ResultCodes())
            if (carries(piece, *code)) addRecord(server, code->Address());
        if (Count() == before) addRecord(server, piece);
    }
}

void Responses::AddTXTInfo(const QString& serverName, const QString& address, const QString& txtData)
{
    const ServerPtr server = servers_ ? servers_->Item(serverName) : nullptr;
    if (!server) return;
    for (const QString& piece : answers(address)) {
        if (server->BitMapCodedResults())
            for (const ResultCodePtr& code : server->ResultCodes())
                if (carries(piece, *code)) setText(code->Address(), txtData);
        setText(piece, txtData);
    }
}

void Responses::addRecord(const ServerPtr& server, const QString& key)
{
    if (items_.Contains(key)) return;
    // The list's own text of a known code is shared, not copied per listing.
    const ResultCodePtr code = server ? server->ResultCodes().Item(key) : nullptr;
    const QString kept = code && code->Address() == key ? code->Address() : key;
    items_.Add(kept, std::make_shared<Response>(server, kept));
}

void Responses::setText(const QString& key, const QString& txtData)
{
    if (const ResponsePtr response = items_.Item(key)) response->setTXTRecord(txtData);
}

} // namespace quarlo
