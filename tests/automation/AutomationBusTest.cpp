// Runs the real program on a private session bus (the test is started under
// dbus-run-session with the build's activation file on XDG_DATA_DIRS): the
// first call starts it with --automation, and the tests drive it as a client
// would, against an rbldnsd on loopback.
#include "SignalRecorder.h"
#include "support/RbldnsdServer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>

namespace quarlo {
namespace {

const QString kService = QStringLiteral("com.vantorel.Quarlo");
const QString kPrefix = QStringLiteral("com.vantorel.Quarlo.");
const QString kGone = QStringLiteral("com.vantorel.Quarlo.Error.ObjectGone");
const QString kInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
constexpr int kCallTimeoutMs = 30000;

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 30000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
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
        QDBusMessage m = QDBusMessage::createMethodCall(kService, path, kPrefix + interface, method);
        m.setArguments(args);
        return bus_.call(m, QDBus::Block, kCallTimeoutMs);
    }
    QDBusPendingCall callLater(const QString& path, const QString& interface, const QString& method,
                               const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, path, kPrefix + interface, method);
        m.setArguments(args);
        return bus_.asyncCall(m, 120000);
    }
    QDBusMessage get(const QString& path, const QString& interface, const QString& property)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                        QStringLiteral("Get"));
        m.setArguments({kPrefix + interface, property});
        return bus_.call(m, QDBus::Block, kCallTimeoutMs);
    }
    QDBusMessage set(const QString& path, const QString& interface, const QString& property, const QVariant& value)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                        QStringLiteral("Set"));
        m.setArguments({kPrefix + interface, property, QVariant::fromValue(QDBusVariant(value))});
        return bus_.call(m, QDBus::Block, kCallTimeoutMs);
    }
    // The value of a property or the first result of a call; invalid on error.
    QVariant value(const QDBusMessage& reply)
    {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return QVariant();
        QVariant v = reply.arguments().first();
        if (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
            v = v.value<QDBusVariant>().variant();
        return v;
    }
    QString path(const QDBusMessage& reply) { return value(reply).value<QDBusObjectPath>().path(); }
    QString text(const QString& path, const QString& interface, const QString& property)
    {
        return value(get(path, interface, property)).toString();
    }
    QStringList paths(const QDBusMessage& reply)
    {
        QStringList out;
        const QVariant v = value(reply);
        const QDBusArgument arg = v.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusObjectPath p;
            arg >> p;
            out << p.path();
        }
        arg.endArray();
        return out;
    }

private:
    QString name_;
    QDBusConnection bus_;
    bool connected_ = true;
};

QVariant key(const QVariant& v) { return QVariant::fromValue(QDBusVariant(v)); }

class AutomationBus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        rbl_ = std::make_unique<RbldnsdServer>();
        rbl_->addZone(QStringLiteral("bl.test"), QStringLiteral("ip4set"),
                      QStringLiteral("127.0.0.2 :127.0.0.2:Test entry\n"
                                     "192.0.2.7 :127.0.0.4:Open relay seen at 192.0.2.7\n"));
        QString error;
        ASSERT_TRUE(rbl_->start(&error)) << qPrintable(error);
        dir_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir_->isValid());
        // What the program started by the bus gets in its environment.
        QDBusMessage env = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("UpdateActivationEnvironment"));
        QMap<QString, QString> vars{{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen")},
                                    {QStringLiteral("QUARLO_DNS_SERVERS"), rbl_->serverSpec()},
                                    {QStringLiteral("QUARLO_REGISTRY_DIR"), dir_->filePath(QStringLiteral("registry"))},
                                    {QStringLiteral("QUARLO_AUTOMATION_TEST"), QStringLiteral("1")}};
        env.setArguments({QVariant::fromValue(vars)});
        const QDBusMessage reply = QDBusConnection::sessionBus().call(env);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());

        client_ = std::make_unique<Client>(QStringLiteral("quarlo-automation-test"));
        ASSERT_TRUE(client_->bus().isConnected());
        // The first call starts the program through the activation file.
        const QDBusMessage count = client_->get(QStringLiteral("/Addresslist"), QStringLiteral("Addresslist"),
                                                QStringLiteral("Count"));
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
        ASSERT_EQ(c.call(QStringLiteral("/Servers"), QStringLiteral("Servers"), QStringLiteral("Clear")).type(),
                  QDBusMessage::ReplyMessage);
        serverPath_ = c.path(c.call(QStringLiteral("/Servers"), QStringLiteral("Servers"), QStringLiteral("Add"),
                                    {key(QStringLiteral("bl.test"))}));
        ASSERT_TRUE(serverPath_.startsWith(QLatin1String("/Server/"))) << qPrintable(serverPath_);
        c.set(serverPath_, QStringLiteral("Server"), QStringLiteral("Enabled"), true);
        c.set(serverPath_, QStringLiteral("Server"), QStringLiteral("Name"), QStringLiteral("Test list"));
        // The list's kind and IPv6 support go both ways; an unknown kind changes nothing.
        c.set(serverPath_, QStringLiteral("Server"), QStringLiteral("ListKind"), QStringLiteral("domain"));
        EXPECT_EQ(c.value(c.get(serverPath_, QStringLiteral("Server"), QStringLiteral("ListKind"))).toString(), "Domain");
        c.set(serverPath_, QStringLiteral("Server"), QStringLiteral("ListKind"), QStringLiteral("neither"));
        EXPECT_EQ(c.value(c.get(serverPath_, QStringLiteral("Server"), QStringLiteral("ListKind"))).toString(), "Domain");
        c.set(serverPath_, QStringLiteral("Server"), QStringLiteral("ListKind"), QStringLiteral("IP"));
        EXPECT_EQ(c.value(c.get(serverPath_, QStringLiteral("Server"), QStringLiteral("ListKind"))).toString(), "IP");
        c.set(serverPath_, QStringLiteral("Server"), QStringLiteral("IPv6"), true);
        EXPECT_TRUE(c.value(c.get(serverPath_, QStringLiteral("Server"), QStringLiteral("IPv6"))).toBool());
        c.set(serverPath_, QStringLiteral("Server"), QStringLiteral("IPv6"), false);
        const QString codes = c.path(c.get(serverPath_, QStringLiteral("Server"), QStringLiteral("ResultCodes")));
        c.call(codes, QStringLiteral("ResultCodes"), QStringLiteral("Add"),
               {QStringLiteral("127.0.0.2"), QStringLiteral("Test entry")});
        c.call(codes, QStringLiteral("ResultCodes"), QStringLiteral("Add"),
               {QStringLiteral("127.0.0.4"), QStringLiteral("Open relay")});
        ASSERT_EQ(c.value(c.get(codes, QStringLiteral("ResultCodes"), QStringLiteral("Count"))).toInt(), 2);
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
        QString xml = QStringLiteral("<AddressList>");
        for (const QString& t : targets) xml += QStringLiteral("<Address Target=\"%1\"/>").arg(t);
        xml += QStringLiteral("</AddressList>");
        const QString path = dir_->filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(xml.toUtf8());
        return path;
    }

    Client& c() { return *client_; }
    QDBusMessage list(const QString& method, const QVariantList& args = {})
    {
        return c().call(QStringLiteral("/Addresslist"), QStringLiteral("Addresslist"), method, args);
    }
    QVariant listProperty(const QString& name)
    {
        return c().value(c().get(QStringLiteral("/Addresslist"), QStringLiteral("Addresslist"), name));
    }
    QDBusMessage app(const QString& method, const QVariantList& args = {})
    {
        return c().call(QStringLiteral("/Application"), QStringLiteral("Application"), method, args);
    }
    QDBusMessage hook(const QString& method)
    {
        return c().call(QStringLiteral("/Test"), QStringLiteral("Test"), method);
    }

    static inline std::unique_ptr<RbldnsdServer> rbl_;
    static inline std::unique_ptr<QTemporaryDir> dir_;
    static inline std::unique_ptr<Client> client_;
    static inline uint pid_ = 0;
    static inline QString serverPath_;
};

TEST_F(AutomationBus, ScanOfAnOpenedListReportsVerdictsReasonsAndTxtThroughPaths)
{
    SignalRecorder signals_;
    for (const char* name : {"ScanStarted", "ScanComplete", "UpdateAddress", "NewFile"})
        ASSERT_TRUE(c().bus().connect(kService, QStringLiteral("/Addresslist"), kPrefix + QStringLiteral("Addresslist"),
                                      QLatin1String(name), &signals_, SLOT(record(QDBusMessage))));

    const QString file = listFile(QStringLiteral("scan.BlackList"), {"192.0.2.7", "127.0.0.2", "192.0.2.99"});
    ASSERT_EQ(app(QStringLiteral("FileOpen"), {file}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(listProperty(QStringLiteral("Filename")).toString(), file);
    ASSERT_EQ(listProperty(QStringLiteral("Count")).toInt(), 3);

    ASSERT_EQ(app(QStringLiteral("StartScan")).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitFor([&] { return signals_.count(QStringLiteral("ScanComplete")) == 1; }))
        << "no ScanComplete within 30 s";
    EXPECT_EQ(signals_.count(QStringLiteral("ScanStarted")), 1);
    // The window says so too, in a message box of its own.
    ASSERT_TRUE(waitFor([&] { return !c().value(hook(QStringLiteral("DialogTitle"))).toString().isEmpty(); }));
    c().value(hook(QStringLiteral("CancelDialog")));
    ASSERT_TRUE(waitFor([&] { return c().value(hook(QStringLiteral("DialogTitle"))).toString().isEmpty(); }));
    EXPECT_FALSE(listProperty(QStringLiteral("ScanActive")).toBool());

    // UpdateAddress names the listed addresses by path.
    const QString listed = c().path(list(QStringLiteral("Item"), {key(QStringLiteral("192.0.2.7"))}));
    bool sawUpdate = false;
    for (const QDBusMessage& m : signals_.received)
        if (m.member() == QLatin1String("UpdateAddress") && m.arguments().value(0).value<QDBusObjectPath>().path() == listed)
            sawUpdate = true;
    EXPECT_TRUE(sawUpdate);

    QStringList oldResults;
    struct Expected {
        QString target;
        bool blacklisted;
        QString answer;
        QString reason;
        QString txt;
    };
    const Expected table[] = {
        {"192.0.2.7", true, "127.0.0.4", "Open relay", "Open relay seen at 192.0.2.7"},
        {"127.0.0.2", true, "127.0.0.2", "Test entry", "Test entry"},
        {"192.0.2.99", false, "", "", ""},
    };
    for (const Expected& e : table) {
        SCOPED_TRACE(qPrintable(e.target));
        const QString address = c().path(list(QStringLiteral("Item"), {key(e.target)}));
        ASSERT_TRUE(address.startsWith(QLatin1String("/Address/")));
        EXPECT_EQ(c().text(address, QStringLiteral("Address"), QStringLiteral("Target")), e.target);
        EXPECT_TRUE(c().value(c().get(address, QStringLiteral("Address"), QStringLiteral("Complete"))).toBool());
        EXPECT_EQ(c().value(c().get(address, QStringLiteral("Address"), QStringLiteral("Blacklisted"))).toBool(),
                  e.blacklisted);
        const QString servers = c().path(c().get(address, QStringLiteral("Address"), QStringLiteral("RespondingServers")));
        const QStringList responding = c().paths(c().call(servers, QStringLiteral("RespondingServers"), QStringLiteral("NewEnum")));
        if (!e.blacklisted) {
            EXPECT_TRUE(responding.isEmpty());
            continue;
        }
        ASSERT_EQ(responding.size(), 1);
        EXPECT_EQ(c().text(responding[0], QStringLiteral("RespondingServer"), QStringLiteral("ServerName")), "bl.test");
        EXPECT_EQ(c().text(responding[0], QStringLiteral("RespondingServer"), QStringLiteral("ServerEnglishName")),
                  "Test list");
        const QString responses = c().path(c().get(responding[0], QStringLiteral("RespondingServer"), QStringLiteral("Responses")));
        const QString response = c().path(c().call(responses, QStringLiteral("Responses"), QStringLiteral("Item"), {key(1)}));
        ASSERT_TRUE(response.startsWith(QLatin1String("/Response/")));
        EXPECT_EQ(c().text(response, QStringLiteral("Response"), QStringLiteral("Address")), e.answer);
        EXPECT_EQ(c().text(response, QStringLiteral("Response"), QStringLiteral("Reason")), e.reason);
        EXPECT_EQ(c().path(c().get(response, QStringLiteral("Response"), QStringLiteral("Server"))), serverPath_);
        // TXT answers may come after the end of the scan.
        EXPECT_TRUE(waitFor([&] { return c().text(response, QStringLiteral("Response"), QStringLiteral("TXTRecord")) == e.txt; }))
            << qPrintable(c().text(response, QStringLiteral("Response"), QStringLiteral("TXTRecord")));
        // The same object keeps its path.
        EXPECT_EQ(c().path(c().call(responses, QStringLiteral("Responses"), QStringLiteral("Item"), {key(e.answer)})), response);
        oldResults << responding[0] << response;
    }

    // A new scan replaces the results: the old ones' paths are gone, the
    // new ones get new paths.
    ASSERT_EQ(app(QStringLiteral("StartScan")).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitFor([&] { return signals_.count(QStringLiteral("ScanComplete")) == 2; }));
    ASSERT_TRUE(waitFor([&] { return !c().value(hook(QStringLiteral("DialogTitle"))).toString().isEmpty(); }));
    c().value(hook(QStringLiteral("CancelDialog")));
    for (const QString& path : oldResults) {
        const QString interface = path.startsWith(QLatin1String("/Response/")) ? QStringLiteral("Response") : QStringLiteral("RespondingServer");
        EXPECT_EQ(c().get(path, interface, interface == QLatin1String("Response") ? QStringLiteral("Reason") : QStringLiteral("ServerName")).errorName(), kGone)
            << qPrintable(path);
    }
    const QString address = c().path(list(QStringLiteral("Item"), {key(QStringLiteral("192.0.2.7"))}));
    const QString servers = c().path(c().get(address, QStringLiteral("Address"), QStringLiteral("RespondingServers")));
    const QString fresh = c().path(c().call(servers, QStringLiteral("RespondingServers"), QStringLiteral("Item"), {key(1)}));
    EXPECT_TRUE(fresh.startsWith(QLatin1String("/RespondingServer/")));
    EXPECT_FALSE(oldResults.contains(fresh));
}

TEST_F(AutomationBus, PathsOfRemovedOrClearedObjectsAnswerObjectGone)
{
    SignalRecorder signals_;
    ASSERT_TRUE(c().bus().connect(kService, QStringLiteral("/Addresslist"), kPrefix + QStringLiteral("Addresslist"),
                                  QStringLiteral("DeleteAddress"), &signals_, SLOT(record(QDBusMessage))));
    const QString doomed = c().path(list(QStringLiteral("AddTarget"), {QStringLiteral("doomed.example")}));
    const QString kept = c().path(list(QStringLiteral("AddTarget"), {QStringLiteral("kept.example")}));
    ASSERT_TRUE(doomed.startsWith(QLatin1String("/Address/")));
    const QString collection = c().path(c().get(doomed, QStringLiteral("Address"), QStringLiteral("RespondingServers")));
    const QString record = c().path(c().call(collection, QStringLiteral("RespondingServers"), QStringLiteral("Add"),
                                             {QStringLiteral("bl.test")}));
    ASSERT_TRUE(record.startsWith(QLatin1String("/RespondingServer/")));

    list(QStringLiteral("Remove"), {key(QStringLiteral("DOOMED.example"))});
    ASSERT_TRUE(waitFor([&] { return signals_.count(QStringLiteral("DeleteAddress")) == 1; }));
    EXPECT_EQ(signals_.received[0].arguments().value(0).value<QDBusObjectPath>().path(), doomed);

    struct Stale {
        QString path;
        QDBusMessage reply;
    };
    const Stale stale[] = {
        {doomed, c().get(doomed, QStringLiteral("Address"), QStringLiteral("Target"))},
        {doomed, c().call(doomed, QStringLiteral("Address"), QStringLiteral("Query"))},
        {doomed, c().set(doomed, QStringLiteral("Address"), QStringLiteral("Target"), QStringLiteral("x"))},
        {collection, c().call(collection, QStringLiteral("RespondingServers"), QStringLiteral("NewEnum"))},
        {record, c().get(record, QStringLiteral("RespondingServer"), QStringLiteral("ServerName"))},
    };
    for (const Stale& s : stale) {
        SCOPED_TRACE(qPrintable(s.path));
        EXPECT_EQ(s.reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(s.reply.errorName(), kGone);
        EXPECT_TRUE(s.reply.errorMessage().contains(s.path)) << qPrintable(s.reply.errorMessage());
    }
    // The kept address is untouched, and a target added again gets a new path.
    EXPECT_EQ(c().text(kept, QStringLiteral("Address"), QStringLiteral("Target")), "kept.example");
    const QString again = c().path(list(QStringLiteral("AddTarget"), {QStringLiteral("doomed.example")}));
    EXPECT_NE(again, doomed);
    EXPECT_EQ(c().text(again, QStringLiteral("Address"), QStringLiteral("Target")), "doomed.example");

    // Clearing the list ends every address's path.
    list(QStringLiteral("Clear"));
    for (const QString& path : {kept, again})
        EXPECT_EQ(c().get(path, QStringLiteral("Address"), QStringLiteral("Key")).errorName(), kGone) << qPrintable(path);
    EXPECT_EQ(listProperty(QStringLiteral("Count")).toInt(), 0);
}

TEST_F(AutomationBus, BadArgumentsGiveErrorsOrNothingAndTheProgramGoesOn)
{
    list(QStringLiteral("AddTarget"), {QStringLiteral("192.0.2.1")});
    const int count = listProperty(QStringLiteral("Count")).toInt();

    struct Case {
        const char* what;
        QDBusMessage reply;
        QString error; // empty: a reply, checked below
        QString result; // for replies: the path expected
    };
    const Case cases[] = {
        {"key of another type", list(QStringLiteral("Item"), {key(1.5)}), kInvalidArgs, {}},
        {"object path as key", list(QStringLiteral("Item"), {key(QVariant::fromValue(QDBusObjectPath("/Address/1")))}), kInvalidArgs, {}},
        {"position 0", list(QStringLiteral("Item"), {key(0)}), {}, "/"},
        {"negative position", list(QStringLiteral("Item"), {key(-3)}), {}, "/"},
        {"position past the end", list(QStringLiteral("Item"), {key(count + 1)}), {}, "/"},
        {"position past int", list(QStringLiteral("Item"), {key(qlonglong(1) << 40)}), {}, "/"},
        {"unknown key", list(QStringLiteral("Item"), {key(QStringLiteral("nobody.example"))}), {}, "/"},
        {"huge target", list(QStringLiteral("AddTarget"), {QString(200000, QLatin1Char('a'))}), kInvalidArgs, {}},
        {"wrong argument type", list(QStringLiteral("AddTarget"), {42}), QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), {}},
        {"missing argument", list(QStringLiteral("Item")), QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), {}},
        {"server of another type", c().call(QStringLiteral("/Servers"), QStringLiteral("Servers"), QStringLiteral("Add"), {key(7)}), kInvalidArgs, {}},
        {"empty zone", c().call(QStringLiteral("/Servers"), QStringLiteral("Servers"), QStringLiteral("Add"), {key(QStringLiteral("  "))}), kInvalidArgs, {}},
        {"unknown server path", c().call(QStringLiteral("/Servers"), QStringLiteral("Servers"), QStringLiteral("Add"), {key(QVariant::fromValue(QDBusObjectPath("/Server/999999")))}), kGone, {}},
        {"option of another type", c().call(QStringLiteral("/Settings"), QStringLiteral("Settings"), QStringLiteral("SaveOption"), {QStringLiteral("X"), key(QVariant::fromValue(QDBusObjectPath("/")))}), kInvalidArgs, {}},
        {"result code never held", c().call(c().path(c().get(serverPath_, QStringLiteral("Server"), QStringLiteral("ResultCodes"))), QStringLiteral("ResultCodes"), QStringLiteral("Remove"), {key(QStringLiteral("127.9.9.9"))}), QStringLiteral("com.vantorel.Quarlo.Error.NoSuchItem"), {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        if (k.error.isEmpty()) {
            ASSERT_EQ(k.reply.type(), QDBusMessage::ReplyMessage) << qPrintable(k.reply.errorMessage());
            EXPECT_EQ(c().path(k.reply), k.result);
        } else {
            EXPECT_EQ(k.reply.type(), QDBusMessage::ErrorMessage);
            EXPECT_EQ(k.reply.errorName(), k.error) << qPrintable(k.reply.errorMessage());
        }
    }
    EXPECT_EQ(listProperty(QStringLiteral("Count")).toInt(), count) << "a refused call changed the list";

    // A file that is not an address list: nothing is loaded, the list and its
    // name stay, and LastError says why.
    const QString name = listProperty(QStringLiteral("Filename")).toString();
    const QString junk = dir_->filePath(QStringLiteral("junk.BlackList"));
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x89PNG not xml at all");
    }
    // Saved first, so the open asks nothing.
    ASSERT_TRUE(c().value(app(QStringLiteral("FileSave"), {dir_->filePath(QStringLiteral("bad.BlackList"))})).toBool());
    ASSERT_EQ(app(QStringLiteral("FileOpen"), {junk}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(listProperty(QStringLiteral("Count")).toInt(), count);
    EXPECT_EQ(listProperty(QStringLiteral("Filename")).toString(), dir_->filePath(QStringLiteral("bad.BlackList")));
    EXPECT_FALSE(listProperty(QStringLiteral("LastError")).toString().isEmpty());
    (void)name;

    // The program still answers.
    EXPECT_EQ(c().path(list(QStringLiteral("Item"), {key(1)})).startsWith(QLatin1String("/Address/")), true);
}

TEST_F(AutomationBus, DialogCommandsReplyLaterWhileOtherCallsAreServed)
{
    // Waits for a dialog opened by a pending call, checks that the bus is
    // still served meanwhile, then cancels the dialog as a user would.
    const auto cancelDialogOf = [&](QDBusPendingCall& pending) -> QString {
        QString title;
        EXPECT_TRUE(waitFor([&] {
            title = c().value(hook(QStringLiteral("DialogTitle"))).toString();
            return !title.isEmpty();
        })) << "no dialog opened";
        EXPECT_FALSE(pending.isFinished()) << "the command answered before its dialog closed";
        const QDBusMessage count = c().get(QStringLiteral("/Addresslist"), QStringLiteral("Addresslist"), QStringLiteral("Count"));
        EXPECT_EQ(count.type(), QDBusMessage::ReplyMessage) << "the bus is blocked while a dialog is open";
        EXPECT_EQ(c().value(hook(QStringLiteral("CancelDialog"))).toString(), title);
        return title;
    };

    list(QStringLiteral("AddTarget"), {QStringLiteral("192.0.2.1")});
    ASSERT_TRUE(listProperty(QStringLiteral("Changed")).toBool());

    // FileNew on a changed list asks whether to save; cancelling the question
    // goes on without saving.
    QDBusPendingCall fileNew = c().callLater(QStringLiteral("/Application"), QStringLiteral("Application"), QStringLiteral("FileNew"));
    cancelDialogOf(fileNew);
    ASSERT_TRUE(waitFor([&] { return fileNew.isFinished(); }));
    EXPECT_FALSE(fileNew.isError()) << qPrintable(fileNew.error().message());
    EXPECT_EQ(listProperty(QStringLiteral("Filename")).toString(), "New List");
    EXPECT_EQ(listProperty(QStringLiteral("Count")).toInt(), 0);

    // The save dialog, cancelled: False, and nothing renamed.
    list(QStringLiteral("AddTarget"), {QStringLiteral("192.0.2.1")});
    QDBusPendingCall save = c().callLater(QStringLiteral("/Application"), QStringLiteral("Application"), QStringLiteral("ShowFileSaveDialog"));
    EXPECT_TRUE(cancelDialogOf(save).contains(QLatin1String("Save Address List")));
    ASSERT_TRUE(waitFor([&] { return save.isFinished(); }));
    ASSERT_FALSE(save.isError()) << qPrintable(save.error().message());
    EXPECT_FALSE(save.reply().arguments().value(0).toBool());
    EXPECT_EQ(listProperty(QStringLiteral("Filename")).toString(), "New List");

    // FileSave of a list without a real name opens the same dialog.
    QDBusPendingCall fileSave = c().callLater(QStringLiteral("/Application"), QStringLiteral("Application"), QStringLiteral("FileSave"), {QString()});
    EXPECT_TRUE(cancelDialogOf(fileSave).contains(QLatin1String("Save Address List")));
    ASSERT_TRUE(waitFor([&] { return fileSave.isFinished(); }));
    EXPECT_FALSE(fileSave.reply().arguments().value(0).toBool());

    // The open dialog after the save question: both cancelled, the list stays.
    QDBusPendingCall open = c().callLater(QStringLiteral("/Application"), QStringLiteral("Application"), QStringLiteral("ShowFileOpenDialog"));
    cancelDialogOf(open); // the save question
    EXPECT_TRUE(cancelDialogOf(open).contains(QLatin1String("Load Address List")));
    ASSERT_TRUE(waitFor([&] { return open.isFinished(); }));
    EXPECT_FALSE(open.isError());
    EXPECT_EQ(listProperty(QStringLiteral("Count")).toInt(), 1);
}

TEST_F(AutomationBus, SettingsChangesArriveAsSignals)
{
    SignalRecorder signals_;
    ASSERT_TRUE(c().bus().connect(kService, QStringLiteral("/Settings"), kPrefix + QStringLiteral("Settings"),
                                  QStringLiteral("Changed"), &signals_, SLOT(record(QDBusMessage))));
    c().set(QStringLiteral("/Settings"), QStringLiteral("Settings"), QStringLiteral("MaxQueries"), 5);
    EXPECT_EQ(c().value(c().get(QStringLiteral("/Settings"), QStringLiteral("Settings"), QStringLiteral("MaxQueries"))).toInt(), 10);
    ASSERT_TRUE(waitFor([&] { return signals_.count(QStringLiteral("Changed")) >= 1; }));
    EXPECT_EQ(signals_.received[0].arguments().value(0).toString(), "Max Queries");
    EXPECT_EQ(signals_.received[0].arguments().value(1).value<QDBusVariant>().variant().toString(), "10");
    EXPECT_EQ(c().value(c().call(QStringLiteral("/Settings"), QStringLiteral("Settings"), QStringLiteral("RetrieveOption"),
                                 {QStringLiteral("Max Queries"), key(QString())})).toString(), "10");
}

// Last: the program ends only when its window is closed and its last client
// has left the bus.
TEST_F(AutomationBus, ProgramEndsAfterTheWindowClosesAndTheClientLeaves)
{
    // Nothing unsaved, so closing the window asks nothing.
    ASSERT_TRUE(c().value(app(QStringLiteral("FileSave"), {dir_->filePath(QStringLiteral("last.BlackList"))})).toBool());
    ASSERT_EQ(hook(QStringLiteral("CloseWindow")).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitFor([&] { return c().value(hook(QStringLiteral("DialogTitle"))).isValid(); }));
    // Still serving its client with the window gone.
    QThread::msleep(200);
    EXPECT_EQ(c().get(QStringLiteral("/Addresslist"), QStringLiteral("Addresslist"), QStringLiteral("Count")).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_TRUE(QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value());

    client_->disconnect();
    EXPECT_TRUE(waitFor([] { return !QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value(); }))
        << "the name is still owned after the client left";
    EXPECT_TRUE(waitFor([] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid_));
        if (!stat.open(QIODevice::ReadOnly)) return true;
        return stat.readAll().contains(") Z ");
    })) << "the process did not end";
}

} // namespace
} // namespace quarlo
