#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace quarlo {

// One typed registry value.
struct RegistryValue {
    enum class Type { String, DWord, Binary };

    Type type = Type::String;
    QString text;            // Type::String
    std::uint32_t dword = 0; // Type::DWord
    QByteArray binary;       // Type::Binary

    static RegistryValue fromString(const QString& s)
    {
        RegistryValue v;
        v.type = Type::String;
        v.text = s;
        return v;
    }
    static RegistryValue fromDWord(std::uint32_t d)
    {
        RegistryValue v;
        v.type = Type::DWord;
        v.dword = d;
        return v;
    }
    static RegistryValue fromBinary(const QByteArray& b)
    {
        RegistryValue v;
        v.type = Type::Binary;
        v.binary = b;
        return v;
    }

    bool operator==(const RegistryValue& o) const
    {
        if (type != o.type) return false;
        switch (type) {
        case Type::String: return text == o.text;
        case Type::DWord: return dword == o.dword;
        case Type::Binary: return binary == o.binary;
        }
        return false;
    }
};

} // namespace quarlo
