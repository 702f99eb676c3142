#pragma once

#include <QByteArray>
#include <QString>

namespace quarlo {

// Passes a watch run's changes on: to a command of the user's, or by mail
// through the system's sendmail.
class ChangeNotifier {
public:
    static constexpr int kTimeoutMs = 60000;
    static constexpr qsizetype kMaxAddressLength = 254;

    // Runs command through /bin/sh with input on its standard input. False
    // with *error when it cannot start, fails or takes longer than timeoutMs
    // (it is then killed).
    static bool RunCommand(const QString& command, const QByteArray& input, QString* error, int timeoutMs = kTimeoutMs);

    // $QUARLO_SENDMAIL, else sendmail in /usr/sbin, /usr/lib or on PATH;
    // empty when there is none.
    static QString FindSendmail();
    // One plain mail address (no name, no list, no line ends).
    static bool IsMailAddress(const QString& address);
    // Mails body to address through sendmail.
    static bool SendMail(const QString& address, const QString& subject, const QString& body, QString* error,
                         int timeoutMs = kTimeoutMs);
};

} // namespace quarlo
