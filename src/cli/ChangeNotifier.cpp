#include "cli/ChangeNotifier.h"

#include "cli/PrintableText.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <cstdio>

namespace quarlo {
namespace {

// What a helper printing on its standard output would have mixed into our
// report goes to standard error instead, bounded.
constexpr qint64 kMaxEcho = 64 * 1024;

// Waits for process; says what went wrong, or nothing.
QString finish(QProcess& process, const QString& what, int timeoutMs)
{
    auto echo = qScopeGuard([&] {
        const QByteArray said = process.readAllStandardOutput().left(kMaxEcho);
        if (!said.isEmpty()) std::fwrite(said.constData(), 1, static_cast<size_t>(said.size()), stderr);
    });
    if (!process.waitForFinished(timeoutMs)) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
            return QStringLiteral("%1 did not finish within %2 s and was stopped").arg(what).arg(timeoutMs / 1000);
        }
    }
    if (process.exitStatus() != QProcess::NormalExit) return QStringLiteral("%1 crashed").arg(what);
    if (process.exitCode() != 0) {
        const QString said = Excerpt(QString::fromLocal8Bit(process.readAllStandardError()).trimmed(), 200);
        return QStringLiteral("%1 exited with status %2%3")
            .arg(what)
            .arg(process.exitCode())
            .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said);
    }
    return QString();
}

// Header text on one line, limited in length.
QString headerText(const QString& text)
{
    return Printable(text).left(200);
}

} // namespace

bool ChangeNotifier::RunCommand(const QString& command, const QByteArray& input, QString* error, int timeoutMs)
{
    QProcess process;
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    const QString what = QStringLiteral("the notify command");
    if (!process.waitForStarted(10000)) {
        *error = QStringLiteral("%1 could not be started: %2").arg(what, process.errorString());
        return false;
    }
    process.write(input);
    process.closeWriteChannel();
    *error = finish(process, what, timeoutMs);
    return error->isEmpty();
}

QString ChangeNotifier::FindSendmail()
{
    const QString fromEnv = qEnvironmentVariable("QUARLO_SENDMAIL");
    if (!fromEnv.isEmpty()) return QFileInfo(fromEnv).isExecutable() ? fromEnv : QString();
    for (const char* path : {"/usr/sbin/sendmail", "/usr/lib/sendmail"})
        if (QFileInfo(QString::fromLatin1(path)).isExecutable()) return QString::fromLatin1(path);
    return QStandardPaths::findExecutable(QStringLiteral("sendmail"));
}

bool ChangeNotifier::IsMailAddress(const QString& address)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    return address.size() <= kMaxAddressLength && pattern.match(address).hasMatch();
}

bool ChangeNotifier::SendMail(const QString& address, const QString& subject, const QString& body, QString* error,
                              int timeoutMs)
{
    if (!IsMailAddress(address)) {
        *error = QStringLiteral("\"%1\" is not a mail address").arg(Excerpt(address));
        return false;
    }
    const QString sendmail = FindSendmail();
    if (sendmail.isEmpty()) {
        *error =
            QStringLiteral("cannot mail the change report to %1: no sendmail program is installed (install a mail "
                           "transfer agent such as the \"msmtp-mta\" or \"postfix\" package, or use --notify-command)")
                .arg(address);
        return false;
    }
    QByteArray mail;
    mail += "To: " + address.toUtf8() + "\n";
    mail += "Subject: " + headerText(subject).toUtf8() + "\n";
    mail += "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n";
    mail += "Auto-Submitted: auto-generated\n\n";
    mail += body.toUtf8();
    QProcess process;
    // The recipient as an argument, never taken from the headers.
    process.start(sendmail, {QStringLiteral("-oi"), QStringLiteral("--"), address});
    const QString what = QStringLiteral("sendmail (%1)").arg(sendmail);
    if (!process.waitForStarted(10000)) {
        *error = QStringLiteral("%1 could not be started: %2").arg(what, process.errorString());
        return false;
    }
    process.write(mail);
    process.closeWriteChannel();
    *error = finish(process, what, timeoutMs);
    return error->isEmpty();
}

} // namespace quarlo
