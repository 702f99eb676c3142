#include "cli/ServeArguments.h"

#include "cli/PrintableText.h"

#include <QRegularExpression>

namespace quarlo {

std::optional<ServeArguments::Listen> ServeArguments::ParseListen(const QString& text, QString* why)
{
    const QString trimmed = text.trimmed();
    QString host;
    QString portText = trimmed;
    const qsizetype colon = trimmed.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        host = trimmed.left(colon);
        portText = trimmed.mid(colon + 1);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        else if (host.contains(QLatin1Char(':')))
            host.clear(), portText.clear(); // a bare IPv6 address: ambiguous
    }
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (!ok || port < 0 || port > 65535 || portText.startsWith(QLatin1Char('+'))
        || portText.startsWith(QLatin1Char('-'))) {
        *why = QStringLiteral("--serve wants [ADDRESS:]PORT (9150, 127.0.0.1:9150, [::1]:9150), not \"%1\"")
                   .arg(Excerpt(text));
        return std::nullopt;
    }
    Listen listen;
    listen.port = static_cast<quint16>(port);
    if (host.isEmpty()) {
        listen.address = QHostAddress(QHostAddress::LocalHost);
        return listen;
    }
    if (!listen.address.setAddress(host)) {
        *why = QStringLiteral("--serve wants an IP address to listen on (0.0.0.0 for every one), not \"%1\"")
                   .arg(Excerpt(host));
        return std::nullopt;
    }
    return listen;
}

std::optional<int> ServeArguments::ParseEvery(const QString& text, QString* why)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,9})\\s*([smhd]?)\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    qint64 seconds = -1;
    if (match.hasMatch()) {
        const qint64 number = match.captured(1).toLongLong();
        const QChar unit = match.captured(2).isEmpty() ? QLatin1Char('s') : match.captured(2).at(0).toLower();
        const qint64 factor = unit == QLatin1Char('d') ? 86400
            : unit == QLatin1Char('h')                 ? 3600
            : unit == QLatin1Char('m')                 ? 60
                                                       : 1;
        seconds = number * factor;
    }
    if (seconds < kMinEverySeconds || seconds > kMaxEverySeconds) {
        *why = QStringLiteral("--every wants a time from 1m to 7d (90s, 30m, 1h, 2d), not \"%1\"").arg(Excerpt(text));
        return std::nullopt;
    }
    return static_cast<int>(seconds);
}

std::optional<std::vector<ServeArguments::Watch>> ServeArguments::PairWatches(const QStringList& arguments,
                                                                              QString* why)
{
    std::vector<Watch> watches;
    bool everyGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--")) break;
        if (argument == QLatin1String("--watch")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(QLatin1Char('-'))) {
                *why = QStringLiteral("with --serve, --watch wants the list FILE to watch");
                return std::nullopt;
            }
            watches.push_back({arguments.at(++i), kDefaultEverySeconds});
            everyGiven = false;
            continue;
        }
        QString value;
        if (argument == QLatin1String("--every")) {
            if (i + 1 >= arguments.size()) {
                *why = QStringLiteral("--every wants a time (30m, 1h, ...)");
                return std::nullopt;
            }
            value = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--every="))) {
            value = argument.mid(8);
        } else {
            continue;
        }
        if (watches.empty() || everyGiven) {
            *why = QStringLiteral("each --every goes after the --watch FILE it applies to");
            return std::nullopt;
        }
        const std::optional<int> seconds = ParseEvery(value, why);
        if (!seconds) return std::nullopt;
        watches.back().everySeconds = *seconds;
        everyGiven = true;
    }
    return watches;
}

} // namespace quarlo
