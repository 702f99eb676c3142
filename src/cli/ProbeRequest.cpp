#include "cli/ProbeRequest.h"

#include "cli/CheckTarget.h"
#include "cli/PrintableText.h"
#include "common/IpRange.h"

#include <QRegularExpression>
#include <QSet>

namespace quarlo {

QString ProbeRequest::key() const
{
    return target.toCaseFolded() + QLatin1Char('\n') + list;
}

std::optional<ProbeRequest> ProbeRequest::Parse(const QList<QPair<QString, QString>>& items, QString* why)
{
    ProbeRequest request;
    QSet<QString> given;
    for (const auto& [name, value] : items) {
        if (name != QLatin1String("target") && name != QLatin1String("list") && name != QLatin1String("watch")) {
            *why = QStringLiteral("unknown parameter \"%1\" (a probe takes target, list or watch)").arg(Excerpt(name));
            return std::nullopt;
        }
        if (given.contains(name)) {
            *why = QStringLiteral("%1 given twice").arg(name);
            return std::nullopt;
        }
        given.insert(name);
        if (name == QLatin1String("target"))
            request.target = value.trimmed();
        else if (name == QLatin1String("list"))
            request.list = value;
        else
            request.watch = value;
    }
    if (request.target.isEmpty()) {
        *why = QStringLiteral("no target (/probe?target=192.0.2.1)");
        return std::nullopt;
    }
    if (given.contains(QStringLiteral("list")) && given.contains(QStringLiteral("watch"))) {
        *why = QStringLiteral("list and watch exclude each other (a watch has its lists)");
        return std::nullopt;
    }
    // Only a plain file name: a client must not choose any file on the machine.
    static const QRegularExpression fileName(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9_.-]{0,99}$"));
    if (given.contains(QStringLiteral("list")) && !fileName.match(request.list).hasMatch()) {
        *why = QStringLiteral(
                   "list wants the file name of a configuration in the service's configuration folder, not \"%1\"")
                   .arg(Excerpt(request.list));
        return std::nullopt;
    }
    if (given.contains(QStringLiteral("watch"))
        && (request.watch.trimmed().isEmpty() || request.watch.size() > kMaxNameLength)) {
        *why = QStringLiteral("watch wants a watch's name of 1 to %1 characters").arg(kMaxNameLength);
        return std::nullopt;
    }
    if (request.target.size() > CheckTarget::kMaxLength) {
        *why = QStringLiteral("target longer than %1 characters: \"%2\"")
                   .arg(CheckTarget::kMaxLength)
                   .arg(Excerpt(request.target));
        return std::nullopt;
    }
    if (IpRange::LooksLikeRange(request.target)) {
        QString rangeWhy;
        const std::optional<IpRange> range = IpRange::Parse(request.target, &rangeWhy);
        if (!range) {
            *why = QStringLiteral("target \"%1\": %2").arg(Excerpt(request.target), rangeWhy);
            return std::nullopt;
        }
        if (range->Count() > kMaxAddresses) {
            *why =
                QStringLiteral("a probe checks at most %1 addresses (a /24), not %2; watch larger ranges with --watch")
                    .arg(kMaxAddresses)
                    .arg(range->Count());
            return std::nullopt;
        }
        for (qint64 i = 0; i < range->Count(); ++i) request.entries << range->AddressAt(i);
        return request;
    }
    const CheckTarget checked = CheckTarget::FromText(request.target);
    if (!checked.invalid.isEmpty()) {
        *why = QStringLiteral("target \"%1\": %2").arg(Excerpt(request.target), checked.invalid);
        return std::nullopt;
    }
    request.entries << request.target;
    return request;
}

} // namespace quarlo
