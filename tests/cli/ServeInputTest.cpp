// What the service takes from its command line and its clients before any
// DNS query: listen addresses, watch schedules, probe parameters, and the
// cache, sharing and rate rules that keep probes from flooding the lists.
#include "cli/ClientRate.h"
#include "cli/MetricFamilies.h"
#include "cli/ProbeCache.h"
#include "cli/ProbeRequest.h"
#include "cli/ServeArguments.h"

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

using Items = QList<QPair<QString, QString>>;

} // namespace

TEST(ServeArgumentsTest, ListenAddressesDefaultToLoopback)
{
    struct Case {
        const char* text;
        const char* address; // nullptr: refused
        int port;
    };
    const Case cases[] = {
        {"9150", "127.0.0.1", 9150},
        {":9150", "127.0.0.1", 9150},
        {"0", "127.0.0.1", 0},
        {"0.0.0.0:9150", "0.0.0.0", 9150},
        {"192.0.2.5:80", "192.0.2.5", 80},
        {"[::1]:9150", "::1", 9150},
        {"[::]:9150", "::", 9150},
        {"::1:9150", nullptr, 0},       // IPv6 without brackets is ambiguous
        {"localhost:9150", nullptr, 0}, // a name could resolve to anything
        {"65536", nullptr, 0},
        {"-1", nullptr, 0},
        {"+80", nullptr, 0},
        {"", nullptr, 0},
        {"9150x", nullptr, 0},
    };
    for (const Case& c : cases) {
        QString why;
        const auto listen = ServeArguments::ParseListen(QString::fromLatin1(c.text), &why);
        if (!c.address) {
            EXPECT_FALSE(listen) << c.text;
            EXPECT_TRUE(why.startsWith("--serve wants")) << c.text << ": " << why.toStdString();
            continue;
        }
        ASSERT_TRUE(listen) << c.text << ": " << why.toStdString();
        EXPECT_EQ(listen->address, QHostAddress(QString::fromLatin1(c.address))) << c.text;
        EXPECT_EQ(listen->port, c.port) << c.text;
    }
}

TEST(ServeArgumentsTest, EveryTakesUnitsWithinBounds)
{
    QString why;
    EXPECT_EQ(ServeArguments::ParseEvery("90", &why), 90);
    EXPECT_EQ(ServeArguments::ParseEvery("30m", &why), 1800);
    EXPECT_EQ(ServeArguments::ParseEvery("1H", &why), 3600);
    EXPECT_EQ(ServeArguments::ParseEvery("7d", &why), 7 * 86400);
    for (const char* refused : {"59s", "0", "8d", "1w", "h", "", "1.5h", "99999999999"}) {
        why.clear();
        EXPECT_FALSE(ServeArguments::ParseEvery(QString::fromLatin1(refused), &why)) << refused;
        EXPECT_TRUE(why.startsWith("--every wants")) << refused;
    }
}

TEST(ServeArgumentsTest, EachEveryBelongsToTheWatchBeforeIt)
{
    QString why;
    const auto watches =
        ServeArguments::PairWatches({"--serve", "9150", "--watch", "a.BlackList", "--every", "10m", "--dns",
                                     "127.0.0.1", "--watch", "b.txt", "--watch", "c.txt", "--every=2h"},
                                    &why);
    ASSERT_TRUE(watches) << why.toStdString();
    ASSERT_EQ(watches->size(), 3u);
    EXPECT_EQ(watches->at(0).file, "a.BlackList");
    EXPECT_EQ(watches->at(0).everySeconds, 600);
    EXPECT_EQ(watches->at(1).file, "b.txt");
    EXPECT_EQ(watches->at(1).everySeconds, ServeArguments::kDefaultEverySeconds);
    EXPECT_EQ(watches->at(2).everySeconds, 7200);

    EXPECT_FALSE(ServeArguments::PairWatches({"--every", "1h", "--watch", "a.txt"}, &why));
    EXPECT_FALSE(ServeArguments::PairWatches({"--watch", "a.txt", "--every", "1h", "--every", "2h"}, &why));
    EXPECT_FALSE(ServeArguments::PairWatches({"--watch", "--every", "1h"}, &why));
    EXPECT_FALSE(ServeArguments::PairWatches({"--watch", "a.txt", "--every", "5s"}, &why));
    // After "--" everything is a positional argument, not a watch.
    const auto none = ServeArguments::PairWatches({"--", "--watch", "a.txt"}, &why);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST(ProbeRequestTest, RefusesWhatIsNotOneSmallTarget)
{
    struct Case {
        Items items;
        const char* reasonStart; // nullptr: accepted
    };
    const QString overlong(321, QLatin1Char('a'));
    const std::vector<Case> cases = {
        {{{"target", "192.0.2.1"}}, nullptr},
        {{{"target", " mail.example.org "}, {"watch", "servers"}}, nullptr},
        {{{"target", "postmaster@example.org"}, {"list", "other.cfg"}}, nullptr},
        {{{"target", "192.0.2.0/24"}}, nullptr},
        {{}, "no target"},
        {{{"target", "  "}}, "no target"},
        {{{"target", "192.0.2.1"}, {"module", "x"}}, "unknown parameter \"module\""},
        {{{"target", "192.0.2.1"}, {"target", "192.0.2.2"}}, "target given twice"},
        {{{"target", "192.0.2.1"}, {"list", "a.cfg"}, {"watch", "w"}}, "list and watch exclude"},
        {{{"target", "192.0.2.1"}, {"list", "../etc/passwd"}}, "list wants"},
        {{{"target", "192.0.2.1"}, {"list", "/etc/quarlo.cfg"}}, "list wants"},
        {{{"target", "192.0.2.1"}, {"list", ".hidden"}}, "list wants"},
        {{{"target", "192.0.2.1"}, {"watch", ""}}, "watch wants"},
        {{{"target", overlong}}, "target longer than 320"},
        {{{"target", "192.0.2.0/23"}}, "a probe checks at most 256"},
        {{{"target", "192.0.2.1-192.0.3.1"}}, "a probe checks at most 256"},
        {{{"target", "192.0.2.0/33"}}, "target \"192.0.2.0/33\""},
        {{{"target", "bad\x01name"}}, "target \""},
    };
    for (const Case& c : cases) {
        QString why;
        const auto probe = ProbeRequest::Parse(c.items, &why);
        const std::string given = c.items.isEmpty() ? "(none)" : c.items.first().second.left(40).toStdString();
        if (!c.reasonStart) {
            EXPECT_TRUE(probe) << given << ": " << why.toStdString();
            continue;
        }
        EXPECT_FALSE(probe) << given;
        EXPECT_TRUE(why.startsWith(QString::fromLatin1(c.reasonStart))) << given << ": " << why.toStdString();
        EXPECT_FALSE(why.contains('\n')) << "one line only";
        EXPECT_LT(why.size(), 160) << "bad input is quoted only as a short excerpt";
    }
}

TEST(ProbeRequestTest, RangesStandForTheirAddressesAndShareAKeyAcrossCase)
{
    QString why;
    const auto range = ProbeRequest::Parse({{"target", "192.0.2.0/30"}}, &why);
    ASSERT_TRUE(range);
    EXPECT_EQ(range->entries, (QStringList{"192.0.2.0", "192.0.2.1", "192.0.2.2", "192.0.2.3"}));
    const auto upper = ProbeRequest::Parse({{"target", "Mail.Example.ORG"}}, &why);
    const auto lower = ProbeRequest::Parse({{"target", "mail.example.org"}}, &why);
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(upper->key(), lower->key());
    const auto other = ProbeRequest::Parse({{"target", "mail.example.org"}, {"list", "other.cfg"}}, &why);
    ASSERT_TRUE(other);
    EXPECT_NE(other->key(), lower->key()) << "another set of lists is another answer";
}

TEST(ProbeCacheTest, ProbesOfOneTargetShareOneScanAndItsAnswer)
{
    ProbeCache cache(2, 60000);
    std::vector<QByteArray> got;
    auto collect = [&](const ProbeCache::Answer& answer) { got.push_back(answer.body); };
    EXPECT_EQ(cache.request("a", 0, collect), ProbeCache::Outcome::Started);
    EXPECT_EQ(cache.request("a", 10, collect), ProbeCache::Outcome::Joined);
    EXPECT_EQ(cache.running(), 1);
    EXPECT_TRUE(got.empty());
    cache.finish("a", {200, "answer a"}, 100);
    EXPECT_EQ(got, (std::vector<QByteArray>{"answer a", "answer a"}));
    EXPECT_EQ(cache.running(), 0);

    // Kept for the configured time, then asked again.
    EXPECT_EQ(cache.request("a", 60099, collect), ProbeCache::Outcome::Cached);
    EXPECT_EQ(got.back(), "answer a");
    EXPECT_EQ(cache.request("a", 60100, collect), ProbeCache::Outcome::Started);
    EXPECT_EQ(cache.scansStarted(), 2);
}

TEST(ProbeCacheTest, AtMostMaxScansRunAndFailuresAreNotKept)
{
    ProbeCache cache(2, 60000);
    int delivered = 0;
    auto count = [&](const ProbeCache::Answer&) { ++delivered; };
    EXPECT_EQ(cache.request("a", 0, count), ProbeCache::Outcome::Started);
    EXPECT_EQ(cache.request("b", 0, count), ProbeCache::Outcome::Started);
    EXPECT_EQ(cache.request("c", 0, count), ProbeCache::Outcome::Busy);
    // A busy service still lets probes join what runs.
    EXPECT_EQ(cache.request("b", 0, count), ProbeCache::Outcome::Joined);
    cache.finish("a", {500, "configuration broken"}, 10);
    EXPECT_EQ(cache.request("c", 20, count), ProbeCache::Outcome::Started);
    EXPECT_EQ(cache.request("a", 20, count), ProbeCache::Outcome::Busy) << "a failure is not answered from the cache";
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(cache.scansStarted(), 3);

    ProbeCache uncached(1, 0);
    EXPECT_EQ(uncached.request("a", 0, count), ProbeCache::Outcome::Started);
    uncached.finish("a", {200, "x"}, 1);
    EXPECT_EQ(uncached.request("a", 2, count), ProbeCache::Outcome::Started) << "--probe-cache 0 keeps nothing";
}

TEST(ClientRateTest, CountsPerClientAndMinute)
{
    ClientRate rate(3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(rate.allow("192.0.2.1", i));
    EXPECT_FALSE(rate.allow("192.0.2.1", 100));
    EXPECT_TRUE(rate.allow("192.0.2.2", 100)) << "another client has its own count";
    EXPECT_FALSE(rate.allow("192.0.2.1", 59999));
    EXPECT_TRUE(rate.allow("192.0.2.1", 60000)) << "a new minute starts a new count";
}

TEST(MetricFamiliesTest, EachFamilyOnceWithEveryTextsSamples)
{
    const QByteArray first = "# HELP quarlo_listed Listed.\n# TYPE quarlo_listed gauge\nquarlo_listed{watch=\"a\"} 1\n"
                             "# HELP quarlo_status Status.\n# TYPE quarlo_status gauge\nquarlo_status{watch=\"a\"} 2\n";
    const QByteArray second =
        "# HELP quarlo_listed Listed.\n# TYPE quarlo_listed gauge\nquarlo_listed{watch=\"b\"} 0\n"
        "# HELP quarlo_status Status.\n# TYPE quarlo_status gauge\nquarlo_status{watch=\"b\"} 0\n";
    const QByteArray own = "# HELP process_open_fds Fds.\n# TYPE process_open_fds gauge\nprocess_open_fds 7\n";
    EXPECT_EQ(MetricFamilies::Merge({first, second, own}),
              QByteArray("# HELP quarlo_listed Listed.\n# TYPE quarlo_listed gauge\n"
                         "quarlo_listed{watch=\"a\"} 1\nquarlo_listed{watch=\"b\"} 0\n"
                         "# HELP quarlo_status Status.\n# TYPE quarlo_status gauge\n"
                         "quarlo_status{watch=\"a\"} 2\nquarlo_status{watch=\"b\"} 0\n"
                         "# HELP process_open_fds Fds.\n# TYPE process_open_fds gauge\nprocess_open_fds 7\n"));
}
