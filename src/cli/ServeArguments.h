#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quarlo {

// What the command line of `quarlo-check --serve` says beyond the options
// every run shares: where to listen and which list files to watch how often.
class ServeArguments {
public:
    struct Listen {
        QHostAddress address;
        quint16 port = 0; // 0: any free port (the one chosen is printed)
    };
    struct Watch {
        QString file;
        int everySeconds = 0;
    };

    static constexpr int kDefaultEverySeconds = 3600;
    // Lists are run by volunteers: a watch more often than this is abuse.
    static constexpr int kMinEverySeconds = 60;
    static constexpr int kMaxEverySeconds = 7 * 86400;

    // "[ADDRESS:]PORT": "9150", "127.0.0.1:9150", "[::1]:9150",
    // "0.0.0.0:9150". Without an address (or with an empty one) only
    // loopback is served: nobody else reaches it unless asked for.
    static std::optional<Listen> ParseListen(const QString& text, QString* why);

    // "90", "90s", "30m", "1h", "2d" in seconds, within the bounds above.
    static std::optional<int> ParseEvery(const QString& text, QString* why);

    // Pairs every "--watch FILE" with the "--every DURATION" that follows
    // it (before the next --watch); a watch without one runs hourly. The
    // option parser cannot tell which --every belongs to which --watch, so
    // this reads the arguments in order.
    static std::optional<std::vector<Watch>> PairWatches(const QStringList& arguments, QString* why);
};

} // namespace quarlo
