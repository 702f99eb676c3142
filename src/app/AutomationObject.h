#pragma once

#include "app/AutomationHandle.h"

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <memory>
#include <type_traits>
#include <variant>

namespace quarlo {

class AutomationProperties;
class AutomationServer;

// Base of the objects that the generated D-Bus adaptors attach to: notes
// which clients use the program and turns bad arguments into D-Bus errors.
class AutomationObject : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    explicit AutomationObject(AutomationServer& server, const QString& path, QObject* parent = nullptr);

    QString path() const { return path_; }

    // Texts longer than this are refused: no file name, reason or option
    // value comes near it, and a client cannot make the program hold
    // megabytes per call.
    static constexpr qsizetype kMaxText = 65536;
    // Targets, zones, keys and names are short by nature: a host name has at
    // most 253 characters, an e-mail address 254, an IPv6 literal 45. This
    // leaves room for blanks and for international names before their ASCII
    // form, while nothing a client files under a key (hashed and compared on
    // every look-up) can be kilobytes long.
    static constexpr qsizetype kMaxName = 1024;
    // A list's web page: the length browsers and servers have long been
    // held to.
    static constexpr qsizetype kMaxUrl = 2048;

    // A collection's Item/Remove key: a text key, or a 1-based position
    // (0 for positions beyond every collection's reach).
    using Key = std::variant<QString, int>;

    // Bad input is named by its start only.
    static QString excerpt(const QString& text);

protected:
    // Properties are read and written through it, as calls of this object.
    friend class AutomationProperties;

    // Records the calling client. Call first in every member.
    void noteCaller() const;
    // Answers the current call with the "object gone" error.
    void replyGone() const;
    // The model object behind handle, the caller noted; null after the
    // "object gone" error was sent.
    template <typename T>
    std::shared_ptr<T> held(const AutomationHandle<T>& handle) const
    {
        noteCaller();
        std::shared_ptr<T> object = handle.get();
        if (!object) replyGone();
        return object;
    }
    // A property of the object behind handle, or fallback once it is gone.
    template <typename T, typename Getter, typename Value = std::decay_t<std::invoke_result_t<Getter, const T&>>>
    Value read(const AutomationHandle<T>& handle, Getter getter, Value fallback = Value()) const
    {
        const std::shared_ptr<T> object = held(handle);
        return object ? std::invoke(getter, *object) : fallback;
    }
    // Whether a D-Bus argument's type is one of the integer types.
    static bool isInteger(int typeId);
    // False (and an InvalidArgs error sent) when text is longer than limit.
    bool acceptText(const QString& text, const char* argument, qsizetype limit = kMaxText) const;
    // False (and an InvalidArgs error sent) unless target is what a scan
    // checks: an IPv4 or IPv6 address, a host name or an e-mail address.
    bool acceptTarget(const QString& target) const;
    // False (and an InvalidArgs error sent) unless zone is a DNS name; an
    // object path or any other text is no zone.
    bool acceptZone(const QString& zone, const char* argument) const;
    void replyInvalid(const QString& text) const;
    // False (and an InvalidArgs error sent) for a key of another type.
    bool readKey(const QDBusVariant& value, Key& key) const;
    void replyError(const QString& name, const QString& text) const;

    AutomationServer& server_;

private:
    QString path_;
};

} // namespace quarlo
