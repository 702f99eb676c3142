#pragma once

#include "model/Server.h"

#include <QByteArray>
#include <QString>

namespace quarlo {

// One listing answer of one server, with the reason it stands for and the
// server's TXT explanation.
class Response {
public:
    Response(ServerPtr server, const QString& address) : server_(std::move(server)) { setAddress(address); }

    // The text a list keeps per listing: a hostile or broken server can send
    // tens of kilobytes per answer, and thousands of answers per scan.
    static constexpr qsizetype kMaxTXTLength = 2048;
    static inline const QString kCutMark = QStringLiteral(" [...]");

    QString TXTRecord() const { return QString::fromUtf8(txtRecord_); }
    // Keeps the first kMaxTXTLength characters, marked as cut. Held as
    // UTF-8: a scan of a large network keeps hundreds of thousands of these
    // texts, nearly all ASCII.
    void setTXTRecord(const QString& text)
    {
        txtRecord_ = (text.size() <= kMaxTXTLength ? text : text.left(kMaxTXTLength) + kCutMark).toUtf8();
        txtRecord_.squeeze(); // the conversion leaves room for three bytes a character
    }
    const ServerPtr& Server() const { return server_; }
    void setServer(const ServerPtr& server)
    {
        server_ = server;
        setAddress(address_);
    }
    QString Address() const { return address_; }
    QString Reason() const { return reason_; }
    // False when the result code says the answer is a refusal, not a
    // listing; an answer without a result code counts as a listing.
    bool Listing() const { return listing_; }

    // Setting the address derives the reason from the server's result codes.
    void setAddress(const QString& address);

private:
    ServerPtr server_;
    QString address_;
    QString reason_;
    QByteArray txtRecord_;
    bool listing_ = true;
};

using ResponsePtr = std::shared_ptr<Response>;

} // namespace quarlo
