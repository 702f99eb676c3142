#include "model/ServerDefinition.h"

#include <QStringList>

namespace quarlo {
namespace {

void CopyCodes(ResultCodes& target, const ResultCodes& source)
{
    target.Clear();
    for (const ResultCodePtr& code : source)
        if (const ResultCodePtr copy = target.Add(code->Address(), code->Reason())) copy->setListing(code->Listing());
}

} // namespace

ServerPtr CopyServer(const Server& server)
{
    auto copy = std::make_shared<Server>();
    AssignServer(*copy, server);
    return copy;
}

void AssignServer(Server& target, const Server& source)
{
    if (&target == &source) return;
    target.setName(source.StoredName());
    target.setZone(source.Zone());
    target.setURL(source.URL());
    target.setEnabled(source.Enabled());
    target.setBitMapCodedResults(source.BitMapCodedResults());
    target.setKind(source.Kind());
    target.setAnswersIPv6(source.AnswersIPv6());
    target.setSelfTest(source.SelfTest());
    target.setPublic(source.Public());
    target.setKeyName(source.StoredKeyName());
    target.setDnsServers(source.DnsServers());
    CopyCodes(target.ResultCodes(), source.ResultCodes());
}

bool SameDefinition(const Server& a, const Server& b)
{
    if (a.StoredName() != b.StoredName() || a.Zone().compare(b.Zone(), Qt::CaseInsensitive) != 0 || a.URL() != b.URL()
        || a.BitMapCodedResults() != b.BitMapCodedResults() || a.Kind() != b.Kind()
        || a.AnswersIPv6() != b.AnswersIPv6() || a.SelfTest() != b.SelfTest() || a.Public() != b.Public()
        || a.StoredKeyName() != b.StoredKeyName() || a.DnsServers() != b.DnsServers()
        || a.ResultCodes().Count() != b.ResultCodes().Count())
        return false;
    auto other = b.ResultCodes().begin();
    for (const ResultCodePtr& code : a.ResultCodes()) {
        const ResultCodePtr theirs = *other;
        ++other;
        if (code->Address() != theirs->Address() || code->Reason() != theirs->Reason()
            || code->Listing() != theirs->Listing())
            return false;
    }
    return true;
}

QString Server::KeyName() const
{
    if (!keyName_.trimmed().isEmpty()) return keyName_.trimmed();
    const QStringList labels = zone_.trimmed().split(QLatin1Char('.'), Qt::SkipEmptyParts);
    return labels.size() >= 2 ? labels[labels.size() - 2] : QString();
}

} // namespace quarlo
