#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

// Runs a reader program (python3, pdfinfo...) that checks what a writer made,
// with input on its standard input. Its standard output, or a failure of the
// calling test when it cannot run or fails: the readers are part of the
// development setup (scripts/install-deps), so missing ones fail.
inline QByteArray runReader(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(30000)) {
        ADD_FAILURE() << program.toStdString() << " did not start: " << p.errorString().toStdString();
        return {};
    }
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) p.kill();
    if (p.state() != QProcess::NotRunning) p.waitForFinished(5000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    return p.readAllStandardOutput();
}
