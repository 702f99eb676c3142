#include "ui/AddAddressesForm.h"

#include "cli/TargetStatus.h"
#include "model/DnsFailure.h"
#include "scan/Addresslist.h"
#include "scan/DnsLookup.h"
#include "scan/Session.h"
#include "support/FakeScanWorld.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/VerdictTable.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

const QColor kGreen(0x00, 0x88, 0x00);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

QString resolves(const QString& name, const QString& address)
{
    return "This is green because '" + name + "' resolves to " + address;
}

// The open cell editor of the grid, or null.
QLineEdit* cellEditor(const QTableWidget* table)
{
    for (QLineEdit* e : table->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) return e;
    return nullptr;
}

// Types into the cell as a user does and ends the edit with key.
void typeInto(QTableWidget* table, int row, const QString& text, Qt::Key key = Qt::Key_Return)
{
    table->setCurrentCell(row, 0);
    table->editItem(table->item(row, 0));
    QLineEdit* editor = cellEditor(table);
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    if (key != Qt::Key_unknown) QTest::keyClick(editor, key);
    QCoreApplication::processEvents(); // Enter commits on the next turn
}

class AddAddressesFormTest : public ::testing::Test, protected FakeScanWorld {
protected:
    AddAddressesFormTest()
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
        form = std::make_unique<AddAddressesForm>(list, settings);
        // No real message box ever: every question is answered from here.
        form->setPrompts(prompts);
        form->show();
        table = form->findChild<QTableWidget*>("Table");
    }

    using Kind = DnsLookup::Kind;
    // The tag of the last lookup of that kind sent for the name.
    QString tagOf(const QString& name, Kind kind) const
    {
        for (auto it = dns.history.rbegin(); it != dns.history.rend(); ++it)
            if (it->name == name && it->kind == kind) return it->tag;
        return QString();
    }
    // Answers the last lookup of that kind for the name.
    bool answer(const QString& name, Kind kind, const QString& text, int flag = 0)
    {
        const QString tag = tagOf(name, kind);
        return !tag.isEmpty() && dns.answer(tag, text, flag);
    }

    void type(int row, const QString& text, Qt::Key key = Qt::Key_Return) { typeInto(table, row, text, key); }
    QLineEdit* openEditor() const { return cellEditor(table); }
    // An e-mail address typed in the row, its MX lookup answered so.
    void mail(int row, const QString& entry, const QString& exchangers, int flag = 0)
    {
        type(row, entry);
        ASSERT_TRUE(answer(entry.mid(entry.indexOf('@') + 1).toLower(), Kind::MailExchangers, exchangers, flag))
            << entry.toStdString();
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
    void click(const char* button) { QTest::mouseClick(form->findChild<QPushButton*>(button), Qt::LeftButton); }
    QCheckBox* box(const char* name) const { return form->findChild<QCheckBox*>(name); }
    QStringList listKeys() const
    {
        QStringList out;
        for (const auto& a : list) out << a->Key();
        return out;
    }

    ScriptedPrompts prompts;
    std::unique_ptr<AddAddressesForm> form;
    QTableWidget* table = nullptr;
};

} // namespace

TEST_F(AddAddressesFormTest, IpAddressesAndHostNamesAreChecked)
{
    EXPECT_EQ(hover(0), "Enter a hostname or IP address and then press Enter or Tab");

    type(0, "  192.0.2.7 ");
    type(1, "mail.example", Qt::Key_Tab);
    type(2, "nothere.example");
    EXPECT_EQ(texts(), QStringList({"192.0.2.7", "mail.example", "nothere.example", ""}));
    EXPECT_EQ(colour(0), kGreen);
    EXPECT_EQ(hover(0), "This is green because you entered a valid IP address");

    // Only the names went to DNS, asked for their addresses as a scan asks;
    // the list's own lookup settings are left as they were.
    ASSERT_EQ(dns.history.size(), 2u);
    EXPECT_EQ(QStringList({dns.history[1].name, dns.history[1].tag}),
              QStringList({"nothere.example", "+2:Resolve:A0"}));
    EXPECT_EQ(dns.history[1].kind, Kind::HostAddresses);
    EXPECT_TRUE(dns.BlacklistQuery());
    EXPECT_TRUE(dns.RequestFlag());

    // The address list's tags are not entries.
    dns.setRequestTag("1:Resolve:A0");
    dns.Lookup("1");
    ASSERT_TRUE(dns.answer("1:Resolve:A0", "192.0.2.1"));
    EXPECT_EQ(colour(1), kBlack);

    ASSERT_TRUE(answer("mail.example", Kind::HostAddresses, "198.51.100.9"));
    ASSERT_TRUE(answer("nothere.example", Kind::HostAddresses, "", DnsFailure::NotFound));
    EXPECT_EQ(colour(1), kGreen);
    EXPECT_EQ(hover(1), resolves("mail.example", "198.51.100.9"));
    EXPECT_EQ(colour(2), kRed);
    EXPECT_EQ(hover(2),
              "This is red because DNS could not resolve 'nothere.example' to an IP address. You probably "
              "want to change this hostname before clicking on the OK button");

    // Escape in a cell ends that edit only: the entry stays as it was and
    // is checked again, a new row stays blank, nothing is asked and the
    // dialog stays.
    type(0, "x", Qt::Key_Escape);
    type(3, "half.exam", Qt::Key_Escape);
    EXPECT_EQ(texts(), QStringList({"192.0.2.7", "mail.example", "nothere.example", ""}));
    EXPECT_EQ(colour(0), kGreen);
    EXPECT_EQ(openEditor(), nullptr);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(form->isVisible());

    // IPv6 addresses need no lookup; what is neither an address nor a name
    // is red at once, without asking DNS.
    const size_t lookups = dns.history.size();
    type(3, "2001:db8::1");
    type(4, "2001:db8::1::2");
    EXPECT_EQ(colour(3), kGreen);
    EXPECT_EQ(colour(4), kRed);
    EXPECT_EQ(dns.history.size(), lookups);
}

TEST_F(AddAddressesFormTest, RowsComeAndGoAndLateRepliesFindTheirEntryOrAreDropped)
{
    // Each way an entry leaves the grid moves the entries below it up.
    const struct {
        const char* how;
        std::function<void()> removeFirst;
        QString clipboard;
    } ways[] = {
        {"Cut",
         [&] {
             table->setCurrentCell(0, 0);
             trigger("Cut");
         },
         "lost.example"},
        {"emptied", [&] { type(0, " "); }, "untouched"},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        QApplication::clipboard()->setText("untouched");
        openForm();
        type(0, "gone@a.example");
        type(1, "lost.example");
        type(2, "kept@b.example");
        type(3, "stay.example");
        const QString tags[] = {tagOf("a.example", Kind::MailExchangers), tagOf("lost.example", Kind::HostAddresses),
                                tagOf("b.example", Kind::MailExchangers), tagOf("stay.example", Kind::HostAddresses)};
        for (const QString& tag : tags) {
            ASSERT_FALSE(tag.isEmpty());
            EXPECT_TRUE(tag.startsWith('+')) << tag.toStdString(); // no address list key starts so
        }
        way.removeFirst();
        way.removeFirst();
        ASSERT_EQ(texts(), QStringList({"kept@b.example", "stay.example", ""}));
        EXPECT_EQ(QApplication::clipboard()->text(), way.clipboard);

        // The removed entries' replies come late and change nothing; a
        // removed e-mail address's mail server is not looked up.
        ASSERT_TRUE(dns.answer(tags[0], "10 mx.a.example."));
        ASSERT_TRUE(dns.answer(tags[1], "", 3));
        EXPECT_EQ(texts(), QStringList({"kept@b.example", "stay.example", ""}));
        EXPECT_EQ(colour(0), kBlack);
        EXPECT_EQ(colour(1), kBlack);
        EXPECT_TRUE(tagOf("mx.a.example", Kind::HostAddresses).isEmpty());

        // The kept entries' replies still reach them.
        ASSERT_TRUE(dns.answer(tags[2], "10 mx.b.example."));
        ASSERT_TRUE(answer("mx.b.example", Kind::HostAddresses, "192.0.2.4"));
        ASSERT_TRUE(dns.answer(tags[3], "192.0.2.3"));
        EXPECT_EQ(texts(), QStringList({"kept@b.example", "stay.example", ""}));
        EXPECT_EQ(colour(0), kGreen);
        EXPECT_EQ(hover(1), resolves("stay.example", "192.0.2.3"));
    }

    // Copy leaves the entry; one blank row always remains.
    table->setCurrentCell(1, 0);
    trigger("Copy");
    EXPECT_EQ(QApplication::clipboard()->text(), "stay.example");
    for (int i = 0; i < 3; ++i) {
        table->setCurrentCell(0, 0);
        trigger("Delete");
    }
    EXPECT_EQ(texts(), QStringList({""}));
    // An entry typed over is a new entry, its old name's replies not its own:
    // the IPv6 test below (one tagging for every lookup of an entry).
}

// E-mail addresses stay as typed (each scan finds their mail servers); the
// dialog shows the mail server it found, by the scan's own rules.
TEST_F(AddAddressesFormTest, EmailAddressesStayAsTypedAndShowTheirMailExchanger)
{
    type(0, "postmaster@Mail.Example");
    ASSERT_EQ(dns.history.size(), 1u);
    EXPECT_EQ(QStringList({dns.history[0].name, dns.history[0].tag}), QStringList({"mail.example", "+0:Resolve:MX"}));
    // Only the best preference counts.
    ASSERT_TRUE(answer("mail.example", Kind::MailExchangers, "10 mx1.mail.example.\n20 backup.mail.example."));
    EXPECT_TRUE(tagOf("backup.mail.example", Kind::HostAddresses).isEmpty());
    ASSERT_TRUE(answer("mx1.mail.example", Kind::HostAddresses, "192.0.2.1"));
    EXPECT_EQ(texts(), QStringList({"postmaster@Mail.Example", ""}));
    EXPECT_EQ(colour(0), kGreen);
    EXPECT_EQ(hover(0),
              "This is green because the mail server of 'Mail.Example' is mx1.mail.example, which resolves "
              "to 192.0.2.1");

    // Whoever runs the domain's DNS writes the MX answer: red unless it
    // names a host that resolves.
    const struct {
        QString exchangers;
        int flag;
        QString address; // the answer to the mail server's A lookup; empty: NXDOMAIN
        QColor colour;
        QString says; // in the tooltip
    } answers[] = {
        {"", DnsFailure::NoData, "", kRed, "could not resolve 'd1.example'"},               // no MX, no address
        {"0 .", 0, "", kRed, "'d2.example' accepts no mail"},                               // null MX (RFC 7505)
        {"", DnsFailure::NoData, "192.0.2.5", kGreen, resolves("d3.example", "192.0.2.5")}, // no MX, an address
        {"10 127.0.0.7:BlacklistCheck:nxd.test", 0, "", kRed,
         "no valid mail exchanger"},                                                 // an address list entry of its own
        {"", DnsFailure::ServerFailure, "", kRed, "could not resolve 'd5.example'"}, // no fallback to the domain
    };
    QStringList entries{"postmaster@Mail.Example"};
    int row = 1;
    for (const auto& a : answers) {
        SCOPED_TRACE(a.exchangers.toStdString());
        const QString entry = QString("postmaster@d%1.example").arg(row);
        const size_t before = dns.history.size();
        mail(row, entry, a.exchangers, a.flag);
        // Implicit MX: the domain's own address.
        if (a.flag == DnsFailure::NoData)
            ASSERT_TRUE(answer(QString("d%1.example").arg(row), Kind::HostAddresses, a.address,
                               a.address.isEmpty() ? DnsFailure::NotFound : 0));
        else
            EXPECT_EQ(dns.history.size(), before + 1) << "nothing but the MX lookup";
        EXPECT_EQ(texts().at(row), entry);
        EXPECT_EQ(colour(row), a.colour);
        EXPECT_TRUE(hover(row).contains(a.says)) << hover(row).toStdString();
        EXPECT_FALSE(hover(row).contains("BlacklistCheck"));
        entries << entry;
        ++row;
    }

    click("cmdOK");
    EXPECT_EQ(listKeys(), entries);
}

TEST_F(AddAddressesFormTest, PasteChecksEveryLineInOrderAndIsOfferedOnlyWithText)
{
    QApplication::clipboard()->setText(" 192.0.2.1\r\n  host.example \n\r\nuser@mail.example\r\n"); // either line end
    trigger("Paste");
    EXPECT_EQ(texts(), QStringList({"192.0.2.1", "host.example", "user@mail.example", ""}));
    EXPECT_EQ(colour(0), kGreen);
    ASSERT_EQ(dns.history.size(), 2u);
    EXPECT_EQ(dns.history[0].tag, "+1:Resolve:A0");
    EXPECT_EQ(dns.history[1].tag, "+2:Resolve:MX");

    // A right click selects its row; Paste is offered only when there is text.
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

// A long paste is gone with one key unless the way out asks first: every
// way out (Cancel, Escape, the close box) counts what is typed, the entry
// still in its editor included, and No keeps the dialog as it was. Yes adds
// nothing, stores no option, and the replies still out change nothing.
TEST_F(AddAddressesFormTest, EveryWayOutWithEntriesAsksBeforeDiscardingThem)
{
    using Answer = UserPrompts::Answer;
    const std::function<void()> ways[] = {
        [this] { click("cmdCancel"); },
        [this] { QTest::keyClick(table, Qt::Key_Escape); },
        [this] { form->close(); },
    };
    for (const auto& leave : ways) {
        openForm();
        prompts.messages.clear();
        QGuiApplication::clipboard()->setText("192.0.2.1\n192.0.2.2\nthree.example");
        trigger("Paste");
        type(3, "four.example", Qt::Key_unknown); // still being typed
        box("chkAutoStartScan")->setChecked(false);

        prompts.answers = {Answer::No};
        leave();
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, "Discard 4 entries?");
        EXPECT_EQ(prompts.messages[0].buttons, UserPrompts::Buttons::YesNo);
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(texts().mid(0, 3), QStringList({"192.0.2.1", "192.0.2.2", "three.example"}));

        prompts.answers = {Answer::Yes};
        leave();
        EXPECT_EQ(prompts.messages.size(), 2u);
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(form->Canceled());
        EXPECT_EQ(list.Count(), 0);
        EXPECT_TRUE(settings.AutoStartScan());
        ASSERT_TRUE(answer("three.example", Kind::HostAddresses, "192.0.2.3"));
        EXPECT_EQ(colour(2), kBlack);
    }

    // Nothing typed, or everything deleted again: nothing to ask about.
    openForm();
    prompts.messages.clear();
    type(0, "192.0.2.9");
    table->setCurrentCell(0, 0);
    trigger("Delete");
    QTest::keyClick(table, Qt::Key_Escape);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_FALSE(form->isVisible());

    // One entry is worded as one.
    openForm();
    type(0, "192.0.2.9");
    prompts.answers = {Answer::No};
    click("cmdCancel");
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().text, "Discard 1 entry?");

    // Torn down in the middle of typing, one cell editor closed but not yet
    // deleted and one still open; a reply comes after.
    openForm();
    type(0, "a.example");
    type(1, "b.example", Qt::Key_unknown);
    QPointer<QLineEdit> editor(openEditor());
    ASSERT_FALSE(editor.isNull());
    form.reset();
    EXPECT_TRUE(editor.isNull());
    EXPECT_EQ(dns.history.size(), 1u); // the half-typed entry is not looked up
    ASSERT_TRUE(answer("a.example", Kind::HostAddresses, "192.0.2.1"));
    EXPECT_EQ(list.Count(), 0);
    QCoreApplication::processEvents();
}

// The dialog opens tall enough for ten entries and, once the user has
// resized it, at that size the next time.
TEST_F(AddAddressesFormTest, OpensShowingTenRowsAndKeepsTheUsersSize)
{
    const int rowHeight = table->verticalHeader()->defaultSectionSize();
    EXPECT_GE(table->viewport()->height(), 10 * rowHeight - 2);
    const QSize chosen = form->size() + QSize(120, 160);
    form->resize(chosen);
    click("cmdCancel"); // nothing typed: closes at once
    openForm();
    EXPECT_EQ(form->size(), chosen);
    // The grid took the extra room.
    EXPECT_GE(table->viewport()->height(), 10 * rowHeight + 150);
}

// Ranges are checked as they are entered and added address by address on
// OK; a large one only when the user says so, a refused one not at all
// (which ranges are refused, and why: IpRangeTest).
TEST_F(AddAddressesFormTest, NetworkRangesAreCheckedAndLargeOnesConfirmed)
{
    const struct {
        const char* typed;
        QString says; // in the tooltip; empty: green
    } ranges[] = {
        {"192.0.2.9/30", ""},
        {"10.1.0.0/19", ""},          // 8,192 addresses: asked, answered No
        {"10.2.0.0-10.2.31.255", ""}, // 8,192 addresses: asked, answered Yes
        {"1.2.3.4-1.2.3.1", "comes after"},
    };
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(ranges[row].typed);
        type(row, ranges[row].typed);
        EXPECT_EQ(colour(row), ranges[row].says.isEmpty() ? kGreen : kRed);
        if (!ranges[row].says.isEmpty()) {
            EXPECT_TRUE(hover(row).startsWith("This is red because "));
        }
        EXPECT_TRUE(hover(row).contains(ranges[row].says)) << hover(row).toStdString();
    }
    EXPECT_EQ(hover(0),
              "This is green because you entered a network range: 192.0.2.8/30, 4 addresses from "
              "192.0.2.8 to 192.0.2.11");
    EXPECT_TRUE(dns.history.empty()); // ranges are not looked up

    prompts.answers = {UserPrompts::Answer::No, UserPrompts::Answer::Yes};
    form->findChild<QPushButton*>("cmdOK")->click();
    ASSERT_EQ(prompts.messages.size(), 3u);
    EXPECT_EQ(prompts.messages[0].text, "Add all 8,192 addresses of 10.1.0.0/19?");
    EXPECT_EQ(prompts.messages[0].buttons, UserPrompts::Buttons::YesNo);
    EXPECT_EQ(prompts.messages[1].text, "Add all 8,192 addresses of 10.2.0.0-10.2.31.255?");
    // The refused one is named, with its reason.
    EXPECT_TRUE(prompts.messages[2].text.contains("1.2.3.4-1.2.3.1")) << prompts.messages[2].text.toStdString();

    ASSERT_EQ(list.Count(), 4 + 8192);
    EXPECT_EQ(QStringList({list.Item(1)->Key(), list.Item(4)->Key(), list.Item(5)->Key(), list.Item(5)->Range(),
                           list.Item(4 + 8192)->Key()}),
              QStringList({"192.0.2.8", "192.0.2.11", "10.2.0.0", "10.2.0.0-10.2.31.255", "10.2.31.255"}));
    EXPECT_FALSE(form->Canceled());
}

// "Add IPv6 Addresses": a host's AAAA records become entries of their own,
// added above the blank row, each once, and only while the box is ticked.
TEST_F(AddAddressesFormTest, IPv6AddressesOfHostsBecomeEntriesWhenAskedAndOkAddsEveryEntryAndStoresTheOptions)
{
    EXPECT_FALSE(box("chkAddIPv6")->isChecked());
    type(0, "early.example");
    EXPECT_TRUE(tagOf("early.example", Kind::HostAddresses6).isEmpty());

    // Ticked afterwards: the host already entered is looked up again, AAAA too.
    box("chkAddIPv6")->setChecked(true);
    EXPECT_FALSE(tagOf("early.example", Kind::HostAddresses6).isEmpty());

    type(1, "mail.example");
    ASSERT_TRUE(answer("mail.example", Kind::HostAddresses, "192.0.2.1"));
    // A repeated record, in another letter case, is one address.
    ASSERT_TRUE(answer("mail.example", Kind::HostAddresses6, "2001:db8::1 2001:db8::2 2001:DB8::1"));
    EXPECT_EQ(texts(), QStringList({"early.example", "mail.example", "2001:db8::1", "2001:db8::2", ""}));
    EXPECT_EQ(hover(3), "This is green because it is an IPv6 address of mail.example");

    // An entry changed before its answer came gets nothing.
    type(0, "192.0.2.9");
    answer("early.example", Kind::HostAddresses, "192.0.2.8");
    answer("early.example", Kind::HostAddresses6, "2001:db8::9");
    EXPECT_FALSE(texts().contains("2001:db8::9"));

    // OK adds every entry, a red one and one still in its editor included,
    // and stores both options.
    type(4, "bad.example");
    ASSERT_TRUE(answer("bad.example", Kind::HostAddresses, "", 3));
    type(5, "typed.example", Qt::Key_unknown);
    EXPECT_TRUE(box("chkAutoStartScan")->isChecked());
    box("chkAutoStartScan")->setChecked(false);
    click("cmdOK");
    EXPECT_EQ(listKeys(),
              QStringList({"192.0.2.9", "mail.example", "2001:db8::1", "2001:db8::2", "bad.example", "typed.example"}));
    EXPECT_FALSE(form->Canceled());
    EXPECT_FALSE(settings.AutoStartScan());
    openForm();
    EXPECT_TRUE(box("chkAddIPv6")->isChecked());
    EXPECT_FALSE(box("chkAutoStartScan")->isChecked());
}

// The verdict table's add-dialog door: every row typed into the dialog
// against a real DNS server, OK pressed, the list scanned.
TEST(AddAddressesDoor, TargetsTypedInTheDialogGetTheTableVerdicts)
{
    RbldnsdServer server;
    VerdictTable::AddZones(server);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    QTemporaryDir dir;
    const QString config = dir.filePath("servers.cfg");
    spit(config, VerdictTable::ConfigXml());
    MemoryRegistryBackend backend;
    Registry registry(backend);
    Session session(registry, {.configPath = config, .dnsServers = server.serverSpec()});
    ASSERT_TRUE(session.LastError().isEmpty()) << session.LastError().toStdString();
    Addresslist& list = session.Addresslist();
    {
        AddAddressesForm form(list, session.Settings());
        form.show();
        auto* table = form.findChild<QTableWidget*>("Table");
        for (const VerdictTable::Row& row : VerdictTable::Rows()) typeInto(table, table->rowCount() - 1, row.target);
        QTest::mouseClick(form.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    }
    ASSERT_EQ(list.Count(), static_cast<int>(VerdictTable::Rows().size()));
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    list.StartScan();
    list.Tick();
    ASSERT_TRUE(complete.count() == 1 || complete.wait(60000)) << "the scan did not end";
    for (const VerdictTable::Row& row : VerdictTable::Rows()) {
        const AddressPtr address = list.Item(row.target);
        ASSERT_NE(address, nullptr) << row.target;
        EXPECT_EQ(TargetStatusKeyword(TargetStatusFor(address->Verdict())).toStdString(), row.status)
            << "the add dialog disagrees on " << row.target << " (" << row.situation << ")";
    }
}
