#pragma once

#include "common/ErrorText.h"

namespace quarlo {

class Servers;

// Where the blacklist server definitions are kept. The object model reads
// and writes them through this, so it needs to know nothing of files.
class ServerStore {
public:
    virtual ~ServerStore() = default;

    // Adds the stored servers whose zones are not held yet. False, with
    // error set, when the store itself cannot be used or is malformed (a
    // missing store adds nothing and is no error).
    virtual bool Load(Servers& servers, ErrorText& error) = 0;
    // Replaces what is stored with the whole collection.
    virtual bool Save(const Servers& servers, ErrorText& error) = 0;
};

} // namespace quarlo
