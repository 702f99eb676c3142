#pragma once

#include "model/TargetResolution.h"
#include "scan/TargetResolver.h"

#include <QObject>
#include <QString>

namespace quarlo {

class DnsLookup;

// Looks targets up for whoever shows them before they join a list (the
// add-addresses dialog), by the same rules a scan uses (TargetResolver), over
// the shared lookup control. Its tags start with "+", which no address's
// key does, so the list leaves its replies alone.
class TargetLookup : public QObject {
    Q_OBJECT
public:
    explicit TargetLookup(DnsLookup& dns, QObject* parent = nullptr);

    void setOptions(const TargetResolver::Options& options) { resolver_.setOptions(options); }

    // What a typed entry needs before it can be shown: nothing (an address
    // or address literal), a lookup, or nothing because it cannot be one
    // (*why says why).
    enum class Need { Nothing, Lookup, Invalid };
    static Need Classify(const QString& text, ResolveRequest* request, QString* why);

    // Starts looking up text for key (no ":"); Looked follows once. False
    // when text needs no lookup or cannot be looked up.
    bool Look(const QString& key, const QString& text);
    // Forgets the lookup for key; its replies are dropped.
    void Forget(const QString& key) { resolver_.Forget(QLatin1Char('+') + key); }
    // Forgets every lookup started; their replies are dropped.
    void Clear() { resolver_.Clear(); }

signals:
    void Looked(const QString& key, const quarlo::TargetResolution& resolution);

private:
    void onLookupComplete(const QString& answer, int failureFlag, const QString& tag);

    DnsLookup& dns_;
    TargetResolver resolver_;
};

} // namespace quarlo
