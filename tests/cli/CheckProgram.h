#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

#include <unistd.h>

// One run of quarlo-check, as a script or a scheduler starts it.
struct CliRun {
    QStringList args;
    QString dnsServers;
    QString registryDir;
    QByteArray input;
    QString inputFile;     // standard input from this file instead of input
    QStringList env;       // NAME=value to set; a bare NAME is removed
    bool asNobody = false; // root reads and writes anything: it runs as nobody then
    QStringList wrapper;   // a program that runs this one, as time(1) does, with its arguments
    QString workingDir;    // where it runs; empty: where the test runs
};

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the program while this process's event loop keeps turning, so a DNS
// server inside the test can answer it.
inline CliResult runProgram(const CliRun& how)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUARLO_REGISTRY_DIR", how.registryDir);
    env.insert("QUARLO_DNS_SERVERS", how.dnsServers);
    for (const QString& pair : how.env) {
        if (pair.contains('='))
            env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        else
            env.remove(pair);
    }
    process.setProcessEnvironment(env);
    if (!how.workingDir.isEmpty()) process.setWorkingDirectory(how.workingDir);
    if (!how.inputFile.isEmpty()) process.setStandardInputFile(how.inputFile);
    if (how.asNobody && ::geteuid() == 0) {
        process.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(120);
        });
    }
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QStringList command = how.wrapper + QStringList{QStringLiteral(QUARLO_CHECK_PATH)} + how.args;
    process.start(command.first(), command.mid(1));
    EXPECT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    if (how.inputFile.isEmpty()) {
        process.write(how.input);
        process.closeWriteChannel();
    }
    limit.start(90000);
    if (process.state() != QProcess::NotRunning) loop.exec();
    if (process.state() != QProcess::NotRunning) {
        ADD_FAILURE() << "still running after 90 s: " << how.args.join(' ').toStdString();
        process.kill();
        process.waitForFinished(10000);
    }
    return CliResult{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                     QString::fromUtf8(process.readAllStandardOutput()),
                     QString::fromUtf8(process.readAllStandardError())};
}
