#include "common/PublicSuffixList.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

PublicSuffixList sampleList()
{
    PublicSuffixList list;
    list.AddRules(QString::fromUtf8("// comment line\n"
                                    "com\n"
                                    "uk\n"
                                    "co.uk\n"
                                    "  jp   trailing words are ignored\n"
                                    "*.kobe.jp\n"
                                    "!city.kobe.jp\n"
                                    "*.ck\n"
                                    "!www.ck\n"
                                    "\u9999\u6e2f\n" // an international rule, kept in ASCII
                                    "s3.amazonaws.com\n"));
    return list;
}

} // namespace

TEST(PublicSuffixListTest, RegisteredDomainsFollowRulesWildcardsAndExceptions)
{
    const PublicSuffixList list = sampleList();
    struct Case {
        const char* host;
        const char* suffix;
        const char* registered; // "" when the host is a public suffix itself
    };
    const Case cases[] = {
        {"example.com", "com", "example.com"},
        {"www.mail.Example.COM", "com", "example.com"},
        {"example.com.", "com", "example.com"},
        {"com", "com", ""},
        {"www.example.co.uk", "co.uk", "example.co.uk"},
        {"co.uk", "co.uk", ""},
        {"example.uk", "uk", "example.uk"},
        {"a.b.example.kobe.jp", "example.kobe.jp", "b.example.kobe.jp"}, // wildcard: any label under kobe.jp
        {"example.kobe.jp", "example.kobe.jp", ""},
        {"www.city.kobe.jp", "kobe.jp", "city.kobe.jp"}, // exception beats the wildcard
        {"city.kobe.jp", "kobe.jp", "city.kobe.jp"},
        {"www.ck", "ck", "www.ck"},
        {"a.other.ck", "other.ck", "a.other.ck"},
        {"bucket.s3.amazonaws.com", "s3.amazonaws.com", "bucket.s3.amazonaws.com"},
        {"example.xn--j6w193g", "xn--j6w193g", "example.xn--j6w193g"},
        {"host.example.unlisted", "unlisted", "example.unlisted"}, // the default rule "*"
        {"localhost", "localhost", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(list.PublicSuffix(c.host), QString::fromUtf8(c.suffix)) << c.host;
        EXPECT_EQ(list.RegisteredDomain(c.host), QString::fromUtf8(c.registered)) << c.host;
    }
}

TEST(PublicSuffixListTest, LoadingIsBoundedAndSkipsOverlongLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("list.dat");
    // An overlong line is dropped whole: its tail must not become a rule.
    spit(path, "com\n" + QByteArray(PublicSuffixList::kMaxLineLength * 3, 'x') + "tail.example\nco.uk\n");
    PublicSuffixList list;
    QString error;
    ASSERT_TRUE(list.Load(path, &error)) << error.toStdString();
    EXPECT_EQ(list.RuleCount(), 2);
    EXPECT_EQ(list.RegisteredDomain("a.b.tail.example"), "tail.example"); // not a rule
    EXPECT_EQ(list.RegisteredDomain("www.example.co.uk"), "example.co.uk");

    PublicSuffixList empty;
    EXPECT_FALSE(empty.Load(dir.filePath("missing.dat"), &error));
    spit(dir.filePath("comments.dat"), "// nothing but comments\n\n");
    EXPECT_FALSE(empty.Load(dir.filePath("comments.dat"), &error));
    EXPECT_EQ(error, "no rules found");
}

TEST(PublicSuffixListTest, TheSharedListKnowsRealSuffixes)
{
    // The system copy or the bundled one: either holds these rules.
    const PublicSuffixList& list = PublicSuffixList::Shared();
    ASSERT_FALSE(PublicSuffixList::SharedSource().isEmpty());
    EXPECT_GT(list.RuleCount(), 5000);
    EXPECT_EQ(list.RegisteredDomain("www.example.co.uk"), "example.co.uk");
    EXPECT_EQ(list.RegisteredDomain("mail.example.com.au"), "example.com.au");
    EXPECT_EQ(list.RegisteredDomain("github.io"), "");
}
