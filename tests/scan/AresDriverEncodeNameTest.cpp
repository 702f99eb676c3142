#include "scan/AresDriver.h"

#include <gtest/gtest.h>

namespace quarlo {
namespace {

TEST(AresDriverEncodeNameTest, AcceptsDnsNamesAndRejectsTheRest)
{
    const QString label63(63, QLatin1Char('a'));
    const QString label64(64, QLatin1Char('a'));
    // 4 labels of 63 plus 3 dots: 255 characters, over the 253 limit.
    const QString tooLong = QStringList{label63, label63, label63, label63}.join(QLatin1Char('.'));
    const struct {
        QString name;
        QByteArray encoded; // empty: rejected
    } cases[] = {
        {QStringLiteral("2.0.0.127.bl.test."), "2.0.0.127.bl.test."},
        {QStringLiteral("2.0.0.127.bl.test"), "2.0.0.127.bl.test"},
        {QStringLiteral("a"), "a"},
        {label63 + QStringLiteral(".test"), (label63 + QStringLiteral(".test")).toLatin1()},
        {QStringLiteral("b\u00fccher.example"), "xn--bcher-kva.example"},
        {QString(), ""},
        {QStringLiteral("."), ""},
        {QStringLiteral("a..b"), ""},
        {QStringLiteral(".a"), ""},
        {QStringLiteral("a.."), ""},
        {label64 + QStringLiteral(".test"), ""},
        {QStringLiteral("test.") + label64, ""},
        {tooLong, ""},
        {QStringLiteral("a b.test"), ""},
        {QStringLiteral("a\\.test"), ""},
        {QStringLiteral("a\tb"), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(AresDriver::EncodeName(c.name), c.encoded) << qPrintable(c.name);
}

} // namespace
} // namespace quarlo
