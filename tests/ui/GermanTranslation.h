#pragma once

#include <QCoreApplication>
#include <QTranslator>
#include <gtest/gtest.h>

// The program's compiled German translation, installed for the lifetime of
// the object: what the window shows to a user whose locale is German.
class GermanTranslation {
public:
    GermanTranslation()
    {
        loaded_ = translator_.load(QStringLiteral("quarlo_de"), QStringLiteral(QUARLO_TRANSLATIONS_DIR));
        if (loaded_) QCoreApplication::installTranslator(&translator_);
    }
    ~GermanTranslation()
    {
        if (loaded_) QCoreApplication::removeTranslator(&translator_);
    }
    GermanTranslation(const GermanTranslation&) = delete;
    GermanTranslation& operator=(const GermanTranslation&) = delete;

    bool loaded() const { return loaded_; }

private:
    QTranslator translator_;
    bool loaded_ = false;
};
