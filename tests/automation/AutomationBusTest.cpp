// Runs the real program on a private session bus (the test is started under
// dbus-run-session with the build's activation file on XDG_DATA_DIRS): the
// first call starts it with --automation, and the tests drive it as a client
// would, against an rbldnsd on loopback.
#include "SignalRecorder.h"
#include "support/RbldnsdServer.h"
#include "support/TestFiles.h"
#include "support/VerdictTable.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace quarlo {
namespace {

const QString kService = QStringLiteral("com.vantorel.Quarlo");
const QString kPrefix = QStringLiteral("com.vantorel.Quarlo.");
const QString kGone = QStringLiteral("com.vantorel.Quarlo.Error.ObjectGone");
const QString kInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString kBusy = QStringLiteral("com.vantorel.Quarlo.Error.Busy");
constexpr int kCallTimeoutMs = 30000;

// Event-driven, with a limit generous for a loaded machine.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 30000)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

// The test's own connection to the program; the program counts it as a
// client until it is disconnected.
class Client {
public:
    explicit Client(const QString& name)
        : name_(name), bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
    {
    }
    ~Client() { disconnect(); }
    void disconnect()
    {
        if (!connected_) return;
        // The bus connection closes only with its last reference.
        bus_ = QDBusConnection(QStringLiteral("quarlo-test-disconnected"));
        QDBusConnection::disconnectFromBus(name_);
        connected_ = false;
    }
    QDBusConnection& bus() { return bus_; }

    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {})
    {
        return bus_.call(message(path, kPrefix + interface, method, args), QDBus::Block, kCallTimeoutMs);
    }
    QDBusPendingCall callLater(const QString& path, const QString& interface, const QString& method,
                               const QVariantList& args = {})
    {
        return bus_.asyncCall(message(path, kPrefix + interface, method, args), 120000);
    }
    QDBusMessage get(const QString& path, const QString& interface, const QString& property)
    {
        return bus_.call(message(path, kProperties, "Get", {kPrefix + interface, property}), QDBus::Block,
                         kCallTimeoutMs);
    }
    QDBusMessage set(const QString& path, const QString& interface, const QString& property, const QVariant& value)
    {
        const QVariantList args{kPrefix + interface, property, QVariant::fromValue(QDBusVariant(value))};
        return bus_.call(message(path, kProperties, "Set", args), QDBus::Block, kCallTimeoutMs);
    }
    // The value of a property or the first result of a call; invalid on error.
    QVariant value(const QDBusMessage& reply)
    {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return QVariant();
        QVariant v = reply.arguments().first();
        if (v.userType() == qMetaTypeId<QDBusVariant>()) v = v.value<QDBusVariant>().variant();
        return v;
    }
    QVariant prop(const QString& path, const QString& interface, const QString& property)
    {
        return value(get(path, interface, property));
    }
    QString path(const QDBusMessage& reply) { return value(reply).value<QDBusObjectPath>().path(); }

private:
    static inline const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
    static QDBusMessage message(const QString& path, const QString& interface, const QString& method,
                                const QVariantList& args)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, path, interface, method);
        m.setArguments(args);
        return m;
    }

    QString name_;
    QDBusConnection bus_;
    bool connected_ = true;
};

QVariant key(const QVariant& v)
{
    return QVariant::fromValue(QDBusVariant(v));
}

class AutomationBus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        rbl_ = std::make_unique<RbldnsdServer>();
        rbl_->addZone("bl.test", "ip4set",
                      "127.0.0.2 :127.0.0.2:Test entry\n192.0.2.7 :127.0.0.4:Open relay seen at 192.0.2.7\n");
        VerdictTable::AddZones(*rbl_);
        QString error;
        ASSERT_TRUE(rbl_->start(&error)) << qPrintable(error);
        dir_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir_->isValid());
        // What the program started by the bus gets in its environment.
        QDBusMessage env = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                          "org.freedesktop.DBus", "UpdateActivationEnvironment");
        const QMap<QString, QString> vars{{"QT_QPA_PLATFORM", "offscreen"},
                                          {"QUARLO_DNS_SERVERS", rbl_->serverSpec()},
                                          {"QUARLO_REGISTRY_DIR", dir_->filePath("registry")},
                                          {"QUARLO_AUTOMATION_TEST", "1"}};
        env.setArguments({QVariant::fromValue(vars)});
        const QDBusMessage reply = QDBusConnection::sessionBus().call(env);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());

        client_ = std::make_unique<Client>("quarlo-automation-test");
        ASSERT_TRUE(client_->bus().isConnected());
        // The first call starts the program through the activation file.
        const QDBusMessage count = client_->get("/Addresslist", "Addresslist", "Count");
        ASSERT_EQ(count.type(), QDBusMessage::ReplyMessage) << qPrintable(count.errorMessage());
        pid_ = QDBusConnection::sessionBus().interface()->servicePid(kService).value();
        ASSERT_GT(pid_, 0u);
        configureServer();
    }

    // The program's configured servers are replaced (not saved) by one zone
    // the test's rbldnsd serves.
    static void configureServer()
    {
        Client& c = *client_;
        ASSERT_EQ(c.call("/Servers", "Servers", "Clear").type(), QDBusMessage::ReplyMessage);
        serverPath_ = c.path(c.call("/Servers", "Servers", "Add", {key("bl.test")}));
        ASSERT_TRUE(serverPath_.startsWith("/Server/")) << qPrintable(serverPath_);
        c.set(serverPath_, "Server", "Enabled", true);
        c.set(serverPath_, "Server", "Name", "Test list");
        // The list's kind goes both ways; an unknown kind changes nothing.
        for (const char* given : {"domain", "neither"}) c.set(serverPath_, "Server", "ListKind", given);
        EXPECT_EQ(c.prop(serverPath_, "Server", "ListKind").toString(), "Domain");
        c.set(serverPath_, "Server", "ListKind", "IP");
        // The self-test switch goes both ways and stays on for the scans:
        // the zone lists its test entry.
        EXPECT_TRUE(c.prop(serverPath_, "Server", "SelfTest").toBool()) << "on unless turned off";
        c.set(serverPath_, "Server", "SelfTest", false);
        EXPECT_FALSE(c.prop(serverPath_, "Server", "SelfTest").toBool());
        c.set(serverPath_, "Server", "SelfTest", true);
        EXPECT_TRUE(c.prop(serverPath_, "Server", "SelfTest").toBool());
        const QString codes = c.path(c.get(serverPath_, "Server", "ResultCodes"));
        c.call(codes, "ResultCodes", "Add", {"127.0.0.2", "Test entry"});
        c.call(codes, "ResultCodes", "Add", {"127.0.0.4", "Open relay"});
        ASSERT_EQ(c.prop(codes, "ResultCodes", "Count").toInt(), 2);
    }

    static void TearDownTestSuite()
    {
        client_.reset();
        // A failed test may leave the program running: it is ours to end.
        if (pid_ > 0 && ::kill(static_cast<pid_t>(pid_), 0) == 0) ::kill(static_cast<pid_t>(pid_), SIGTERM);
        rbl_.reset();
        dir_.reset();
    }

    QString listFile(const QString& name, const QStringList& targets)
    {
        QString xml = "<AddressList>";
        for (const QString& t : targets) xml += QStringLiteral("<Address Target=\"%1\"/>").arg(t);
        spit(dir_->filePath(name), (xml + "</AddressList>").toUtf8());
        return dir_->filePath(name);
    }

    Client& c() { return *client_; }
    QDBusMessage list(const QString& method, const QVariantList& args = {})
    {
        return c().call("/Addresslist", "Addresslist", method, args);
    }
    QVariant listProperty(const QString& name) { return c().prop("/Addresslist", "Addresslist", name); }
    QDBusMessage app(const QString& method, const QVariantList& args = {})
    {
        return c().call("/Application", "Application", method, args);
    }
    QString dialogTitle() { return c().value(c().call("/Test", "Test", "DialogTitle")).toString(); }
    QString cancelDialog() { return c().value(c().call("/Test", "Test", "CancelDialog")).toString(); }
    // Waits for the message box a finished scan opens and closes it as a user would.
    void dismissDialog()
    {
        ASSERT_TRUE(waitFor([&] { return !dialogTitle().isEmpty(); })) << "no dialog opened";
        cancelDialog();
    }
    void connectSignal(SignalRecorder& recorder, const QString& path, const QString& interface, const QString& name)
    {
        ASSERT_TRUE(
            c().bus().connect(kService, path, kPrefix + interface, name, &recorder, SLOT(record(QDBusMessage))));
    }

    static inline std::unique_ptr<RbldnsdServer> rbl_;
    static inline std::unique_ptr<QTemporaryDir> dir_;
    static inline std::unique_ptr<Client> client_;
    static inline uint pid_ = 0;
    static inline QString serverPath_;
};

TEST_F(AutomationBus, ScanOfAnOpenedListNamesItsResultsByLastingPaths)
{
    SignalRecorder signals_;
    for (const char* name : {"ScanStarted", "ScanComplete", "UpdateAddress", "NewFile"})
        connectSignal(signals_, "/Addresslist", "Addresslist", name);

    const QString file = listFile("scan.BlackList", {"192.0.2.7", "127.0.0.2", "192.0.2.99"});
    ASSERT_EQ(app("FileOpen", {file}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(listProperty("Filename").toString(), file);
    ASSERT_EQ(listProperty("Count").toInt(), 3);

    ASSERT_EQ(app("StartScan").type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitFor([&] { return signals_.count("ScanComplete") == 1; })) << "no ScanComplete within 30 s";
    EXPECT_EQ(signals_.count("ScanStarted"), 1);
    // The window says so too, in a message box of its own.
    dismissDialog();
    ASSERT_TRUE(waitFor([&] { return dialogTitle().isEmpty(); }));
    EXPECT_FALSE(listProperty("ScanActive").toBool());

    // Each address's verdict, listing servers, reasons and TXT as a client
    // reads them: the scripted example (gdbus_example.sh, which runs the
    // documented Python client too). Here: what paths and keys promise.
    const QString listed = c().path(list("Item", {key("192.0.2.7")}));
    EXPECT_TRUE(std::any_of(signals_.received.begin(), signals_.received.end(), [&](const QDBusMessage& m) {
        return m.member() == "UpdateAddress" && m.arguments().value(0).value<QDBusObjectPath>().path() == listed;
    })) << "UpdateAddress names the listed addresses by path";
    EXPECT_TRUE(c().prop(listed, "Address", "Complete").toBool());
    // The verdict as a word and in the grid's words, for a listed address
    // and a clean one; neither can be set.
    const QString clean = c().path(list("Item", {key("192.0.2.99")}));
    EXPECT_EQ(c().prop(listed, "Address", "Verdict").toString(), "listed");
    EXPECT_EQ(c().prop(listed, "Address", "VerdictText").toString(), "Blacklisted by 1 servers");
    EXPECT_EQ(c().prop(clean, "Address", "Verdict").toString(), "clean");
    EXPECT_EQ(c().prop(clean, "Address", "VerdictText").toString(), "Not on any Blacklist");
    EXPECT_EQ(c().set(clean, "Address", "Verdict", "listed").type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(c().prop(clean, "Address", "Verdict").toString(), "clean");
    const QString servers = c().path(c().get(listed, "Address", "RespondingServers"));
    const QString responding = c().path(c().call(servers, "RespondingServers", "Item", {key(1)}));
    const QString responses = c().path(c().get(responding, "RespondingServer", "Responses"));
    const QString response = c().path(c().call(responses, "Responses", "Item", {key(1)}));
    ASSERT_TRUE(response.startsWith("/Response/")) << qPrintable(response);
    EXPECT_EQ(c().path(c().get(response, "Response", "Server")), serverPath_);
    // The same object keeps its path, whatever it is looked up by.
    EXPECT_EQ(c().path(c().call(servers, "RespondingServers", "Item", {key("bl.test")})), responding);

    // A new scan replaces the results: the old ones' paths are gone, the
    // new ones get new paths.
    ASSERT_EQ(app("StartScan").type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitFor([&] { return signals_.count("ScanComplete") == 2; }));
    dismissDialog();
    EXPECT_EQ(c().get(responding, "RespondingServer", "ServerName").errorName(), kGone);
    EXPECT_EQ(c().get(response, "Response", "Reason").errorName(), kGone);
    const QString fresh = c().path(c().call(servers, "RespondingServers", "Item", {key(1)}));
    EXPECT_TRUE(fresh.startsWith("/RespondingServer/") && fresh != responding) << qPrintable(fresh);
}

// A renamed address is filed under its new text. Every path of a removed
// object, and of a cleared list however large, answers "gone" at once; the
// list goes on handing out new ones.
TEST_F(AutomationBus, RenamedRemovedAndClearedObjectsKeepOrEndTheirPaths)
{
    SignalRecorder signals_;
    connectSignal(signals_, "/Addresslist", "Addresslist", "DeleteAddress");
    // Nothing unsaved, so the open asks nothing.
    ASSERT_TRUE(c().value(list("Save", {dir_->filePath("before-large.BlackList")})).toBool());
    ASSERT_EQ(app("FileOpen", {listFile("large.BlackList", {"10.9.0.0/22", "large.example"})}).type(),
              QDBusMessage::ReplyMessage);
    const auto paths = qdbus_cast<QList<QDBusObjectPath>>(list("NewEnum").arguments().value(0));
    ASSERT_EQ(paths.size(), 1025);
    const QString doomed = c().path(list("AddTarget", {"doomed.example"}));
    const QString kept = c().path(list("AddTarget", {"kept.example"}));
    ASSERT_TRUE(doomed.startsWith("/Address/"));
    const QString collection = c().path(c().get(doomed, "Address", "RespondingServers"));
    const QString record = c().path(c().call(collection, "RespondingServers", "Add", {"bl.test"}));
    ASSERT_TRUE(record.startsWith("/RespondingServer/"));
    // Found and removed by its new text, no longer by the old one.
    ASSERT_EQ(c().set(doomed, "Address", "Target", "renamed.example").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(c().path(list("Item", {key("RENAMED.example")})), doomed);
    EXPECT_EQ(c().path(list("Item", {key("doomed.example")})), "/");
    EXPECT_TRUE(listProperty("Changed").toBool());

    list("Remove", {key("Renamed.Example")});
    ASSERT_TRUE(waitFor([&] { return signals_.count("DeleteAddress") == 1; }));
    EXPECT_EQ(signals_.received[0].arguments().value(0).value<QDBusObjectPath>().path(), doomed);

    const std::pair<QString, QDBusMessage> stale[] = {
        {doomed, c().get(doomed, "Address", "Target")},
        {doomed, c().set(doomed, "Address", "Target", "x")},
        {collection, c().call(collection, "RespondingServers", "NewEnum")},
        {record, c().get(record, "RespondingServer", "ServerName")},
    };
    for (const auto& [path, reply] : stale) {
        SCOPED_TRACE(qPrintable(path));
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(reply.errorName(), kGone);
        EXPECT_TRUE(reply.errorMessage().contains(path)) << qPrintable(reply.errorMessage());
    }
    // The kept address is untouched. (New objects get fresh paths: the rescan
    // in ScanOfAnOpenedListNamesItsResultsByLastingPaths.)
    EXPECT_EQ(c().prop(kept, "Address", "Target").toString(), "kept.example");

    // Clearing the list ends every address's path.
    ASSERT_EQ(list("Clear").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(listProperty("Count").toInt(), 0);
    for (const QString& path : QStringList{paths[0].path(), paths[512].path(), paths[1024].path(), kept})
        EXPECT_EQ(c().get(path, "Address", "Key").errorName(), kGone) << qPrintable(path);
    const QString fresh = c().path(list("AddTarget", {"after.example"}));
    EXPECT_EQ(c().prop(fresh, "Address", "Target").toString(), "after.example");
}

TEST_F(AutomationBus, BadArgumentsGiveErrorsOrNothingAndTheProgramGoesOn)
{
    const QString address = c().path(list("AddTarget", {"192.0.2.1"}));
    list("AddTarget", {"held.example"});
    const int count = listProperty("Count").toInt();
    const int servers = c().prop("/Servers", "Servers", "Count").toInt();
    const QString codes = c().path(c().get(serverPath_, "Server", "ResultCodes"));

    struct Case {
        const char* what;
        QDBusMessage reply;
        QString error; // empty: a reply naming no object ("/")
    };
    const Case cases[] = {
        {"key of another type", list("Item", {key(1.5)}), kInvalidArgs},
        {"position past int", list("Item", {key(qlonglong(1) << 40)}), {}},
        {"unknown key", list("Item", {key("nobody.example")}), {}},
        {"huge target", list("AddTarget", {QString(200000, QLatin1Char('a'))}), kInvalidArgs},
        {"long target set", c().set(address, "Address", "Target", QString(70000, QLatin1Char('a'))), kInvalidArgs},
        {"rename onto a held target", c().set(address, "Address", "Target", "HELD.Example"), kInvalidArgs},
        {"object path as target", list("AddTarget", {"/Address/1"}), kInvalidArgs},
        {"object path set as target",
         c().set(address, "Address", "Target", QVariant::fromValue(QDBusObjectPath("/Address/1"))), kInvalidArgs},
        {"object path as zone", c().call("/Servers", "Servers", "Add", {key("/Address/1")}), kInvalidArgs},
        {"address path as server",
         c().call("/Servers", "Servers", "Add", {key(QVariant::fromValue(QDBusObjectPath("/Address/1")))}),
         kInvalidArgs},
        {"wrong argument type", list("AddTarget", {42}), "org.freedesktop.DBus.Error.UnknownMethod"},
        {"empty zone", c().call("/Servers", "Servers", "Add", {key("  ")}), kInvalidArgs},
        {"unknown server path",
         c().call("/Servers", "Servers", "Add", {key(QVariant::fromValue(QDBusObjectPath("/Server/999999")))}), kGone},
        {"option of another type",
         c().call("/Settings", "Settings", "SaveOption", {"X", key(QVariant::fromValue(QDBusObjectPath("/")))}),
         kInvalidArgs},
        {"result code never held", c().call(codes, "ResultCodes", "Remove", {key("127.9.9.9")}),
         "com.vantorel.Quarlo.Error.NoSuchItem"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        if (k.error.isEmpty()) {
            ASSERT_EQ(k.reply.type(), QDBusMessage::ReplyMessage) << qPrintable(k.reply.errorMessage());
            EXPECT_EQ(c().path(k.reply), "/");
        } else {
            EXPECT_EQ(k.reply.type(), QDBusMessage::ErrorMessage);
            EXPECT_EQ(k.reply.errorName(), k.error) << qPrintable(k.reply.errorMessage());
        }
    }
    EXPECT_EQ(listProperty("Count").toInt(), count) << "a refused call changed the list";
    EXPECT_EQ(c().prop("/Servers", "Servers", "Count").toInt(), servers) << "a refused call added a server";
    EXPECT_EQ(c().prop(address, "Address", "Target").toString(), "192.0.2.1");

    // The program still answers.
    EXPECT_TRUE(c().path(list("Item", {key(1)})).startsWith("/Address/"));
}

TEST_F(AutomationBus, DialogCommandsReplyLaterWhileOtherCallsAreServed)
{
    // Starts a command, cancels each dialog it opens as a user would (the
    // bus is served meanwhile), and gives the command's late reply.
    const auto cancelled = [&](const QString& method, const QVariantList& args, const QStringList& titles) {
        QDBusPendingCall pending = c().callLater("/Application", "Application", method, args);
        for (const QString& expected : titles) {
            QString title;
            EXPECT_TRUE(waitFor([&] { return !(title = dialogTitle()).isEmpty(); })) << "no dialog opened";
            EXPECT_TRUE(title.contains(expected)) << qPrintable(title);
            EXPECT_FALSE(pending.isFinished()) << "the command answered before its dialog closed";
            EXPECT_EQ(c().get("/Addresslist", "Addresslist", "Count").type(), QDBusMessage::ReplyMessage)
                << "the bus is blocked while a dialog is open";
            EXPECT_EQ(cancelDialog(), title);
        }
        EXPECT_TRUE(waitFor([&] { return pending.isFinished(); }));
        EXPECT_FALSE(pending.isError()) << qPrintable(pending.error().message());
        return pending.reply().arguments().value(0);
    };

    list("AddTarget", {"192.0.2.1"});
    ASSERT_TRUE(listProperty("Changed").toBool());
    // FileNew on a changed list asks whether to save; cancelling the question
    // goes on without saving.
    cancelled("FileNew", {}, {""});
    EXPECT_EQ(listProperty("Filename").toString(), "New List");
    EXPECT_EQ(listProperty("Count").toInt(), 0);

    // FileSave of a list without a real name opens the save dialog:
    // cancelled, False, and nothing renamed.
    list("AddTarget", {"192.0.2.1"});
    EXPECT_FALSE(cancelled("FileSave", {QString()}, {"Save Address List"}).toBool());
    EXPECT_EQ(listProperty("Filename").toString(), "New List");

    // The open dialog after the save question: both cancelled, the list stays.
    cancelled("ShowFileOpenDialog", {}, {"", "Load Address List"});
    EXPECT_EQ(listProperty("Count").toInt(), 1);
}

// The verdict table's D-Bus door: the lists defined over the bus, the
// targets opened from a list file, each verdict read as a client reads it.
TEST_F(AutomationBus, EveryRowOfTheVerdictTableAgreesOverTheBus)
{
    c().set(serverPath_, "Server", "Enabled", false);
    QStringList added;
    for (const VerdictTable::List& l : VerdictTable::Lists()) {
        const QString server = c().path(c().call("/Servers", "Servers", "Add", {key(QString(l.zone))}));
        ASSERT_TRUE(server.startsWith("/Server/")) << l.zone;
        added << l.zone;
        c().set(server, "Server", "Enabled", true);
        c().set(server, "Server", "Name", QString(l.name));
        c().set(server, "Server", "BitMapCodedResults", l.bitMask);
        c().set(server, "Server", "ListKind", l.domain ? "Domain" : "IP");
        const QString codes = c().path(c().get(server, "Server", "ResultCodes"));
        for (const VerdictTable::Code& code : l.codes) {
            const QString row =
                c().path(c().call(codes, "ResultCodes", "Add", {QString(code.address), QString(code.reason)}));
            c().set(row, "ResultCode", "Listing", code.listing);
            EXPECT_EQ(c().prop(row, "ResultCode", "Listing").toBool(), code.listing);
        }
    }
    SignalRecorder signals_;
    connectSignal(signals_, "/Addresslist", "Addresslist", "ScanComplete");
    // Saved first, so opening asks nothing.
    ASSERT_EQ(list("Save", {dir_->filePath("before-table.BlackList")}).type(), QDBusMessage::ReplyMessage);
    const QDBusMessage opened = app("FileOpen", {listFile("table.BlackList", VerdictTable::Targets())});
    ASSERT_EQ(opened.type(), QDBusMessage::ReplyMessage) << qPrintable(opened.errorMessage());
    ASSERT_EQ(app("StartScan").type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitFor([&] { return signals_.count("ScanComplete") == 1; })) << "no ScanComplete within 30 s";
    dismissDialog();
    for (const VerdictTable::Row& row : VerdictTable::Rows()) {
        const QString address = c().path(list("Item", {key(QString(row.target))}));
        EXPECT_EQ(c().prop(address, "Address", "Verdict").toString().toStdString(), row.status)
            << "D-Bus disagrees on " << row.target << " (" << row.situation << ")";
    }
    for (const QString& zone : added) c().call("/Servers", "Servers", "Remove", {key(zone)});
    c().set(serverPath_, "Server", "Enabled", true);
}

// Every signal the objects declare (read from their own introspection data,
// so a new one cannot be forgotten here) reaches a client when its event
// happens.
TEST_F(AutomationBus, EverySignalTheInterfacesDeclareReachesClients)
{
    SignalRecorder signals_;
    QStringList declared;
    for (const QString& path : QStringList{"/Addresslist", "/Settings", "/Application", "/Servers"}) {
        QDBusMessage introspect =
            QDBusMessage::createMethodCall(kService, path, "org.freedesktop.DBus.Introspectable", "Introspect");
        const QDBusMessage reply = c().bus().call(introspect);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
        const QString xml = reply.arguments().value(0).toString();
        // Ours only: the standard interfaces' signals are D-Bus's business.
        const QRegularExpression ours("<interface name=\"com\\.vantorel\\.Quarlo\\.(\\w+)\">(.*?)</interface>",
                                      QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpression signalIn("<signal name=\"(\\w+)\"");
        for (auto block = ours.globalMatch(xml); block.hasNext();) {
            const QRegularExpressionMatch interface = block.next();
            for (auto it = signalIn.globalMatch(interface.captured(2)); it.hasNext();) {
                const QString name = it.next().captured(1);
                declared << name;
                connectSignal(signals_, path, interface.captured(1), name);
            }
        }
    }
    ASSERT_TRUE(declared.contains("AddAddress") && declared.contains("Changed")) << qPrintable(declared.join(' '));

    ASSERT_EQ(list("Save", {dir_->filePath("before-signals.BlackList")}).type(), QDBusMessage::ReplyMessage);
    // A scan long enough to be stopped: 2,048 addresses.
    ASSERT_EQ(app("FileOpen", {listFile("long.BlackList", {"10.9.0.0/21"})}).type(),
              QDBusMessage::ReplyMessage);       // NewFile
    c().path(list("AddTarget", {"192.0.2.99"})); // AddAddress
    const int before = c().prop("/Settings", "Settings", "MaxQueries").toInt();
    c().set("/Settings", "Settings", "MaxQueries", 5); // Changed, brought into range
    EXPECT_EQ(c().value(c().call("/Settings", "Settings", "RetrieveOption", {"Max Queries", key(QString())})), "10");
    c().set("/Settings", "Settings", "MaxQueries", before);
    ASSERT_EQ(app("StartScan").type(), QDBusMessage::ReplyMessage); // ScanStarted
    // The window tells the user the scan was stopped, in a message box the
    // call waits for: sent without waiting, and the box closed.
    c().bus().asyncCall(QDBusMessage::createMethodCall(kService, "/Application", kPrefix + "Application", "StopScan"));
    EXPECT_TRUE(waitFor([&] { return signals_.count("ScanCanceled") > 0; })); // ScanCanceled
    for (int i = 0; i < 50 && (i < 5 || !dialogTitle().isEmpty()); ++i) {
        if (!dialogTitle().isEmpty()) cancelDialog();
        QTest::qWait(100);
    }
    list("Remove", {key("192.0.2.99")}); // DeleteAddress
    ASSERT_EQ(list("Save", {dir_->filePath("after-signals.BlackList")}).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(app("FileOpen", {listFile("signals.BlackList", {"192.0.2.7"})}).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(app("StartScan").type(), QDBusMessage::ReplyMessage); // UpdateAddress, ScanComplete
    ASSERT_TRUE(waitFor([&] { return signals_.count("ScanComplete") >= 1; }));
    dismissDialog();
    for (const QString& name : declared)
        EXPECT_TRUE(waitFor([&] { return signals_.count(name) > 0; }, 10000)) << "no " << qPrintable(name) << " signal";
    const auto changed = std::find_if(signals_.received.begin(), signals_.received.end(), [](const QDBusMessage& m) {
        return m.path() == "/Settings" && m.member() == "Changed";
    });
    ASSERT_NE(changed, signals_.received.end());
    EXPECT_EQ(changed->arguments().value(0).toString(), "Max Queries");
    EXPECT_EQ(changed->arguments().value(1).value<QDBusVariant>().variant().toString(), "10");
    // The second scan may have ended before it was stopped: its message box
    // goes too.
    for (int i = 0; i < 20 && !dialogTitle().isEmpty(); ++i) {
        cancelDialog();
        QTest::qWait(100);
    }
}

TEST_F(AutomationBus, DialogFloodOpensOneDialogAndLeavingClientsCancelTheirs)
{
    const auto openDialogs = [&] { return c().value(c().call("/Test", "Test", "OpenDialogs")).toInt(); };
    list("AddTarget", {"unsaved.example"});
    ASSERT_TRUE(listProperty("Changed").toBool());
    const int count = listProperty("Count").toInt();
    const QString filename = listProperty("Filename").toString();

    // One client's FileNew asks whether to save the changed list.
    auto holder = std::make_unique<Client>("quarlo-dialog-holder");
    holder->callLater("/Application", "Application", "FileNew");
    ASSERT_TRUE(waitFor([&] { return openDialogs() == 1; }));

    // A flood of dialog commands meanwhile, half of their clients leaving
    // without waiting: no second dialog, and those who wait hear Busy.
    std::vector<std::unique_ptr<Client>> waiting;
    std::vector<QDBusPendingCall> answers;
    for (int i = 0; i < 200; ++i) {
        auto caller = std::make_unique<Client>(QStringLiteral("quarlo-flood-%1").arg(i));
        const QString method = i % 2 ? "FileNew" : "ShowFileOpenDialog";
        QDBusPendingCall call = caller->callLater("/Application", "Application", method);
        if (i % 4 < 2) {
            answers.push_back(call);
            waiting.push_back(std::move(caller));
        }
    }
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(answers.begin(), answers.end(), [](const QDBusPendingCall& a) { return a.isFinished(); });
    }));
    const auto busy = [](const QDBusPendingCall& a) { return a.error().name() == kBusy; };
    EXPECT_EQ(std::count_if(answers.begin(), answers.end(), busy), std::ptrdiff_t(answers.size()));
    EXPECT_EQ(openDialogs(), 1);
    waiting.clear();

    // The holder leaves: its question closes as cancelled, never as No, so
    // the unsaved list is still there, unsaved.
    holder.reset();
    ASSERT_TRUE(waitFor([&] { return openDialogs() == 0; })) << "the question stayed open";
    EXPECT_EQ(listProperty("Count").toInt(), count);
    EXPECT_EQ(listProperty("Filename").toString(), filename);
    EXPECT_TRUE(listProperty("Changed").toBool());

    // The next command gets its dialog: a saved list's open dialog, which
    // closes choosing nothing when its client leaves.
    ASSERT_TRUE(c().value(list("Save", {dir_->filePath("flood.BlackList")})).toBool());
    auto opener = std::make_unique<Client>("quarlo-dialog-opener");
    opener->callLater("/Application", "Application", "ShowFileOpenDialog");
    ASSERT_TRUE(waitFor([&] { return dialogTitle().contains("Load Address List"); }));
    opener.reset();
    ASSERT_TRUE(waitFor([&] { return openDialogs() == 0; })) << "the open dialog stayed open";
    EXPECT_EQ(listProperty("Filename").toString(), dir_->filePath("flood.BlackList"));
    EXPECT_EQ(listProperty("Count").toInt(), count);
}

// A list's access over the bus: its flag and resolvers are properties
// checked like the editor's fields; its key is stored through Settings and
// nothing on the bus reads it back.
TEST_F(AutomationBus, ListAccessIsSetOverTheBusAndKeysAreWriteOnly)
{
    const auto reply = [](const QDBusMessage& m) { return m.type() == QDBusMessage::ReplyMessage; };
    c().set(serverPath_, "Server", "Public", true);
    EXPECT_TRUE(c().prop(serverPath_, "Server", "Public").toBool());
    c().set(serverPath_, "Server", "Public", false);
    EXPECT_FALSE(c().prop(serverPath_, "Server", "Public").toBool());

    const QDBusMessage good = c().set(serverPath_, "Server", "DnsServers", " 192.0.2.53,[2001:db8::53]:5353 ");
    EXPECT_TRUE(reply(good)) << qPrintable(good.errorMessage());
    EXPECT_EQ(c().prop(serverPath_, "Server", "DnsServers").toString(), "192.0.2.53, [2001:db8::53]:5353");
    const QDBusMessage bad = c().set(serverPath_, "Server", "DnsServers", "192.0.2.53, resolver.example");
    EXPECT_EQ(bad.errorName(), kInvalidArgs);
    EXPECT_TRUE(bad.errorMessage().contains("resolver.example")) << qPrintable(bad.errorMessage());
    EXPECT_EQ(c().prop(serverPath_, "Server", "DnsServers").toString(), "192.0.2.53, [2001:db8::53]:5353");
    // The other tests' scans ask the test's own server again.
    c().set(serverPath_, "Server", "DnsServers", "");
    EXPECT_EQ(c().prop(serverPath_, "Server", "DnsServers").toString(), "");

    const QString keyed = c().path(c().call("/Servers", "Servers", "Add", {key("{key}.keyed.test")}));
    ASSERT_TRUE(keyed.startsWith("/Server/")) << qPrintable(keyed);
    EXPECT_EQ(c().prop(keyed, "Server", "KeyName").toString(), "keyed");
    c().set(keyed, "Server", "KeyName", "BusOperator");
    EXPECT_EQ(c().prop(keyed, "Server", "KeyName").toString(), "BusOperator");
    EXPECT_FALSE(c().prop(keyed, "Server", "KeySet").toBool());
    EXPECT_EQ(c().set(keyed, "Server", "KeySet", true).type(), QDBusMessage::ErrorMessage);

    const QString secret = "s3cret-bus-key";
    const QDBusMessage stored = c().call("/Settings", "Settings", "SetKey", {"BusOperator", secret});
    ASSERT_TRUE(reply(stored)) << qPrintable(stored.errorMessage());
    EXPECT_TRUE(c().prop(keyed, "Server", "KeySet").toBool());
    const QDBusMessage refused = c().call("/Settings", "Settings", "SetKey", {"BusOperator", "bad key.with dots"});
    EXPECT_EQ(refused.errorName(), kInvalidArgs);
    EXPECT_FALSE(refused.errorMessage().contains("bad key")) << "an error repeated the key";
    EXPECT_TRUE(c().prop(keyed, "Server", "KeySet").toBool()) << "a refused key replaced the stored one";

    // Not among the server's values, nor as an option by any spelling.
    QDBusMessage getAll = QDBusMessage::createMethodCall(kService, keyed, "org.freedesktop.DBus.Properties", "GetAll");
    getAll.setArguments({kPrefix + "Server"});
    const QDBusMessage all = c().bus().call(getAll, QDBus::Block, kCallTimeoutMs);
    const QVariantMap values = qdbus_cast<QVariantMap>(all.arguments().value(0));
    ASSERT_EQ(values.value("KeyName").toString(), "BusOperator") << qPrintable(all.errorMessage());
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        EXPECT_FALSE(it.value().toString().contains(secret)) << qPrintable(it.key());
    for (const char* name : {"BusOperator", "BUSOPERATOR", "Keys\\BUSOPERATOR"})
        EXPECT_FALSE(
            c().value(c().call("/Settings", "Settings", "RetrieveOption", {name, key("")})).toString().contains(secret))
            << name;

    // An empty key removes it.
    ASSERT_TRUE(reply(c().call("/Settings", "Settings", "SetKey", {"BusOperator", ""})));
    EXPECT_FALSE(c().prop(keyed, "Server", "KeySet").toBool());
    c().call("/Servers", "Servers", "Remove", {key("{key}.keyed.test")});
}

// Last: the program ends only when its window is closed and its last client
// has left the bus.
TEST_F(AutomationBus, ProgramEndsAfterTheWindowClosesAndTheClientLeaves)
{
    const auto registered = [] {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value();
    };
    // Nothing unsaved, so closing the window asks nothing.
    ASSERT_TRUE(c().value(app("FileSave", {dir_->filePath("last.BlackList")})).toBool());
    ASSERT_EQ(c().call("/Test", "Test", "CloseWindow").type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitFor([&] { return c().value(c().call("/Test", "Test", "DialogTitle")).isValid(); }));
    // Still serving its client with the window gone.
    EXPECT_FALSE(waitFor([&] { return !registered(); }, 500)) << "the program left while a client was connected";
    EXPECT_EQ(c().get("/Addresslist", "Addresslist", "Count").type(), QDBusMessage::ReplyMessage);

    client_->disconnect();
    EXPECT_TRUE(waitFor([&] { return !registered(); })) << "the name is still owned after the client left";
    EXPECT_TRUE(waitFor([] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid_));
        return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
    })) << "the process did not end";
}

} // namespace
} // namespace quarlo
