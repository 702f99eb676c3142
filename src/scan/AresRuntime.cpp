#include "scan/AresRuntime.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>

namespace quarlo {

namespace {

class SystemTimer : public AresRuntime::Timer {
public:
    SystemTimer(QObject* context, std::function<void()> fired)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, context, std::move(fired));
    }
    void start(int ms) override { timer_.start(ms); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

class SystemWatch : public AresRuntime::Watch {
public:
    SystemWatch(ares_socket_t fd, QObject* context, std::function<void()> readable, std::function<void()> writable)
        : read_(new QSocketNotifier(fd, QSocketNotifier::Read, context)),
          write_(new QSocketNotifier(fd, QSocketNotifier::Write, context))
    {
        QObject::connect(read_, &QSocketNotifier::activated, context, std::move(readable));
        QObject::connect(write_, &QSocketNotifier::activated, context, std::move(writable));
    }
    ~SystemWatch() override
    {
        // Possibly inside one of the notifiers' own slots: switch them off
        // now, delete them later.
        for (QSocketNotifier* notifier : {read_, write_}) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    void setEnabled(bool read, bool write) override
    {
        read_->setEnabled(read);
        write_->setEnabled(write);
    }

private:
    QSocketNotifier* read_;
    QSocketNotifier* write_;
};

class SystemRuntime : public AresRuntime {
public:
    SystemRuntime() { clock_.start(); }
    qint64 nowNs() const override { return clock_.nsecsElapsed(); }
    std::unique_ptr<Timer> timer(QObject* context, std::function<void()> fired) override
    {
        return std::make_unique<SystemTimer>(context, std::move(fired));
    }
    std::unique_ptr<Watch> watch(ares_socket_t fd, QObject* context, std::function<void()> readable,
                                 std::function<void()> writable) override
    {
        return std::make_unique<SystemWatch>(fd, context, std::move(readable), std::move(writable));
    }
    bool isStream(ares_socket_t fd) const override
    {
        int type = 0;
        socklen_t length = sizeof type;
        return ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM;
    }

private:
    QElapsedTimer clock_;
};

} // namespace

AresRuntime& AresRuntime::System()
{
    static SystemRuntime runtime;
    return runtime;
}

} // namespace quarlo
