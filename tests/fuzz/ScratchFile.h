#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

// A directory for the files a fuzz input is written to, so the readers under
// test see it through their real file path. Kept in memory (/dev/shm) where
// there is one: the fuzzer writes a file per input.
class ScratchFile {
public:
    ScratchFile() : dir_(base() + QStringLiteral("/quarlo-fuzz-XXXXXX"))
    {
        if (!dir_.isValid()) std::abort();
    }

    QString directory() const { return dir_.path(); }
    QString path(const QString& name) const { return dir_.filePath(name); }

    // Replaces the file name with the bytes; its path.
    QString write(const QString& name, const uint8_t* data, size_t size) const
    {
        const QString file = path(name);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        if (out.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
            std::abort();
        return file;
    }

private:
    static QString base()
    {
        return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    }

    QTemporaryDir dir_;
};
