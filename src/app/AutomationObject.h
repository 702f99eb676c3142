#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <variant>

namespace quarlo {

class AutomationServer;

// Base of the objects that the generated D-Bus adaptors attach to: notes
// which clients use the program and turns bad arguments into D-Bus errors.
class AutomationObject : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    explicit AutomationObject(AutomationServer& server, const QString& path, QObject* parent = nullptr);

    QString path() const { return path_; }

    // Texts longer than this are refused: no address, zone, file name or
    // option comes near it, and a client cannot make the program hold
    // megabytes per call.
    static constexpr qsizetype kMaxText = 65536;

    // A collection's Item/Remove key: a text key, or a 1-based position
    // (0 for positions beyond every collection's reach).
    using Key = std::variant<QString, int>;

protected:
    // Records the calling client. Call first in every member.
    void noteCaller() const;
    // Answers the current call with the "object gone" error.
    void replyGone() const;
    // Whether a D-Bus argument's type is one of the integer types.
    static bool isInteger(int typeId);
    // False (and an InvalidArgs error sent) when text is too long.
    bool acceptText(const QString& text, const char* argument) const;
    // False (and an InvalidArgs error sent) for a key of another type.
    bool readKey(const QDBusVariant& value, Key& key) const;
    void replyError(const QString& name, const QString& text) const;

    AutomationServer& server_;

private:
    QString path_;
};

} // namespace quarlo
