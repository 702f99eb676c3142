#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <vector>

// Sets or removes environment variables for one test and puts every one back
// as it was when the guard goes, so a failing check leaves no trace.
class EnvGuard {
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    ~EnvGuard()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->wasSet ? qputenv(it->name, it->value) : qunsetenv(it->name);
    }

    void set(const char* name, const QByteArray& value)
    {
        save(name);
        qputenv(name, value);
    }
    void unset(const char* name)
    {
        save(name);
        qunsetenv(name);
    }

private:
    void save(const char* name) { saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)}); }

    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    std::vector<Saved> saved_;
};
