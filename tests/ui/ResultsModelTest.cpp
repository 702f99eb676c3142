#include "ResultsFixture.h"

#include "export/ResultCells.h"

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QImage>
#include <QSignalSpy>

using namespace quarlo;

namespace {

// Qt's model tester checks the model through every change.
class ResultsModelTest : public ResultsFixture {
protected:
    QAbstractItemModelTester tester{model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

} // namespace

TEST_F(ResultsModelTest, AddressRowShowsTheVerdictAndWhy)
{
    refuseWith("b.test", "127.0.0.255", "Query refused: public resolver");
    settings.BlacklistServers().Item("c.test")->setAnswersIPv6(true);
    scan({"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.4", "192.0.2.5", "host.invalid", "2001:db8::1",
          "fe80::1%eth0", "192.0.2.6"});
    // Listed by a, refused by b: one listing server, not two.
    reply("192.0.2.1", "a.test", "127.0.0.2");
    reply("192.0.2.1", "b.test", "127.0.0.255");
    reply("192.0.2.1", "c.test", "", kTimeout);
    for (const char* zone : {"a.test", "b.test", "c.test"}) reply("192.0.2.2", zone, "", kNoData);
    reply("192.0.2.3", "a.test", "", kTimeout);
    reply("192.0.2.3", "b.test", "", kNxDomain);
    reply("192.0.2.3", "c.test", "", kServFail);
    reply("192.0.2.4", "a.test", "", kNxDomain);
    reply("192.0.2.4", "b.test", "127.0.0.255");
    reply("192.0.2.4", "c.test", "", kNxDomain);
    reply("192.0.2.5", "a.test", "", kNxDomain);
    reply("2001:db8::1", "c.test", "", kNxDomain);
    reply("192.0.2.6", "a.test", "", kTimeout);
    reply("192.0.2.6", "b.test", "127.0.0.255");
    reply("192.0.2.6", "c.test", "", kNxDomain);
    ASSERT_TRUE(dns.answerName("host.invalid", "", kTimeout));
    list->AddTarget("192.0.2.9"); // after the scan's passes: not reached

    // The status cell of each: text, colour, weight, tooltip lines.
    const std::pair<const char*, QString> rows[] = {
        {"192.0.2.1",
         "Blacklisted by 1 servers | #ff0000 | bold | tip Not every list answered:\nBeta List refused the "
         "query: Query refused: public resolver\nGamma List: no usable answer (timed out)"},
        {"192.0.2.2", "Not on any Blacklist | #008000"},
        {"192.0.2.3",
         "Not completely checked: 2 of 3 lists did not answer | #b06000 | tip Alpha List: no usable answer "
         "(timed out)\nGamma List: no usable answer (server failure (SERVFAIL))"},
        {"192.0.2.4",
         "Not completely checked: 1 of 3 lists refused the query | #b06000 | tip Beta List refused the "
         "query: Query refused: public resolver"},
        // One silent list and one refusing list are told apart.
        {"192.0.2.6",
         "Not completely checked: 1 of 3 lists did not answer, 1 refused the query | #b06000 | tip Alpha "
         "List: no usable answer (timed out)\nBeta List refused the query: Query refused: public resolver"},
        {"192.0.2.5", "Scanning ... | #0000c8"}, // queries out, not every answer in
        // A lookup that timed out is no "not found": nothing was vouched for.
        {"host.invalid", "Not completely checked: host.invalid: A lookup failed: timed out | #b06000"},
        // Only one list answers IPv6: clean, but saying how far that goes.
        {"2001:db8::1",
         "Not on any Blacklist; IPv6: checked against 1 of 3 lists (the others do not support IPv6) | "
         "#008000 | tip Alpha List: not applicable (does not answer IPv6 queries)\nBeta List: not "
         "applicable (does not answer IPv6 queries)"},
        {"fe80::1%eth0",
         "Not checked: an IPv6 address with a zone index (%...) names a local interface; enter the "
         "address without it | #707070"},
        {"192.0.2.9", " | #000000"},
    };
    for (const auto& [key, status] : rows) {
        EXPECT_TRUE(text(key, kTarget).startsWith(key)) << key;
        EXPECT_EQ(look(key, kReason), status);
    }

    reply("192.0.2.5", "b.test", "127.0.0.2");
    reply("192.0.2.5", "c.test", "127.0.0.2");
    EXPECT_EQ(text("192.0.2.5", kReason), "Blacklisted by 2 servers");

    // The window adds lines of its own to an address's status tooltip.
    model->setAddressToolTipLines([](const QString& key) { return key == "192.0.2.2" ? "Delisted" : ""; });
    EXPECT_EQ(toolTip("192.0.2.2", kReason), "Delisted");
    EXPECT_EQ(toolTip("192.0.2.4", kReason), "Beta List refused the query: Query refused: public resolver");
    EXPECT_EQ(toolTip("192.0.2.2", kTarget), "");
}

TEST_F(ResultsModelTest, ServerAndAnswerRowsCarryTheirTextsStylesAndLinks)
{
    refuseWith("b.test", "127.0.0.255", "Query refused: public resolver");
    scan({"192.0.2.7"});
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3 127.0.0.4");
    reply("192.0.2.7", "b.test", "127.0.0.255");
    reply("192.0.2.7", "c.test", "127.0.0.2");
    EXPECT_EQ(childKeys("192.0.2.7"), QStringList({"192.0.2.7:a.test", "192.0.2.7:b.test", "192.0.2.7:c.test"}));
    EXPECT_EQ(childKeys("192.0.2.7:a.test"),
              QStringList({"192.0.2.7:a.test:127.0.0.2", "192.0.2.7:a.test:127.0.0.3", "192.0.2.7:a.test:127.0.0.4"}));
    // Keys are found in any letter case, as the list finds its addresses.
    EXPECT_EQ(model->indexOfKey("192.0.2.7:A.TEST:127.0.0.3"), model->indexOfKey("192.0.2.7:a.test:127.0.0.3"));

    // The listing servers tinted, the refusing one amber; each links to its home page.
    const QString tint = " | on #fff0f0", home = " | #0000ff | underline";
    const std::pair<const char*, QStringList> rows[] = {
        {"192.0.2.7:a.test",
         {"Alpha List" + tint, "   Received 3 reasons" + tint,
          "https://a.test/" + home + tint + " | link https://a.test/"}},
        {"192.0.2.7:c.test",
         {"Gamma List" + tint, "   Received 1 reason" + tint,
          "https://c.test/" + home + tint + " | link https://c.test/"}},
        {"192.0.2.7:b.test",
         {"Beta List",
          "   Query refused | #b06000 | tip Beta List refused the query: Query refused: public resolver. This is not a "
          "listing.",
          "https://b.test/" + home + " | link https://b.test/"}},
        {"192.0.2.7:a.test:127.0.0.3",
         {"   127.0.0.3", "      Open proxy | #c80000 | tip DNS returned the response of 127.0.0.3", "      "}},
        {"192.0.2.7:b.test:127.0.0.255",
         {"   127.0.0.255",
          "      Query refused: public resolver | #b06000 | tip DNS returned the response of 127.0.0.255, by which "
          "Beta "
          "List refuses the query. This is not a listing.",
          "      "}},
    };
    for (const auto& [key, cells] : rows)
        EXPECT_EQ(QStringList({look(key, kTarget), look(key, kReason), look(key, kUrl)}), cells);
    // The skull's forehead on a listing server, a blank of its size that keeps the names in line on the other.
    for (const auto& [key, listing] : {std::pair{"192.0.2.7:a.test", true}, std::pair{"192.0.2.7:b.test", false}}) {
        const QImage icon = at(key, kTarget, Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
        EXPECT_EQ(icon.pixelColor(8, 3).alpha() > 0, listing) << key;
    }

    // TXT text arriving later fills the existing row, and its link is the
    // one a click opens (the rule print and export use too).
    const QString answer = "192.0.2.7:a.test:127.0.0.2";
    EXPECT_EQ(text(answer, kUrl), "      ");
    EXPECT_FALSE(at(answer, kUrl, ResultsModel::LinkRole).isValid());
    txt(answer, "Listed, see http://a.test/?ip=192.0.2.7 today");
    EXPECT_EQ(text(answer, kUrl), "      Listed, see http://a.test/?ip=192.0.2.7 today");
    EXPECT_EQ(at(answer, kUrl, ResultsModel::LinkRole).toString(), "http://a.test/?ip=192.0.2.7");
    const QString links[][2] = {
        {"https://a.test/", "https://a.test/"},
        {"      Listed, see HTTP://a.test/q?ip=1 for details", "HTTP://a.test/q?ip=1"},
        {"https://one.test/ and http://two.test/", "https://one.test/"}, // the earlier wins
        // A line break ends an address like a blank: the link is the text shown.
        {"info:\r\nhttp://c.test/very/\r\nlong/path more", "http://c.test/very/"},
        // Quotes, markup and closing punctuation end it too: a formula or a
        // sentence around an address is not part of the link.
        {"=HYPERLINK(\"http://evil.test/x\",\"click\")", "http://evil.test/x"},
        {"<a href='https://e.test/p'>here</a>", "https://e.test/p"},
        {"see (http://f.test/a_(b)) and http://g.test/.", "http://f.test/a_(b)"},
        {"xhttp://h.test/ http://i.test/", "http://i.test/"},
        {"http:// nothing", ""},
        {"no link here", ""},
        {"ftp://d.test/", ""},
        {"javascript:alert('http://j.test/')", "http://j.test/"},
    };
    for (const auto& [text, link] : links) EXPECT_EQ(ResultCells::LinkFromText(text), link) << text.toStdString();

    // Built again after the settings changed: a list without a name goes by
    // its zone, a list gone from the settings has no home page.
    settings.BlacklistServers().Item("b.test")->setName("");
    settings.BlacklistServers().Remove("c.test");
    model->clear();
    model->update(*list->Item("192.0.2.7"));
    EXPECT_TRUE(toolTip("192.0.2.7:b.test:127.0.0.255", kReason).contains("by which b.test refuses"));
    EXPECT_EQ(text("192.0.2.7:c.test", kTarget), "Gamma List");
    EXPECT_EQ(text("192.0.2.7:c.test", kUrl), "");
    EXPECT_FALSE(at("192.0.2.7:c.test", kUrl, ResultsModel::LinkRole).isValid());
    EXPECT_EQ(text("192.0.2.7:c.test:127.0.0.2", kReason), "      Gamma listed");
    EXPECT_EQ(text("192.0.2.7", kReason), "Blacklisted by 2 servers");
}

TEST_F(ResultsModelTest, RowsFollowTheListThroughRemovalsBulkAppendsAndResets)
{
    scan({"192.0.2.1", "192.0.2.2"});
    reply("192.0.2.1", "a.test", "127.0.0.2 127.0.0.3");
    reply("192.0.2.1", "b.test", "127.0.0.2");
    reply("192.0.2.2", "a.test", "127.0.0.2");

    model->removeRow("192.0.2.1:A.test");
    EXPECT_FALSE(model->indexOfKey("192.0.2.1:a.test").isValid());
    EXPECT_FALSE(model->indexOfKey("192.0.2.1:a.test:127.0.0.3").isValid());
    EXPECT_EQ(childKeys("192.0.2.1"), QStringList({"192.0.2.1:b.test"}));
    EXPECT_EQ(list->Item("192.0.2.1")->RespondingServers().Count(), 2); // the grid only

    list->Remove("192.0.2.1");
    EXPECT_EQ(childKeys(), QStringList({"192.0.2.2"}));
    EXPECT_FALSE(model->indexOfKey("192.0.2.1:b.test").isValid());
    EXPECT_FALSE(model->indexOfKey("192.0.2.1:b.test:127.0.0.2").isValid());
    // Rows after a removed one are still found at their new places.
    EXPECT_EQ(model->indexOfKey("192.0.2.2:a.test:127.0.0.2").parent(), model->indexOfKey("192.0.2.2:a.test"));
    EXPECT_EQ(model->addressIndex("192.0.2.2").row(), 0);
    model->removeAddress("192.0.2.2:a.test"); // not an address row
    EXPECT_TRUE(model->indexOfKey("192.0.2.2:a.test").isValid());
    EXPECT_FALSE(model->addressIndex("192.0.2.2:a.test").isValid());

    // An address added again goes to the end.
    list->AddTarget("mail.example");
    list->AddTarget("192.0.2.1");
    EXPECT_EQ(childKeys(), QStringList({"192.0.2.2", "mail.example", "192.0.2.1"}));

    // Filled in one go: one reset, and the same rows.
    model->clear();
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    model->beginBulkAppend();
    for (const AddressPtr& address : *list) model->update(*address);
    EXPECT_TRUE(model->inBulkAppend());
    model->endBulkAppend();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(childKeys(), QStringList({"192.0.2.2", "mail.example", "192.0.2.1"}));
    EXPECT_EQ(childKeys("192.0.2.2"), QStringList({"192.0.2.2:a.test"}));
    EXPECT_EQ(text("192.0.2.2", kReason), "Blacklisted by 1 servers");

    // A row knows whether it shows its address's verdict, wherever it is.
    const AddressPtr address = list->Item("mail.example");
    EXPECT_TRUE(model->showsVerdict(*address, 1));
    EXPECT_TRUE(model->showsVerdict(*address, 0)); // found by key
    address->MarkStopped();                        // raises nothing
    EXPECT_FALSE(model->showsVerdict(*address, 1));
    model->update(*address);
    EXPECT_TRUE(model->showsVerdict(*address, 1));
    EXPECT_EQ(text("mail.example", kReason), "Not checked");
}
