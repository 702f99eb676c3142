#pragma once

#include <ares.h>

#include <QtGlobal>

#include <functional>
#include <memory>

class QObject;

namespace quarlo {

// What AresDriver runs on: a clock, single-shot timers, a way to learn when
// a channel's socket is ready, and the sockets themselves. System() is the
// process's own (monotonic clock, Qt's precise timers and socket notifiers,
// the kernel's sockets). Another runtime can hand the driver a clock it
// advances itself and sockets that live in memory, so that a driver can be
// run through thousands of time-outs in a fraction of a second.
//
// Every call comes from the thread that owns the driver.
class AresRuntime {
public:
    virtual ~AresRuntime() = default;

    // A single-shot timer: start() (re)arms it, a fired or stopped timer is
    // inactive. Its callback runs from the runtime's loop, never inside
    // start() or stop().
    class Timer {
    public:
        virtual ~Timer() = default;
        virtual void start(int ms) = 0;
        virtual void stop() = 0;
        virtual bool isActive() const = 0;
    };
    // Readiness of one socket. Like a level-triggered notifier: while
    // enabled and ready, the callback keeps coming. Destroying the watch may
    // happen inside its own callback.
    class Watch {
    public:
        virtual ~Watch() = default;
        virtual void setEnabled(bool read, bool write) = 0;
    };

    // Nanoseconds on a monotonic clock.
    virtual qint64 nowNs() const = 0;
    // context: the object whose thread runs the callback.
    virtual std::unique_ptr<Timer> timer(QObject* context, std::function<void()> fired) = 0;
    virtual std::unique_ptr<Watch> watch(ares_socket_t fd, QObject* context, std::function<void()> readable,
                                         std::function<void()> writable) = 0;
    // A TCP connection rather than a datagram socket.
    virtual bool isStream(ares_socket_t fd) const = 0;
    // The sockets c-ares should use (ares_set_socket_functions), with this
    // runtime as their user data; null: the kernel's.
    virtual const ares_socket_functions* socketFunctions() const { return nullptr; }
    // False: the channels read nothing of the system's resolver
    // configuration (resolv.conf, nsswitch.conf, the hosts file) and send
    // every name as it is to the servers they are given, for a runtime
    // whose servers are all there is.
    virtual bool systemConfiguration() const { return true; }

    static AresRuntime& System();
};

} // namespace quarlo
