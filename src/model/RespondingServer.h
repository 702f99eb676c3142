#pragma once

#include "model/Responses.h"

#include <QString>

namespace quarlo {

// A blacklist server that answered for an address (a listing or a refusal),
// with its responses.
class RespondingServer {
public:
    RespondingServer(const QString& serverName, const Servers* servers) : serverName_(serverName), responses_(servers)
    {
    }

    const QString& ServerName() const { return serverName_; }
    void setServerName(const QString& name) { serverName_ = name; }
    QString ServerEnglishName() const { return englishName_; }
    // What the answer was about when a target has several things checked
    // (one of its addresses, or a domain); empty otherwise.
    QString Subject() const { return subject_; }
    void setSubject(const QString& subject) { subject_ = subject; }
    void setServerEnglishName(const QString& name) { englishName_ = name; }

    void AddTXTInfo(const QString& address, const QString& txtData)
    {
        responses_.AddTXTInfo(serverName_, address, txtData);
    }

    // Whether any of its responses is a listing; a server that only refused
    // the query did not list the address.
    bool Listing() const
    {
        for (const ResponsePtr& response : responses_)
            if (response->Listing()) return true;
        return false;
    }

    quarlo::Responses& Responses() { return responses_; }
    const quarlo::Responses& Responses() const { return responses_; }

private:
    QString serverName_;
    QString englishName_;
    QString subject_;
    quarlo::Responses responses_;
};

using RespondingServerPtr = std::shared_ptr<RespondingServer>;

} // namespace quarlo
