#include "ui/AddEditServer.h"

#include "ServerEditorDriver.h"
#include "app/ModalDialogs.h"
#include "model/ResultCodes.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompts.h"
#include "ui/WidgetPrompts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QToolButton>
#include <gtest/gtest.h>
#include <optional>

using namespace quarlo;

namespace {

const QString kInvalid = "Reponses must be valid IP addresses";

class AddEditServerTest : public ::testing::Test {
protected:
    AddEditServerTest() : form(prompts), drive{form} {}

    void SetUp() override { ASSERT_TRUE(drive.open()); }

    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < drive.table()->rowCount(); ++r) out << drive.cell(r, c);
        return out;
    }
    QStringList shownMessages() const
    {
        QStringList out;
        for (const auto& m : prompts.messages) out << m.text;
        return out;
    }
    // A right click on the row (or below the rows); true when the popup opened.
    bool rightClick(int row)
    {
        QWidget* viewport = drive.table()->viewport();
        const QPoint pos = row < 0 ? QPoint(5, viewport->height() - 2)
                                   : drive.table()->visualItemRect(drive.table()->item(row, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
        QApplication::sendEvent(viewport, &event);
        auto* popup = form.findChild<QMenu*>("AddEditPopup");
        const bool shown = popup->isVisible();
        popup->close();
        return shown;
    }
    void deleteRow(int row)
    {
        ASSERT_TRUE(rightClick(row));
        form.findChild<QAction*>("Delete")->trigger();
    }
    // "address=reason" per code, " (not)" for one that is not a listing.
    static QStringList codesText(const ResultCodes& codes)
    {
        QStringList out;
        for (const ResultCodePtr& code : codes)
            out << code->Address() + "=" + code->Reason() + (code->Listing() ? "" : " (not)");
        return out;
    }
    std::vector<bool> notListing() const
    {
        std::vector<bool> out;
        for (int r = 0; r < drive.table()->rowCount(); ++r) out.push_back(drive.notListing(r));
        return out;
    }

    ScriptedPrompts prompts;
    AddEditServer form;
    ServerEditorDriver drive;
};

} // namespace

// On the program's real message box, which takes the focus from the cell
// editor; the editor then tries to commit and close a second time while the
// first attempt is undecided.
TEST(AddEditServer, InvalidResponseIsRefusedAndStaysInEditing)
{
    WidgetPrompts prompts;
    AddEditServer form(prompts);
    ServerEditorDriver drive{form};
    ASSERT_TRUE(drive.open());
    // Leaving the name box for the table is a change; start clean after it.
    drive.table()->setFocus();
    form.LoadResultCodes(ResultCodes());
    QString shown;
    ModalDialogs dialogs;
    dialogs.expect([&](QWidget& window) {
        auto* box = qobject_cast<QMessageBox*>(&window);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    ASSERT_TRUE(drive.editCell(0, 0, "127.0.0.256", Qt::Key_Tab));
    EXPECT_EQ(shown, kInvalid);
    ASSERT_NE(drive.cellEditor(), nullptr);
    EXPECT_EQ(drive.cellEditor()->text(), "127.0.0.256");
    EXPECT_EQ(drive.cell(0, 0), "");
    EXPECT_FALSE(form.Dirty());

    // Corrected in the same editor, it is taken; Enter in a cell never presses OK.
    drive.cellEditor()->selectAll();
    QTest::keyClicks(drive.cellEditor(), "127.0.0.2");
    QTest::keyClick(drive.cellEditor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(drive.cell(0, 0), "127.0.0.2");
    EXPECT_TRUE(form.Dirty());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(drive.table()->rowCount(), 1); // no definition yet
}

TEST_F(AddEditServerTest, TrailingRowEmptiedResponsesAndThePopupKeepTheRowsComplete)
{
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
    EXPECT_EQ(drive.table()->rowCount(), 2);
    ASSERT_TRUE(drive.addCode("127.0.0.3", "Spam"));
    ASSERT_TRUE(drive.addCode("127.0.0.4", "Proxy"));
    EXPECT_EQ(column(0), QStringList({"127.0.0.2", "127.0.0.3", "127.0.0.4", ""}));

    // A response whose definition is filled cannot be emptied.
    ASSERT_TRUE(drive.editCell(0, 0, ""));
    EXPECT_EQ(shownMessages(), QStringList({kInvalid}));
    ASSERT_NE(drive.cellEditor(), nullptr);
    QTest::keyClick(drive.cellEditor(), Qt::Key_Escape);
    EXPECT_EQ(drive.cell(0, 0), "127.0.0.2");

    // With its definition emptied first, the row goes; the last row never does.
    ASSERT_TRUE(drive.editCell(1, 1, ""));
    ASSERT_TRUE(drive.editCell(1, 0, ""));
    ASSERT_TRUE(drive.editCell(2, 0, "127.0.0.9"));
    ASSERT_TRUE(drive.editCell(2, 0, ""));
    EXPECT_EQ(column(0), QStringList({"127.0.0.2", "127.0.0.4", ""}));
    EXPECT_EQ(shownMessages(), QStringList({kInvalid}));

    // The popup offers Delete only over complete rows.
    ASSERT_TRUE(drive.editCell(2, 0, "127.0.0.9"));
    EXPECT_FALSE(rightClick(2));  // definition missing
    EXPECT_FALSE(rightClick(-1)); // below the rows
    deleteRow(0);
    EXPECT_EQ(column(0), QStringList({"127.0.0.4", "127.0.0.9"}));
}

TEST_F(AddEditServerTest, CompleteRowsAreHandedOverPlainOnceEachAndLoadingIsNoChange)
{
    const std::pair<QString, QString> typed[] = {{"127.0.0.2 ", "127.0.0.2"},
                                                 {" 127.0.0.04", "127.0.0.4"},
                                                 {"+127.0.0.5", "127.0.0.5"},
                                                 {"127.000.0.010", "127.0.0.10"}};
    for (const auto& [text, plain] : typed) {
        const int row = drive.table()->rowCount() - 1;
        ASSERT_TRUE(drive.addCode(text, "Code " + plain));
        EXPECT_EQ(drive.cell(row, 0), plain) << text.toStdString();
    }
    // The same address written another way is a repeat: the first row wins.
    ASSERT_TRUE(drive.addCode("127.0.0.002", "Repeat"));
    ASSERT_TRUE(drive.editCell(drive.table()->rowCount() - 1, 1, "Orphan definition")); // no response
    EXPECT_TRUE(prompts.messages.empty());

    ResultCodes codes;
    codes.Add("127.0.0.99", "Left over");
    form.SyncResultCodes(codes);
    EXPECT_EQ(codesText(codes),
              QStringList({"127.0.0.2=Code 127.0.0.2", "127.0.0.4=Code 127.0.0.4", "127.0.0.5=Code 127.0.0.5",
                           "127.0.0.10=Code 127.0.0.10"}));

    // Loading replaces what was typed, shows the codes plain, and is no change.
    ASSERT_TRUE(form.Dirty());
    ResultCodes loaded;
    loaded.Add("127.0.0.09", "Loaded");
    loaded.Add("127.0.0.4", "Proxy");
    form.LoadResultCodes(loaded);
    EXPECT_FALSE(form.Dirty());
    EXPECT_EQ(column(0), QStringList({"127.0.0.9", "127.0.0.4", ""}));
    form.SyncResultCodes(codes);
    EXPECT_EQ(codesText(codes), QStringList({"127.0.0.9=Loaded", "127.0.0.4=Proxy"}));
}

// Loading, clicking and saving the boxes: SettingsFormTest's edit. Here the
// boxes against the row rules.
TEST_F(AddEditServerTest, NotAListingBoxesPlayNoPartInTheRowRules)
{
    drive.table()->setFocus();
    form.LoadResultCodes(ResultCodes());

    // Ticking the trailing row does not fill it; its box stays with it
    // once the row is typed in.
    drive.clickNotListing(0);
    EXPECT_TRUE(form.Dirty());
    ASSERT_TRUE(drive.editCell(0, 0, "127.0.0.1"));
    EXPECT_EQ(drive.table()->rowCount(), 1);
    ASSERT_TRUE(drive.editCell(0, 1, "Refused"));
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
    // Repeated addresses: the first row decides, whichever way its box is.
    ASSERT_TRUE(drive.addCode("127.0.0.1", "Again, not ticked"));
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Again, ticked"));
    drive.clickNotListing(3);
    EXPECT_EQ(notListing(), std::vector<bool>({true, false, false, true, false}));
    ResultCodes codes;
    form.SyncResultCodes(codes);
    EXPECT_EQ(codesText(codes), QStringList({"127.0.0.1=Refused (not)", "127.0.0.2=Listed"}));

    // Deleting a row takes its box along.
    deleteRow(0);
    EXPECT_EQ(column(0), QStringList({"127.0.0.2", "127.0.0.1", "127.0.0.2", ""}));
    EXPECT_EQ(notListing(), std::vector<bool>({false, false, true, false}));
}

// Every way out of the dialog: only OK and Enter keep the entries, Enter
// with a change made without leaving its field; a response still being
// typed is never judged on the way out. Changes are work: Cancel, Escape
// and the close box ask before they go; a field only visited is no change.
TEST(AddEditServer, EveryWayOutDecidesCanceledAndAsksBeforeDroppingChanges)
{
    using Act = std::function<void(AddEditServer&, ServerEditorDriver&)>;
    const Act closeBox = [](AddEditServer& f, ServerEditorDriver&) { f.close(); };
    const Act escape = [](AddEditServer&, ServerEditorDriver& d) {
        if (d.cellEditor()) QTest::keyClick(d.cellEditor(), Qt::Key_Escape); // closes the cell first
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    };
    const Act ok = [](AddEditServer&, ServerEditorDriver& d) { QTest::mouseClick(d.button("cmdOK"), Qt::LeftButton); };
    // A response being typed over when the user leaves.
    const auto typing = [](Act leave) -> Act {
        return [leave](AddEditServer& f, ServerEditorDriver& d) {
            ASSERT_TRUE(d.editCell(0, 0, "zen.example", Qt::Key_unknown));
            leave(f, d);
        };
    };
    // What the user does in the focused field before pressing Enter there.
    const auto enterAfter = [](std::function<void(QWidget*)> type) -> Act {
        return [type](AddEditServer&, ServerEditorDriver&) {
            QWidget* field = QApplication::focusWidget();
            if (qobject_cast<QLineEdit*>(field)) QTest::keyClick(field, Qt::Key_End); // after the loaded text
            type(field);
            QTest::keyClick(field, Qt::Key_Return);
        };
    };
    const struct {
        const char* what;
        const char* focus; // where the user is when the editor opens
        Act act;
        bool canceled;
        std::optional<bool> changed;
    } cases[] = {
        {"close box", "txtServerName", closeBox, true, {}},
        {"Escape", "txtServerName", escape, true, {}},
        {"OK", "txtServerName", ok, false, {}},
        {"Escape, typing", "txtServerName", typing(escape), true, {}},
        {"Escape, name visited",
         "txtServerName",
         [&](AddEditServer& f, ServerEditorDriver& d) {
             d.retype("txtServerName", "Old");
             escape(f, d);
         },
         true,
         {}},
        {"Enter, home page typed", "txtURL", enterAfter([](QWidget* w) { QTest::keyClicks(w, "list/"); }), false, true},
        {"Enter, bit mask ticked", "chkBitMapped", enterAfter([](QWidget* w) { QTest::keyClick(w, Qt::Key_Space); }),
         false, true},
        {"Enter, name typed and taken back", "txtServerName", enterAfter([](QWidget* w) {
             QTest::keyClicks(w, "x");
             QTest::keyClick(w, Qt::Key_Backspace);
         }),
         false, false},
    };
    ResultCodes codes;
    codes.Add("127.0.0.2", "Listed");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPrompts prompts;
        AddEditServer form(prompts);
        ServerEditorDriver drive{form};
        form.setServerName("Old");
        form.setServer("old.example");
        form.setURL("http://old.example/");
        ASSERT_TRUE(drive.open());
        form.findChild<QWidget*>(c.focus)->setFocus(Qt::OtherFocusReason);
        form.LoadResultCodes(codes); // the field reached without leaving another one
        ASSERT_FALSE(form.Dirty());
        c.act(form, drive);
        EXPECT_TRUE(prompts.messages.empty());
        EXPECT_EQ(form.Canceled(), c.canceled);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.Server(), "old.example"); // hidden, not torn down: the caller still reads it
        if (c.changed) {
            EXPECT_EQ(form.Dirty(), *c.changed);
        }
    }

    // A name typed, its box not left: No keeps the editor as it was.
    const Act cancel = [](AddEditServer&, ServerEditorDriver& d) {
        QTest::mouseClick(d.button("cmdCancel"), Qt::LeftButton);
    };
    for (const Act& leave : {cancel, escape, closeBox}) {
        ScriptedPrompts asked;
        AddEditServer editor(asked);
        ServerEditorDriver d{editor};
        ASSERT_TRUE(d.open());
        QTest::keyClicks(d.box("txtServerName"), "Zen");
        asked.answers = {UserPrompts::Answer::No};
        leave(editor, d);
        ASSERT_EQ(asked.messages.size(), 1u);
        EXPECT_EQ(asked.messages[0].text, "Discard the changes to this server?");
        EXPECT_TRUE(editor.isVisible());
        EXPECT_FALSE(editor.Canceled());
        EXPECT_EQ(editor.ServerName(), "Zen");

        asked.answers = {UserPrompts::Answer::Yes};
        leave(editor, d);
        EXPECT_FALSE(editor.isVisible());
        EXPECT_TRUE(editor.Canceled());
    }
}

TEST_F(AddEditServerTest, ListKindIPv6AndSelfTestBoxesAreEditedAndCountAsChanges)
{
    auto* kind = form.findChild<QComboBox*>("cboListKind");
    auto* ipv6 = form.findChild<QCheckBox*>("chkIPv6");
    auto* selfTest = form.findChild<QCheckBox*>("chkSelfTest");
    ASSERT_TRUE(kind && ipv6 && selfTest);
    // A new server trusts no list that fails its test.
    EXPECT_TRUE(selfTest->isChecked());
    EXPECT_TRUE(form.SelfTest());
    EXPECT_EQ(selfTest->text(), "Has a test entry (127.0.0.2 listed)");
    // What the caller sets is the baseline, not a change (the fields reaching
    // the server: SettingsFormTest's edit).
    form.setAnswersIPv6(true);
    form.setSelfTest(false);
    EXPECT_FALSE(selfTest->isChecked());
    EXPECT_FALSE(form.Dirty());

    // A domain list is asked for names: the IPv6 box goes off and reads
    // false, and the test entry is a name.
    kind->setCurrentIndex(1);
    EXPECT_FALSE(ipv6->isEnabled());
    EXPECT_FALSE(form.AnswersIPv6());
    EXPECT_EQ(selfTest->text(), "Has a test entry (\"test\" listed)");
    EXPECT_TRUE(form.Dirty());
    kind->setCurrentIndex(0);
    EXPECT_TRUE(ipv6->isEnabled());
    EXPECT_TRUE(form.AnswersIPv6());
    EXPECT_FALSE(form.Dirty());
    // The user's click is a change.
    selfTest->click();
    EXPECT_TRUE(form.SelfTest());
    EXPECT_TRUE(form.Dirty());

    // Loading a domain list over a set IPv6 box is no change either.
    ScriptedPrompts quiet;
    AddEditServer fresh(quiet);
    fresh.setAnswersIPv6(true);
    fresh.setDomainList(true);
    EXPECT_FALSE(fresh.Dirty());
    EXPECT_FALSE(fresh.AnswersIPv6());
}

// OK (or Enter) keeps the editor open until its entries make a usable
// server, and says which field is wrong; the focus goes there.
TEST_F(AddEditServerTest, OkRefusesPlaceholdersAndBadEntriesNamingTheField)
{
    const auto pressOk = [this] {
        QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
        return prompts.messages.empty() ? QString() : prompts.messages.back().text;
    };
    form.setZoneTaken([](const QString& zone) { return zone.compare("held.example", Qt::CaseInsensitive) == 0; });

    // Untouched: the name placeholder is no name.
    EXPECT_EQ(pressOk(), "Fill in the Blacklist Server Name.");
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), drive.box("txtServerName"));

    drive.retype("txtServerName", "Zen");
    EXPECT_TRUE(pressOk().startsWith("Fill in the DNS Domain")) << prompts.messages.back().text.toStdString();
    EXPECT_EQ(QApplication::focusWidget(), drive.box("txtServer"));

    const struct {
        const char* zone;
        const char* said;
    } zones[] = {
        {"xxx.xxx.xxx", "Fill in the DNS Domain"},
        {"single", "The DNS Domain \"single\" is not a DNS zone"},
        {"bad zone.example", "The DNS Domain \"bad zone.example\" is not a DNS zone"},
        {"-lead.example", "The DNS Domain \"-lead.example\" is not a DNS zone"},
        {"Held.Example", "Held.Example is already in the list of blacklist servers."},
    };
    for (const auto& z : zones) {
        SCOPED_TRACE(z.zone);
        drive.retype("txtServer", z.zone);
        EXPECT_TRUE(pressOk().startsWith(z.said)) << prompts.messages.back().text.toStdString();
        EXPECT_TRUE(form.isVisible());
    }
    drive.retype("txtServer", "zen.example");
    // Coming back to a typed zone leaves it alone.
    QTest::keyClick(drive.box("txtURL"), Qt::Key_Backtab);
    EXPECT_EQ(form.Server(), "zen.example");
    EXPECT_TRUE(pressOk().startsWith("Enter at least one Response")) << prompts.messages.back().text.toStdString();

    ASSERT_TRUE(drive.addCode("10.0.0.2", "Outside"));
    EXPECT_EQ(pressOk(), "The response 10.0.0.2 is not in 127.0.0.0/8, where blacklists answer.");
    ASSERT_TRUE(drive.editCell(0, 0, "127.0.0.2"));
    // A response typed without its definition is not silently dropped.
    ASSERT_TRUE(drive.editCell(1, 0, "127.0.0.3", Qt::Key_Return));
    EXPECT_EQ(pressOk(), "Fill in the Definition of the response 127.0.0.3.");
    ASSERT_TRUE(drive.editCell(1, 1, "Spam"));

    const size_t said = prompts.messages.size();
    pressOk();
    EXPECT_EQ(prompts.messages.size(), said);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Canceled());
    // The bare "http://" the home page box starts with is no home page.
    EXPECT_EQ(form.URL(), "");
}

// The list's own resolvers go through the engine's reader of server entries:
// a wrong entry is refused by the field's name, a right one is kept in the
// form the settings keep.
TEST_F(AddEditServerTest, ListDnsServersAreRefusedByNameUnlessTheEngineReadsThem)
{
    drive.retype("txtServerName", "Own resolvers");
    drive.retype("txtServer", "bl.example");
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
    drive.retype("txtDnsServers", "192.0.2.53,  resolver.example:53");
    QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
    ASSERT_FALSE(prompts.messages.empty());
    const QString said = prompts.messages.back().text;
    EXPECT_TRUE(said.contains("List's DNS servers") && said.contains("\"resolver.example:53\"")) << qPrintable(said);
    EXPECT_NE(form.result(), QDialog::Accepted);
    EXPECT_EQ(QApplication::focusWidget(), drive.box("txtDnsServers"));

    drive.retype("txtDnsServers", " 192.0.2.53 ,[2001:db8::53]:5353,");
    QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.DnsServers(), "192.0.2.53, [2001:db8::53]:5353");
}

// The key boxes belong to key-based zones only; the key is masked unless
// the user asks to see it, and a missing one is pointed out.
TEST_F(AddEditServerTest, AKeyZoneShowsItsKeyMaskedAndSaysWhenItIsMissing)
{
    QLineEdit* keyBox = drive.box("txtKey");
    auto* note = form.findChild<QLabel*>("lblKeyNote");
    auto* show = form.findChild<QToolButton*>("cmdShowKey");
    drive.retype("txtServer", "zen.example");
    EXPECT_FALSE(keyBox->isVisible());
    EXPECT_FALSE(note->isVisible());

    drive.retype("txtServerName", "Keyed");
    drive.retype("txtServer", "{key}.zen.example");
    ASSERT_TRUE(keyBox->isVisible());
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().contains("skipped until a key is set"));
    // The name the key goes by unless one is typed: the label before the last.
    EXPECT_EQ(drive.box("txtKeyName")->placeholderText(), "zen");

    // A key from the environment: an empty box does not skip the list.
    form.setKeyGivenElsewhere(true);
    EXPECT_FALSE(note->isVisible());
    form.setKeyGivenElsewhere(false);
    EXPECT_TRUE(note->isVisible());

    drive.retype("txtKey", "abc-123");
    EXPECT_FALSE(note->isVisible());
    EXPECT_EQ(keyBox->echoMode(), QLineEdit::Password);
    EXPECT_NE(keyBox->displayText(), "abc-123");
    const QString hiddenName = show->accessibleName();
    QTest::mouseClick(show, Qt::LeftButton);
    EXPECT_EQ(keyBox->echoMode(), QLineEdit::Normal);
    EXPECT_NE(show->accessibleName(), hiddenName) << "the button says what it will do next";

    // A key that cannot stand in a DNS name is refused without being repeated.
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
    drive.retype("txtKey", "secret.with.dots");
    QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
    const QString said = prompts.messages.back().text;
    EXPECT_TRUE(said.contains("Access key")) << qPrintable(said);
    EXPECT_FALSE(said.contains("secret")) << qPrintable(said);
    EXPECT_NE(form.result(), QDialog::Accepted);
}
