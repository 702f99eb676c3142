#include "ui/AddAddressesForm.h"

#include "common/Registry.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "support/FakeDirectDns.h"
#include "support/FakeDnsLookup.h"
#include "support/MemoryRegistryBackend.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

const QColor kGreen(0x00, 0x88, 0x00);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);
const QString kEmptyHint = "Enter a hostname or IP address and then press Enter or Tab";

QString red(const QString& name)
{
    return "This is red because DNS could not resolve '" + name
           + "' to an IP address. You probably want to change this hostname before clicking on the OK button";
}

class AddAddressesFormTest : public ::testing::Test {
protected:
    AddAddressesFormTest()
        : registry(backend), settings(registry, dir.filePath("none.cfg")),
          list(settings, dns, std::make_unique<FakeDirectDns>())
    {
        dns.setBlacklistQuery(true); // as the main window leaves it; the dialog must not change it
        openForm();
    }

    // A fresh dialog, with nothing sent yet.
    void openForm()
    {
        form.reset();
        dns.pending.clear();
        dns.history.clear();
        auto direct = std::make_unique<FakeDirectDns>("127.0.0.1:9, 127.0.0.2:9");
        directDns = direct.get();
        form = std::make_unique<AddAddressesForm>(list, settings, dns, std::move(direct));
        form->show();
        table = form->findChild<QTableWidget*>("Table");
    }

    // The tag of the last query sent for the name, through either DNS path.
    QString tagOf(const QString& name) const
    {
        for (auto it = dns.history.rbegin(); it != dns.history.rend(); ++it)
            if (it->name == name) return it->tag;
        for (auto it = directDns->sent.rbegin(); it != directDns->sent.rend(); ++it)
            if (it->name == name) return it->tag;
        return QString();
    }

    // Types into the cell as a user does and ends the edit with key.
    void type(int row, const QString& text, Qt::Key key = Qt::Key_Return)
    {
        table->setCurrentCell(row, 0);
        table->editItem(table->item(row, 0));
        QLineEdit* editor = openEditor();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        if (key != Qt::Key_unknown) QTest::keyClick(editor, key);
        QCoreApplication::processEvents(); // Enter commits on the next turn
    }
    QLineEdit* openEditor() const
    {
        for (QLineEdit* e : table->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible()) return e;
        return nullptr;
    }

    QStringList texts() const
    {
        QStringList out;
        for (int r = 0; r < table->rowCount(); ++r) out << table->item(r, 0)->text();
        return out;
    }
    QColor colour(int row) const { return table->item(row, 0)->foreground().color(); }
    // The tooltip after the pointer moved over the row.
    QString hover(int row) const
    {
        const QPoint pos = table->visualItemRect(table->item(row, 0)).center();
        QMouseEvent move(QEvent::MouseMove, pos, table->viewport()->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(table->viewport(), &move);
        return table->viewport()->toolTip();
    }
    void trigger(const char* tool) { form->findChild<QAction*>(tool)->trigger(); }
    QStringList listKeys() const
    {
        QStringList out;
        for (const auto& a : list) out << a->Key();
        return out;
    }

    QTemporaryDir dir;
    MemoryRegistryBackend backend;
    Registry registry;
    Settings settings;
    FakeDnsLookup dns;
    Addresslist list;
    FakeDirectDns* directDns = nullptr;
    std::unique_ptr<AddAddressesForm> form;
    QTableWidget* table = nullptr;
};

} // namespace

TEST_F(AddAddressesFormTest, IpAddressesAndHostNamesAreChecked)
{
    EXPECT_EQ(form->DNSServerList(), QStringList({"127.0.0.1:9", "127.0.0.2:9"}));
    EXPECT_TRUE(directDns->Option1() && directDns->Option2());
    EXPECT_EQ(hover(0), kEmptyHint);

    type(0, "  192.0.2.7 ");
    type(1, "mail.example", Qt::Key_Tab);
    type(2, "nothere.example");
    EXPECT_EQ(texts(), QStringList({"192.0.2.7", "mail.example", "nothere.example", ""}));
    EXPECT_EQ(table->currentRow(), 3);
    EXPECT_EQ(colour(0), kGreen);
    EXPECT_EQ(hover(0), "This is green because you entered a valid IP address");

    // Only the names went to DNS, tagged with their rows; BlacklistQuery kept.
    ASSERT_EQ(dns.history.size(), 2u);
    EXPECT_EQ(dns.history[1].name, "nothere.example");
    EXPECT_EQ(dns.history[1].tag, "2");
    EXPECT_TRUE(dns.history[1].blacklist);
    EXPECT_TRUE(dns.RequestFlag());

    // The address list's tags are not row numbers.
    dns.setRequestTag("1:LookupIP");
    dns.Lookup("1");
    ASSERT_TRUE(dns.answer("1:LookupIP", "192.0.2.1"));
    EXPECT_EQ(colour(1), kBlack);

    ASSERT_TRUE(dns.answer("1", "198.51.100.9"));
    ASSERT_TRUE(dns.answer("2", "", 3));
    EXPECT_EQ(colour(1), kGreen);
    EXPECT_EQ(hover(1), "This is green because 'mail.example' resolves to 198.51.100.9");
    EXPECT_EQ(colour(2), kRed);
    EXPECT_EQ(hover(2), red("nothere.example"));

    // A later failure for a green row leaves it green.
    dns.setRequestTag("1");
    dns.Lookup("mail.example");
    ASSERT_TRUE(dns.answer("1", "", 3));
    EXPECT_EQ(colour(1), kGreen);

    // Editing a row starts over; Escape leaves the entry and checks it again.
    type(0, "x", Qt::Key_Escape);
    EXPECT_EQ(texts().at(0), "192.0.2.7");
    EXPECT_EQ(colour(0), kGreen);
}

TEST_F(AddAddressesFormTest, IPv6EntriesAreGreenWithoutALookupUnlessTheyNameAnInterface)
{
    type(0, "2001:db8::1");
    type(1, "::ffff:192.0.2.1");
    type(2, "fe80::1%eth0");
    type(3, "2001:db8::1::2");
    EXPECT_EQ(colour(0), kGreen);
    EXPECT_EQ(hover(0), "This is green because you entered a valid IPv6 address");
    EXPECT_EQ(colour(1), kGreen);
    EXPECT_TRUE(hover(1).endsWith("it is checked as 192.0.2.1"));
    EXPECT_EQ(colour(2), kRed);
    EXPECT_TRUE(hover(2).contains("zone index"));
    // Only the malformed one is left to DNS, which cannot resolve it.
    ASSERT_EQ(dns.history.size(), 1u);
    EXPECT_EQ(dns.history[0].name, "2001:db8::1::2");
}

TEST_F(AddAddressesFormTest, RowsComeAndGoAndOneBlankRowRemains)
{
    type(0, "a.example");
    type(1, "b.example");
    type(2, "c.example");
    type(0, "   ");
    type(2, " ");
    EXPECT_EQ(texts(), QStringList({"b.example", "c.example", ""}));

    QApplication::clipboard()->clear();
    table->setCurrentCell(0, 0);
    trigger("Cut");
    EXPECT_EQ(QApplication::clipboard()->text(), "b.example");
    EXPECT_EQ(texts(), QStringList({"c.example", ""}));
    table->setCurrentCell(0, 0);
    trigger("Copy");
    trigger("Delete");
    EXPECT_EQ(QApplication::clipboard()->text(), "c.example");
    EXPECT_EQ(texts(), QStringList({""}));
    trigger("Delete");
    EXPECT_EQ(texts(), QStringList({""}));
    EXPECT_EQ(table->currentRow(), 0);

    // The replies for the entries deleted above find no entry.
    ASSERT_TRUE(dns.answer("2", "192.0.2.1"));
    directDns->reply("2", "c.example", {{"mx.example", 15}});
    EXPECT_EQ(texts(), QStringList({""}));
}

TEST_F(AddAddressesFormTest, LateRepliesFindTheirEntryOrAreDropped)
{
    // Each way an entry leaves the grid moves the entries below it up.
    const struct {
        const char* how;
        std::function<void()> removeFirst;
    } ways[] = {
        {"Delete", [&] { table->setCurrentCell(0, 0); trigger("Delete"); }},
        {"Cut", [&] { table->setCurrentCell(0, 0); trigger("Cut"); }},
        {"emptied", [&] { type(0, " "); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        openForm();
        type(0, "gone@a.example");
        type(1, "lost.example");
        type(2, "kept@b.example");
        type(3, "stay.example");
        const QString tags[] = {tagOf("a.example"), tagOf("lost.example"), tagOf("b.example"), tagOf("stay.example")};
        for (const QString& tag : tags) {
            ASSERT_FALSE(tag.isEmpty());
            EXPECT_FALSE(tag.contains(':')) << tag.toStdString(); // the address list would take it for its own
        }
        way.removeFirst();
        way.removeFirst();
        ASSERT_EQ(texts(), QStringList({"kept@b.example", "stay.example", ""}));

        // The removed entries' replies come late and change nothing.
        directDns->reply(tags[0], "a.example", {{"mx.a.example.", 15}});
        ASSERT_TRUE(dns.answer(tags[1], "", 3));
        EXPECT_EQ(texts(), QStringList({"kept@b.example", "stay.example", ""}));
        EXPECT_EQ(colour(0), kBlack);
        EXPECT_EQ(colour(1), kBlack);
        EXPECT_TRUE(tagOf("mx.a.example").isEmpty());

        // The kept entries' replies still reach them.
        directDns->reply(tags[2], "b.example", {{"mx.b.example.", 15}});
        ASSERT_TRUE(dns.answer(tags[3], "192.0.2.3"));
        EXPECT_EQ(texts(), QStringList({"mx.b.example", "stay.example", ""}));
        EXPECT_EQ(colour(0), kGreen);
        EXPECT_EQ(colour(1), kGreen);
        EXPECT_EQ(hover(1), "This is green because 'stay.example' resolves to 192.0.2.3");
    }

    // An entry typed over is a new entry: the old name's reply is not its own.
    openForm();
    type(0, "old.example");
    const QString old = tagOf("old.example");
    type(0, "new.example");
    ASSERT_TRUE(dns.answer(old, "", 3));
    EXPECT_EQ(colour(0), kBlack);
    ASSERT_TRUE(dns.answer(tagOf("new.example"), "192.0.2.4"));
    EXPECT_EQ(hover(0), "This is green because 'new.example' resolves to 192.0.2.4");
}

TEST_F(AddAddressesFormTest, EmailAddressIsReplacedByItsMailExchanger)
{
    type(0, "postmaster@Mail.Example");
    ASSERT_EQ(directDns->sent.size(), 2u);
    for (const auto& q : directDns->sent) {
        EXPECT_EQ(q.name, "Mail.Example");
        EXPECT_EQ(q.tag, "0");
        EXPECT_EQ(q.type, 15);
    }
    EXPECT_TRUE(dns.history.empty());

    // Records come sorted by preference: the first is the one to check.
    directDns->reply("0", "Mail.Example", {{"mx1.mail.example.", 15}, {"backup.mail.example.", 15}});
    directDns->reply("0", "Mail.Example", {{"mx2.mail.example.", 15}}); // the first success wins
    EXPECT_EQ(texts(), QStringList({"mx1.mail.example", ""}));
    EXPECT_EQ(colour(0), kGreen);
    ASSERT_EQ(dns.history.size(), 1u);
    EXPECT_EQ(dns.history[0].name, "mx1.mail.example");
    ASSERT_TRUE(dns.answer("0", "", 2));
    EXPECT_EQ(colour(0), kGreen);

    type(1, "x@nomail.example");
    directDns->reply("1", "nomail.example", {});
    EXPECT_EQ(colour(1), kRed);
    EXPECT_EQ(hover(1), red("nomail.example"));
    type(2, "x@a.example");
    directDns->reply("2", "a.example", {{"192.0.2.5", 1}});
    EXPECT_EQ(hover(2), "This is green because 'a.example' resolves to 192.0.2.5");

    QTest::mouseClick(form->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(listKeys(), QStringList({"mx1.mail.example", "x@nomail.example", "x@a.example"}));
}

TEST_F(AddAddressesFormTest, DomainWithANullMxStaysAsTypedInRed)
{
    // RFC 7505: one MX record without a host says the domain takes no mail.
    const QString nullTargets[] = {".", ""};
    for (int row = 0; row < 2; ++row) {
        const QString entry = QString("postmaster@nomail%1.example").arg(row);
        const QString domain = entry.mid(entry.indexOf('@') + 1);
        type(row, entry);
        directDns->reply(QString::number(row), domain, {{nullTargets[row], 15}});
        EXPECT_EQ(texts().at(row), entry);
        EXPECT_EQ(colour(row), kRed);
        EXPECT_TRUE(hover(row).contains("'" + domain + "' accepts no mail")) << hover(row).toStdString();
    }
    EXPECT_TRUE(dns.history.empty()); // no lookup of an empty host
    EXPECT_EQ(texts(), QStringList({"postmaster@nomail0.example", "postmaster@nomail1.example", ""}));
}

TEST_F(AddAddressesFormTest, PasteChecksEveryLineInOrder)
{
    QApplication::clipboard()->setText(" 192.0.2.1\r\n  host.example \r\n\r\nuser@mail.example\r\n");
    trigger("Paste");
    EXPECT_EQ(texts(), QStringList({"192.0.2.1", "host.example", "user@mail.example", ""}));
    EXPECT_EQ(colour(0), kGreen);
    ASSERT_EQ(dns.history.size(), 1u);
    EXPECT_EQ(dns.history[0].tag, "1");
    ASSERT_EQ(directDns->sent.size(), 2u);
    EXPECT_EQ(directDns->sent[0].tag, "2");

    // Plain "\n" line ends, through the keyboard shortcut on the grid.
    QApplication::clipboard()->setText("b.example\nc.example");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(texts().mid(3), QStringList({"b.example", "c.example", ""}));
}

TEST_F(AddAddressesFormTest, RightClickSelectsTheRowAndOffersPasteOnlyWithText)
{
    type(0, "a.example");
    auto* popup = form->findChild<QMenu*>("AddEditPopup");
    for (const QString& clip : {QString("  \r\n "), QString("c.example")}) {
        QApplication::clipboard()->setText(clip);
        table->setCurrentCell(1, 0);
        const QPoint pos = table->visualItemRect(table->item(0, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, table->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(table->viewport(), &event);
        EXPECT_TRUE(popup->isVisible());
        EXPECT_EQ(table->currentRow(), 0);
        EXPECT_EQ(form->findChild<QAction*>("Paste")->isEnabled(), clip == "c.example");
        popup->close();
    }
}

TEST_F(AddAddressesFormTest, OkAddsEveryEntryAndStoresTheOption)
{
    EXPECT_TRUE(form->Canceled());
    EXPECT_TRUE(form->findChild<QCheckBox*>("chkAutoStartScan")->isChecked());
    type(0, "192.0.2.1");
    type(1, "bad.example");
    ASSERT_TRUE(dns.answer("1", "", 3));
    type(2, "typed.example", Qt::Key_unknown); // still in the editor
    form->findChild<QCheckBox*>("chkAutoStartScan")->setChecked(false);
    QTest::mouseClick(form->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);

    EXPECT_EQ(listKeys(), QStringList({"192.0.2.1", "bad.example", "typed.example"}));
    EXPECT_FALSE(settings.AutoStartScan());
    EXPECT_FALSE(form->Canceled());
    EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(AddAddressesFormTest, CancelAddsNothingAndRepliesAfterClosingAreDropped)
{
    settings.setAutoStartScan(false);
    AddAddressesForm second(list, settings, dns, std::make_unique<FakeDirectDns>());
    EXPECT_FALSE(second.findChild<QCheckBox*>("chkAutoStartScan")->isChecked());

    QPointer<FakeDirectDns> direct(directDns);
    type(0, "a.example");
    type(1, "b.example");
    type(2, "c@mail.example");
    form->findChild<QCheckBox*>("chkAutoStartScan")->setChecked(true);
    QTest::mouseClick(form->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    EXPECT_TRUE(form->Canceled());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(settings.AutoStartScan());
    EXPECT_TRUE(direct.isNull());

    ASSERT_TRUE(dns.answer("0", "192.0.2.1"));
    EXPECT_EQ(colour(0), kBlack);
    form.reset();
    ASSERT_TRUE(dns.answer("1", "192.0.2.2"));
}

TEST_F(AddAddressesFormTest, MailExchangerThatIsNoHostNameIsRefused)
{
    // Whoever runs the domain's DNS writes the MX answer: none of these may
    // become an entry of the list.
    const QString junk[] = {
        "127.0.0.7:BlacklistCheck:nxd.test", // would read as an address list entry of its own
        "mx .example",
        "mx\x01.example",
        "-mx.example",
        "mx..example",
        "<b>mx</b>.example",
        QString(64, 'a') + ".example",
    };
    int row = 0;
    for (const QString& host : junk) {
        const QString entry = QString("postmaster@d%1.example").arg(row);
        type(row, entry);
        directDns->reply(QString::number(row), entry.mid(entry.indexOf('@') + 1), {{host, 15}});
        EXPECT_EQ(texts().at(row), entry) << host.toStdString();
        EXPECT_EQ(colour(row), kRed) << host.toStdString();
        EXPECT_TRUE(hover(row).contains("no valid mail exchanger")) << hover(row).toStdString();
        EXPECT_FALSE(hover(row).contains(host)) << host.toStdString();
        ++row;
    }
    EXPECT_TRUE(dns.history.empty());

    // Another server's proper answer for the same query still counts.
    directDns->reply("0", "d0.example", {{"mx.d0.example.", 15}});
    EXPECT_EQ(texts().at(0), "mx.d0.example");
    EXPECT_EQ(colour(0), kGreen);

    QTest::mouseClick(form->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    const QStringList keys = listKeys();
    ASSERT_EQ(keys.size(), row);
    EXPECT_EQ(keys.at(0), "mx.d0.example");
    for (int i = 1; i < row; ++i) EXPECT_EQ(keys.at(i), QString("postmaster@d%1.example").arg(i));
}

TEST_F(AddAddressesFormTest, ClosingWithAnEditorOpenDropsTheEntry)
{
    // One editor closed but not yet deleted, one still open: the user
    // closes the dialog in the middle of typing.
    type(0, "a.example");
    type(1, "b.example", Qt::Key_unknown);
    QPointer<QLineEdit> editor(openEditor());
    ASSERT_FALSE(editor.isNull());
    const size_t lookups = dns.history.size();

    form.reset();
    EXPECT_TRUE(editor.isNull());
    EXPECT_EQ(dns.history.size(), lookups); // the half-typed entry is not looked up
    EXPECT_EQ(list.Count(), 0);
    QCoreApplication::processEvents();
}

// Ranges are checked as they are entered and added address by address on
// OK; a large one only when the user says so, a refused one not at all.
TEST_F(AddAddressesFormTest, NetworkRangesAreCheckedAndLargeOnesConfirmed)
{
    ScriptedPrompts prompts;
    form->setPrompts(prompts);
    type(0, "192.0.2.9/30");
    type(1, "10.1.0.0/19");    // 8,192 addresses: asked, answered No
    type(2, "10.2.0.0-10.2.31.255"); // 8,192 addresses: asked, answered Yes
    type(3, "10.0.0.0/33");
    type(4, "2001:db8::/32");
    type(5, "1.2.3.4-1.2.3.1");
    EXPECT_EQ(colour(0), kGreen);
    EXPECT_EQ(hover(0), "This is green because you entered a network range: 192.0.2.8/30, 4 addresses from "
                        "192.0.2.8 to 192.0.2.11");
    EXPECT_EQ(colour(1), kGreen);
    EXPECT_EQ(colour(2), kGreen);
    for (int row : {3, 4, 5}) {
        EXPECT_EQ(colour(row), kRed) << row;
        EXPECT_TRUE(hover(row).startsWith("This is red because ")) << row;
    }
    EXPECT_TRUE(hover(3).contains("prefix length"));
    EXPECT_TRUE(hover(4).contains("IPv6 ranges are too large to scan"));
    EXPECT_TRUE(hover(5).contains("comes after"));
    // Ranges are not looked up.
    EXPECT_TRUE(dns.history.empty());

    prompts.answers = {UserPrompts::Answer::No, UserPrompts::Answer::Yes};
    form->findChild<QPushButton*>("cmdOK")->click();
    ASSERT_EQ(prompts.messages.size(), 3u);
    EXPECT_EQ(prompts.messages[0].text, "Add all 8,192 addresses of 10.1.0.0/19?");
    EXPECT_EQ(prompts.messages[0].buttons, UserPrompts::Buttons::YesNo);
    EXPECT_EQ(prompts.messages[1].text, "Add all 8,192 addresses of 10.2.0.0-10.2.31.255?");
    // The refused ones are named, with their reasons.
    EXPECT_EQ(prompts.messages[2].buttons, UserPrompts::Buttons::Ok);
    for (const char* refused : {"10.0.0.0/33", "2001:db8::/32", "1.2.3.4-1.2.3.1"})
        EXPECT_TRUE(prompts.messages[2].text.contains(refused)) << prompts.messages[2].text.toStdString();

    ASSERT_EQ(list.Count(), 4 + 8192);
    EXPECT_EQ(list.Item(1)->Key(), "192.0.2.8");
    EXPECT_EQ(list.Item(4)->Key(), "192.0.2.11");
    EXPECT_EQ(list.Item(5)->Key(), "10.2.0.0");
    EXPECT_EQ(list.Item(5)->Range(), "10.2.0.0-10.2.31.255");
    EXPECT_EQ(list.Item(4 + 8192)->Key(), "10.2.31.255");
    EXPECT_FALSE(form->Canceled());
}

// "Add IPv6 Addresses": a host's AAAA records become entries of their own,
// added above the blank row, each once, and only while the box is ticked.
TEST_F(AddAddressesFormTest, IPv6AddressesOfHostsBecomeEntriesWhenAsked)
{
    auto* box = form->findChild<QCheckBox*>("chkAddIPv6");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isChecked());
    type(0, "early.example");
    for (const auto& q : directDns->sent) EXPECT_NE(q.type, 28) << q.name.toStdString();

    // Ticked afterwards: the host already entered is looked up too.
    box->setChecked(true);
    std::vector<QString> asked;
    for (const auto& q : directDns->sent)
        if (q.type == 28) asked.push_back(q.name);
    EXPECT_EQ(asked, std::vector<QString>({"early.example", "early.example"})); // both DNS servers

    type(1, "mail.example");
    QString aaaaTag;
    for (const auto& q : directDns->sent)
        if (q.type == 28 && q.name == "mail.example") aaaaTag = q.tag;
    ASSERT_TRUE(aaaaTag.startsWith("6:")) << aaaaTag.toStdString();
    directDns->reply(aaaaTag, "mail.example", {{"2001:db8::1", 28}, {"192.0.2.1", 28}, {"2001:db8::2", 28}});
    directDns->reply(aaaaTag, "mail.example", {{"2001:DB8::1", 28}}); // the other server: nothing new
    EXPECT_EQ(texts(), QStringList({"early.example", "mail.example", "2001:db8::1", "2001:db8::2", ""}));
    EXPECT_EQ(colour(2), kGreen);
    EXPECT_EQ(hover(3), "This is green because it is an IPv6 address of mail.example");

    // An entry changed before its answer came gets nothing.
    QString earlyTag;
    for (const auto& q : directDns->sent)
        if (q.type == 28 && q.name == "early.example") earlyTag = q.tag;
    type(0, "192.0.2.9");
    directDns->reply(earlyTag, "early.example", {{"2001:db8::9", 28}});
    EXPECT_FALSE(texts().contains("2001:db8::9"));

    QTest::mouseClick(form->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(listKeys(), QStringList({"192.0.2.9", "mail.example", "2001:db8::1", "2001:db8::2"}));
    openForm();
    EXPECT_TRUE(form->findChild<QCheckBox*>("chkAddIPv6")->isChecked()); // remembered
}
