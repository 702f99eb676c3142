#include "ui/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

using namespace quarlo;
using Kind = HistoryChange::Kind;

namespace {

HistoryChange change(Kind kind, const char* target, const char* list)
{
    HistoryChange c;
    c.kind = kind;
    c.target = QString::fromLatin1(target);
    c.listName = QString::fromLatin1(list);
    c.zone = QString::fromLatin1(list).toLower().remove(' ') + ".test";
    return c;
}

// Stands in for the desktop's notification server: keeps what it was sent.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app, icon, summary, body;
        int timeout = 0;
    };
    std::vector<Call> calls;

public slots:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int timeout)
    {
        calls.push_back(Call{app, icon, summary, body, timeout});
        return uint(calls.size());
    }
};

// A session bus of the test's own, so no desktop's service is ever called.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) return;
        process_.start(daemon, {"--session", "--nofork", "--print-address=1"});
        if (!process_.waitForStarted(10000)) return;
        while (address_.isEmpty() && process_.waitForReadyRead(20000))
            address_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        process_.kill();
        process_.waitForFinished(10000);
    }
    QString address() const { return address_; }
    QDBusConnection connect(const QString& name)
    {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess process_;
    QString address_;
    QStringList names_;
};

} // namespace

TEST(DesktopNotifierText, CountsAddressesAndNamesTheFirstFewChanges)
{
    struct Case {
        const char* name;
        std::vector<HistoryChange> changes;
        QString summary, body;
    };
    const std::vector<Case> cases{
        {"nothing that concerns an address",
         {change(Kind::Failing, "", "A BL"), change(Kind::Recovered, "", "B BL")},
         "",
         ""},
        {"one address on two lists is one address",
         {change(Kind::Listed, "192.0.2.1", "A BL"), change(Kind::Listed, "192.0.2.1", "B BL")},
         "1 address newly listed",
         "192.0.2.1 listed by A BL\n192.0.2.1 listed by B BL"},
        {"delistings only",
         {change(Kind::Delisted, "192.0.2.1", "A BL"), change(Kind::Delisted, "mail.example.org", "B BL")},
         "2 addresses delisted",
         "192.0.2.1 delisted by A BL\nmail.example.org delisted by B BL"},
        {"both, more than are named",
         {change(Kind::Listed, "192.0.2.1", "A BL"), change(Kind::Failing, "", "C BL"),
          change(Kind::Listed, "192.0.2.2", "A BL"), change(Kind::Delisted, "192.0.2.3", "B BL"),
          change(Kind::Listed, "192.0.2.4", "A BL"), change(Kind::Delisted, "192.0.2.5", "B BL")},
         "3 addresses newly listed, 2 delisted",
         "192.0.2.1 listed by A BL\n192.0.2.2 listed by A BL\n192.0.2.3 delisted by B BL\nand 2 more"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DesktopNotifier::Summary(c.changes), c.summary) << c.name;
        EXPECT_EQ(DesktopNotifier::Body(c.changes), c.body) << c.name;
    }
}

TEST(DesktopNotifier, CallsTheNotificationsServiceOnTheBusWhenThereIsOne)
{
    PrivateBus bus;
    if (bus.address().isEmpty()) GTEST_SKIP() << "dbus-daemon is not available";
    // No bus, or no service on it: nothing happens, and the caller hears so.
    EXPECT_FALSE(DesktopNotifier(QDBusConnection(QStringLiteral("no-such-connection")))
                     .Notify({change(Kind::Listed, "192.0.2.1", "A BL")}));
    DesktopNotifier notifier(bus.connect("notifier"));
    QSignalSpy answered(&notifier, &DesktopNotifier::Answered);
    EXPECT_TRUE(notifier.Notify({change(Kind::Listed, "192.0.2.1", "A BL")}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered.count() == 1; }, 20000));
    EXPECT_FALSE(answered.at(0).at(0).toBool());

    QDBusConnection server = bus.connect("fake-notifications");
    ASSERT_TRUE(server.isConnected());
    FakeNotifications fake;
    ASSERT_TRUE(server.registerObject(DesktopNotifier::kPath, &fake, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(DesktopNotifier::kService));
    // Nothing to tell: nothing sent.
    EXPECT_FALSE(notifier.Notify({change(Kind::Failing, "", "A BL")}));
    EXPECT_TRUE(
        notifier.Notify({change(Kind::Listed, "192.0.2.1", "A <BL>"), change(Kind::Delisted, "192.0.2.2", "B BL")}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered.count() == 2; }, 20000));
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].summary, "1 address newly listed, 1 delisted");
    // The body is markup to the server: list names are escaped.
    EXPECT_EQ(fake.calls[0].body, "192.0.2.1 listed by A &lt;BL&gt;\n192.0.2.2 delisted by B BL");
    EXPECT_FALSE(fake.calls[0].app.isEmpty());
    EXPECT_GT(fake.calls[0].timeout, 0);
    EXPECT_TRUE(answered.at(1).at(0).toBool());
}

#include "DesktopNotifierTest.moc"
