#include "ui/AddEditServer.h"

#include "ServerEditorDriver.h"
#include "model/ResultCodes.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompts.h"
#include "ui/WidgetPrompts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QScreen>
#include <gtest/gtest.h>

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
    // A right click over the table's viewport; true when the popup opened.
    bool rightClick(const QPoint& pos)
    {
        QWidget* viewport = drive.table()->viewport();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
        QApplication::sendEvent(viewport, &event);
        auto* popup = form.findChild<QMenu*>("AddEditPopup");
        const bool shown = popup->isVisible();
        popup->close();
        return shown;
    }
    QPoint rowCentre(int row) const { return drive.table()->visualItemRect(drive.table()->item(row, 0)).center(); }

    ScriptedPrompts prompts;
    AddEditServer form;
    ServerEditorDriver drive;
};

} // namespace

TEST_F(AddEditServerTest, PlaceholdersGiveWayToTheUsersEntries)
{
    EXPECT_EQ(QApplication::focusWidget(), drive.box("txtServerName"));
    EXPECT_EQ(form.Server(), "xxx.xxx.xxx");
    EXPECT_EQ(form.URL(), "http://");

    // The first key replaces the placeholder name; later keys append.
    QTest::keyClicks(drive.box("txtServerName"), "Zen");
    EXPECT_EQ(form.ServerName(), "Zen");
    QTest::keyClicks(drive.box("txtServerName"), " List");
    EXPECT_EQ(form.ServerName(), "Zen List");
    EXPECT_TRUE(form.Dirty()); // a name other than the one put in, even before leaving the box

    // Tabbing into the untouched zone box empties it; leaving the name box
    // makes the editor dirty.
    QTest::keyClick(drive.box("txtServerName"), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), drive.box("txtServer"));
    EXPECT_EQ(form.Server(), "");
    EXPECT_TRUE(form.Dirty());
    QTest::keyClicks(drive.box("txtServer"), "zen.example");

    // The home page keeps its prefix, with the caret after it.
    QTest::keyClick(drive.box("txtServer"), Qt::Key_Tab);
    EXPECT_EQ(drive.box("txtURL")->cursorPosition(), 7);
    EXPECT_FALSE(drive.box("txtURL")->hasSelectedText());
    QTest::keyClicks(drive.box("txtURL"), "www.zen.example/");
    EXPECT_EQ(form.URL(), "http://www.zen.example/");

    // Coming back to a typed zone leaves it alone.
    QTest::keyClick(drive.box("txtURL"), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), drive.box("txtServer"));
    EXPECT_EQ(form.Server(), "zen.example");
}

TEST_F(AddEditServerTest, InvalidResponsesAreRefusedAndStayInEditing)
{
    // Leaving the name box for the table is a change; start clean after it.
    drive.table()->setFocus();
    form.LoadResultCodes(ResultCodes());
    for (const QString& wrong : {QString("127.0.0.300"), QString("zen.example")}) {
        prompts.messages.clear();
        ASSERT_TRUE(drive.editCell(0, 0, wrong));
        ASSERT_EQ(prompts.messages.size(), 1u) << wrong.toStdString();
        EXPECT_EQ(prompts.messages[0].text, kInvalid);
        EXPECT_EQ(prompts.messages[0].icon, UserPrompts::Icon::Exclamation);
        EXPECT_EQ(prompts.messages[0].buttons, UserPrompts::Buttons::Ok);
        ASSERT_NE(drive.cellEditor(), nullptr);
        EXPECT_EQ(drive.cellEditor()->text(), wrong);
        EXPECT_EQ(drive.cell(0, 0), "");
        EXPECT_FALSE(form.Dirty());
        QTest::keyClick(drive.cellEditor(), Qt::Key_Escape);
        EXPECT_EQ(drive.cellEditor(), nullptr);
    }

    // Tab is refused the same way, and Enter in a cell never presses OK.
    ASSERT_TRUE(drive.editCell(0, 0, "not-an-address", Qt::Key_Tab));
    EXPECT_EQ(shownMessages(), QStringList({kInvalid, kInvalid}));
    ASSERT_NE(drive.cellEditor(), nullptr);
    EXPECT_EQ(drive.table()->currentColumn(), 0);
    drive.cellEditor()->selectAll();
    QTest::keyClicks(drive.cellEditor(), "127.0.0.2");
    QTest::keyClick(drive.cellEditor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(drive.cell(0, 0), "127.0.0.2");
    EXPECT_TRUE(form.Dirty());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(drive.table()->rowCount(), 1); // no definition yet
}

TEST(AddEditServer, ClosingWithAnEditorOpenDecidesNothing)
{
    // The user closes the dialog while typing a response that would be
    // refused; another cell's editor has closed but is not deleted yet.
    ScriptedPrompts prompts;
    auto form = std::make_unique<AddEditServer>(prompts);
    ServerEditorDriver drive{*form};
    ASSERT_TRUE(drive.open());
    ASSERT_TRUE(drive.addCode("127.0.0.2", "listed"));
    ASSERT_TRUE(drive.editCell(1, 0, "zen.example", Qt::Key_unknown));
    QPointer<QLineEdit> editor(drive.cellEditor());
    ASSERT_FALSE(editor.isNull());

    form.reset();
    EXPECT_TRUE(editor.isNull());
    EXPECT_TRUE(prompts.messages.empty());
    QCoreApplication::processEvents();
}

TEST(AddEditServer, RealMessageBoxKeepsTheRefusedEditOpen)
{
    // The box takes the focus from the cell editor, which then tries to
    // commit and close a second time while the first attempt is undecided.
    WidgetPrompts prompts;
    AddEditServer form(prompts);
    ServerEditorDriver drive{form};
    ASSERT_TRUE(drive.open());
    QString shown;
    std::function<void()> answer = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, answer);
            return;
        }
        shown = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    };
    QTimer::singleShot(0, answer);
    ASSERT_TRUE(drive.editCell(0, 0, "127.0.0.256"));
    EXPECT_EQ(shown, kInvalid);
    ASSERT_NE(drive.cellEditor(), nullptr);
    EXPECT_EQ(drive.cellEditor()->text(), "127.0.0.256");
    EXPECT_EQ(drive.cell(0, 0), "");
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.Canceled());
}

TEST_F(AddEditServerTest, FilledLastRowGetsATrailingRowAndEmptiedResponsesAreHandled)
{
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
    EXPECT_EQ(drive.table()->rowCount(), 2);
    EXPECT_EQ(drive.table()->currentRow(), 1);
    EXPECT_EQ(drive.table()->currentColumn(), 0);
    ASSERT_TRUE(drive.addCode("127.0.0.3", "Spam"));
    ASSERT_TRUE(drive.addCode("127.0.0.4", "Proxy"));
    EXPECT_EQ(column(0), QStringList({"127.0.0.2", "127.0.0.3", "127.0.0.4", ""}));
    EXPECT_TRUE(prompts.messages.empty());

    // A response whose definition is filled cannot be emptied.
    ASSERT_TRUE(drive.editCell(0, 0, ""));
    EXPECT_EQ(shownMessages(), QStringList({kInvalid}));
    ASSERT_NE(drive.cellEditor(), nullptr);
    QTest::keyClick(drive.cellEditor(), Qt::Key_Escape);
    EXPECT_EQ(drive.cell(0, 0), "127.0.0.2");

    // With its definition emptied first, the row goes.
    ASSERT_TRUE(drive.editCell(1, 1, ""));
    ASSERT_TRUE(drive.editCell(1, 0, ""));
    EXPECT_EQ(column(0), QStringList({"127.0.0.2", "127.0.0.4", ""}));
    EXPECT_EQ(shownMessages(), QStringList({kInvalid}));

    // The last row is never removed.
    ASSERT_TRUE(drive.editCell(2, 0, "127.0.0.9"));
    ASSERT_TRUE(drive.editCell(2, 0, ""));
    EXPECT_EQ(column(0), QStringList({"127.0.0.2", "127.0.0.4", ""}));
}

TEST_F(AddEditServerTest, PopupDeletesOnlyCompleteRows)
{
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
    ASSERT_TRUE(drive.addCode("127.0.0.3", "Spam"));
    ASSERT_TRUE(drive.editCell(2, 0, "127.0.0.4"));

    EXPECT_FALSE(rightClick(rowCentre(2))); // definition missing
    EXPECT_FALSE(rightClick(QPoint(5, drive.table()->viewport()->height() - 2))); // below the rows
    EXPECT_EQ(drive.table()->currentRow(), 2);

    EXPECT_TRUE(rightClick(rowCentre(0)));
    EXPECT_EQ(drive.table()->currentRow(), 0);
    form.findChild<QAction*>("Delete")->trigger();
    EXPECT_EQ(column(0), QStringList({"127.0.0.3", "127.0.0.4"}));
}

TEST_F(AddEditServerTest, SyncTakesCompleteValidRowsAndTheFirstOfARepeatedAddress)
{
    ASSERT_TRUE(drive.addCode("127.0.0.2", "First"));
    ASSERT_TRUE(drive.addCode("127.0.0.3", "Spam"));
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Second"));
    ASSERT_TRUE(drive.editCell(3, 1, "Orphan definition")); // trailing row, no response
    EXPECT_EQ(drive.table()->rowCount(), 4);

    ResultCodes codes;
    codes.Add("127.0.0.99", "Left over");
    form.SyncResultCodes(codes);
    ASSERT_EQ(codes.Count(), 2);
    EXPECT_EQ(codes.Item(1)->Address(), "127.0.0.2");
    EXPECT_EQ(codes.Item(1)->Reason(), "First");
    EXPECT_EQ(codes.Item(2)->Reason(), "Spam");
}

TEST_F(AddEditServerTest, LoadResultCodesReplacesTheTableAndIsNotAChange)
{
    ASSERT_TRUE(drive.addCode("10.0.0.1", "Typed before loading"));
    ASSERT_TRUE(form.Dirty());

    ResultCodes codes;
    codes.Add("127.0.0.2", "Listed");
    codes.Add("127.0.0.4", "Proxy");
    codes.Add("127.0.0.10", "Dynamic");
    form.LoadResultCodes(codes);
    EXPECT_FALSE(form.Dirty());
    EXPECT_EQ(drive.table()->rowCount(), 4); // the heading is the view's own
    EXPECT_EQ(column(0), QStringList({"127.0.0.2", "127.0.0.4", "127.0.0.10", ""}));
    EXPECT_EQ(column(1), QStringList({"Listed", "Proxy", "Dynamic", ""}));
}

TEST_F(AddEditServerTest, NotAListingBoxesFollowTheCodesBothWays)
{
    QStringList headings;
    for (int c = 0; c < drive.table()->columnCount(); ++c) headings << drive.table()->horizontalHeaderItem(c)->text();
    EXPECT_EQ(headings, QStringList({"Response", "Definition", "Not a listing"}));

    ResultCodes codes;
    codes.Add("127.0.0.2", "Listed");
    codes.Add("127.255.255.254", "Refused")->setListing(false);
    codes.Add("127.0.0.4", "Proxy");
    form.LoadResultCodes(codes);
    EXPECT_FALSE(form.Dirty());
    const std::vector<bool> loaded = {drive.notListing(0), drive.notListing(1), drive.notListing(2), drive.notListing(3)};
    EXPECT_EQ(loaded, std::vector<bool>({false, true, false, false}));

    // A click on a box is a change of the server.
    drive.clickNotListing(0);
    EXPECT_TRUE(drive.notListing(0));
    EXPECT_TRUE(form.Dirty());
    drive.clickNotListing(1);
    EXPECT_FALSE(drive.notListing(1));

    // Repeated addresses: the first row decides, whichever way its box is.
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Again, not ticked"));
    ASSERT_TRUE(drive.addCode("127.0.0.4", "Again, ticked"));
    drive.clickNotListing(4);
    ASSERT_TRUE(drive.notListing(4));

    ResultCodes synced;
    synced.Add("127.0.0.2", "Held before")->setListing(true);
    form.SyncResultCodes(synced);
    ASSERT_EQ(synced.Count(), 3);
    struct Row {
        QString address, reason;
        bool listing;
    };
    const Row want[] = {{"127.0.0.2", "Listed", false}, {"127.255.255.254", "Refused", true}, {"127.0.0.4", "Proxy", true}};
    for (int i = 0; i < 3; ++i) {
        const ResultCodePtr code = synced.Item(i + 1);
        EXPECT_EQ(code->Address(), want[i].address);
        EXPECT_EQ(code->Reason(), want[i].reason);
        EXPECT_EQ(code->Listing(), want[i].listing) << want[i].address.toStdString();
    }
}

TEST_F(AddEditServerTest, BoxesPlayNoPartInTheRowRules)
{
    drive.table()->setFocus();
    form.LoadResultCodes(ResultCodes());

    // Ticking the trailing row does not fill it; its box stays with it
    // once the row is typed in.
    drive.clickNotListing(0);
    EXPECT_TRUE(form.Dirty());
    EXPECT_EQ(drive.table()->rowCount(), 1);
    ASSERT_TRUE(drive.editCell(0, 0, "127.0.0.1"));
    EXPECT_EQ(drive.table()->rowCount(), 1);
    EXPECT_FALSE(rightClick(rowCentre(0))); // no definition yet: nothing to delete
    ASSERT_TRUE(drive.editCell(0, 1, "Refused"));
    EXPECT_EQ(drive.table()->rowCount(), 2);
    EXPECT_FALSE(drive.notListing(1));
    ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
    ResultCodes codes;
    form.SyncResultCodes(codes);
    ASSERT_EQ(codes.Count(), 2);
    EXPECT_FALSE(codes.Item("127.0.0.1")->Listing());
    EXPECT_TRUE(codes.Item("127.0.0.2")->Listing());

    // Tab in an editor passes over the box column, both ways.
    ASSERT_TRUE(drive.editCell(0, 1, "Refused by the operator", Qt::Key_Tab));
    ASSERT_NE(drive.cellEditor(), nullptr);
    EXPECT_EQ(drive.table()->currentRow(), 1);
    EXPECT_EQ(drive.table()->currentColumn(), 0);
    QTest::keyClick(drive.cellEditor(), Qt::Key_Backtab);
    QCoreApplication::processEvents();
    ASSERT_NE(drive.cellEditor(), nullptr);
    EXPECT_EQ(drive.table()->currentRow(), 0);
    EXPECT_EQ(drive.table()->currentColumn(), 1);
    QTest::keyClick(drive.cellEditor(), Qt::Key_Escape);
    EXPECT_EQ(drive.cell(0, 1), "Refused by the operator");

    // Deleting a row takes its box along.
    ASSERT_TRUE(rightClick(rowCentre(0)));
    form.findChild<QAction*>("Delete")->trigger();
    EXPECT_EQ(column(0), QStringList({"127.0.0.2", ""}));
    EXPECT_FALSE(drive.notListing(0));
}

TEST_F(AddEditServerTest, CancelEscapeAndCloseBoxCancelWhileOkAndEnterDoNot)
{
    const QRect screen = form.screen()->availableGeometry();
    EXPECT_LE((form.frameGeometry().center() - screen.center()).manhattanLength(), 2);

    EXPECT_FALSE(form.Canceled());
    form.close();
    EXPECT_TRUE(form.Canceled());
    EXPECT_FALSE(form.isVisible());

    ScriptedPrompts quiet;
    for (const int way : {0, 1, 2, 3}) {
        AddEditServer other(quiet);
        ServerEditorDriver d{other};
        ASSERT_TRUE(d.open());
        switch (way) {
        case 0: QTest::mouseClick(d.button("cmdCancel"), Qt::LeftButton); break;
        case 1: QTest::keyClick(d.box("txtServerName"), Qt::Key_Escape); break;
        case 2: QTest::mouseClick(d.button("cmdOK"), Qt::LeftButton); break;
        case 3: QTest::keyClick(d.box("txtServerName"), Qt::Key_Return); break;
        }
        EXPECT_FALSE(other.isVisible()) << way;
        EXPECT_EQ(other.Canceled(), way < 2) << way;
        // Hidden, not torn down: the caller still reads it.
        EXPECT_EQ(other.Server(), "xxx.xxx.xxx");
    }
}

TEST(AddEditServer, CancellingLeavesTheResponseBeingTypedUnchecked)
{
    // Cancel button, close box, Escape (the first closes the cell, the second the dialog).
    for (const int way : {0, 1, 2}) {
        ScriptedPrompts prompts;
        AddEditServer form(prompts);
        ServerEditorDriver drive{form};
        ASSERT_TRUE(drive.open());
        ASSERT_TRUE(drive.editCell(0, 0, "zen.example", Qt::Key_unknown));
        ASSERT_NE(drive.cellEditor(), nullptr);
        switch (way) {
        case 0: QTest::mouseClick(drive.button("cmdCancel"), Qt::LeftButton); break;
        case 1: form.close(); break;
        case 2:
            QTest::keyClick(drive.cellEditor(), Qt::Key_Escape);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            break;
        }
        EXPECT_TRUE(prompts.messages.empty()) << way;
        EXPECT_TRUE(form.Canceled()) << way;
        EXPECT_FALSE(form.isVisible()) << way;
    }
}

TEST(AddEditServer, EnterKeepsAChangeMadeWithoutLeavingTheField)
{
    struct Case {
        const char* what;
        const char* focus;                // where the user is when the editor opens
        std::function<void(QWidget*)> type; // what the user does there before Enter
        bool changed;
    };
    const Case cases[] = {
        {"name", "txtServerName", [](QWidget* w) { QTest::keyClicks(w, " 2"); }, true},
        {"zone", "txtServer", [](QWidget* w) { QTest::keyClicks(w, ".net"); }, true},
        {"home page", "txtURL", [](QWidget* w) { QTest::keyClicks(w, "list/"); }, true},
        {"bit mask", "chkBitMapped", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Space); }, true},
        {"name typed and taken back", "txtServerName",
         [](QWidget* w) {
             QTest::keyClicks(w, "x");
             QTest::keyClick(w, Qt::Key_Backspace);
         },
         false},
        {"bit mask ticked and cleared", "chkBitMapped",
         [](QWidget* w) {
             QTest::keyClick(w, Qt::Key_Space);
             QTest::keyClick(w, Qt::Key_Space);
         },
         false},
    };
    ResultCodes codes;
    codes.Add("127.0.0.2", "Listed");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPrompts prompts;
        AddEditServer form(prompts);
        ServerEditorDriver drive{form};
        form.setServerName("Old");
        form.setServer("old.example");
        form.setURL("http://old.example/");
        form.LoadResultCodes(codes);
        ASSERT_TRUE(drive.open());
        auto* target = form.findChild<QWidget*>(c.focus);
        target->setFocus(Qt::OtherFocusReason);
        // Reached the field without leaving another one.
        form.LoadResultCodes(codes);
        ASSERT_FALSE(form.Dirty());

        if (qobject_cast<QLineEdit*>(target)) QTest::keyClick(target, Qt::Key_End); // after the loaded text
        c.type(target);
        QTest::keyClick(target, Qt::Key_Return);
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(form.Canceled());
        EXPECT_EQ(form.Dirty(), c.changed);
    }
}

TEST_F(AddEditServerTest, ResponsesAreShownAndHandedOverInPlainDottedForm)
{
    struct Case {
        QString typed, plain;
    };
    const Case cases[] = {{"127.0.0.2 ", "127.0.0.2"},
                          {" 127.0.0.04", "127.0.0.4"},
                          {"+127.0.0.5", "127.0.0.5"},
                          {"127.000.0.010", "127.0.0.10"}};
    for (const Case& c : cases) {
        const int row = drive.table()->rowCount() - 1;
        ASSERT_TRUE(drive.addCode(c.typed, "Code " + c.plain));
        EXPECT_EQ(drive.cell(row, 0), c.plain) << c.typed.toStdString();
    }
    // The same address written another way is a repeat: the first row wins.
    ASSERT_TRUE(drive.addCode("127.0.0.002", "Repeat"));
    EXPECT_TRUE(prompts.messages.empty());

    ResultCodes codes;
    form.SyncResultCodes(codes);
    QStringList addresses;
    for (const ResultCodePtr& code : codes) addresses << code->Address();
    EXPECT_EQ(addresses, QStringList({"127.0.0.2", "127.0.0.4", "127.0.0.5", "127.0.0.10"}));
    ASSERT_NE(codes.Item("127.0.0.2"), nullptr);
    EXPECT_EQ(codes.Item("127.0.0.2")->Reason(), "Code 127.0.0.2");

    // Codes loaded in another form are shown plain, and that is no change.
    ResultCodes loaded;
    loaded.Add("127.0.0.09", "Loaded");
    form.LoadResultCodes(loaded);
    EXPECT_EQ(drive.cell(0, 0), "127.0.0.9");
    EXPECT_FALSE(form.Dirty());
    form.SyncResultCodes(codes);
    ASSERT_EQ(codes.Count(), 1);
    EXPECT_EQ(codes.Item(1)->Address(), "127.0.0.9");
}

TEST_F(AddEditServerTest, ListKindAndIPv6BoxesAreEditedAndCountAsChanges)
{
    auto* kind = form.findChild<QComboBox*>("cboListKind");
    auto* ipv6 = form.findChild<QCheckBox*>("chkIPv6");
    ASSERT_NE(kind, nullptr);
    ASSERT_NE(ipv6, nullptr);
    EXPECT_EQ(kind->currentText(), "IP list");
    EXPECT_FALSE(form.DomainList());
    EXPECT_FALSE(form.AnswersIPv6());

    // What the caller sets is the baseline, not a change.
    form.setAnswersIPv6(true);
    EXPECT_TRUE(form.AnswersIPv6());
    EXPECT_FALSE(form.Dirty());

    // A domain list is asked for names: the IPv6 box goes off and reads false.
    kind->setCurrentIndex(1);
    EXPECT_TRUE(form.DomainList());
    EXPECT_FALSE(ipv6->isEnabled());
    EXPECT_FALSE(form.AnswersIPv6());
    EXPECT_TRUE(form.Dirty());
    kind->setCurrentIndex(0);
    EXPECT_TRUE(ipv6->isEnabled());
    EXPECT_TRUE(form.AnswersIPv6());
    EXPECT_FALSE(form.Dirty());

    ipv6->setChecked(false);
    EXPECT_TRUE(form.Dirty());
    form.setDomainList(true);
    EXPECT_EQ(kind->currentText(), "Domain list");

    // Loading a domain list in either order is no change.
    for (bool ipv6First : {true, false}) {
        ScriptedPrompts quiet;
        AddEditServer fresh(quiet);
        if (ipv6First) fresh.setAnswersIPv6(true);
        fresh.setDomainList(true);
        if (!ipv6First) fresh.setAnswersIPv6(true);
        EXPECT_FALSE(fresh.Dirty()) << ipv6First;
        EXPECT_FALSE(fresh.AnswersIPv6());
    }
}
