#pragma once

#include "model/ObjectCollection.h"
#include "model/ResultCode.h"

namespace quarlo {

using ResultCodePtr = std::shared_ptr<ResultCode>;

// A server's answer table, keyed by the answer address text exactly as added.
// Every entry has a non-empty reason and an address that passes IsValidIP.
class ResultCodes : public ObjectCollection<ResultCode> {
public:
    // The new entry; the held entry unchanged when the address is already
    // present; null when the reason is empty or the address is not valid.
    ResultCodePtr Add(const QString& address, const QString& reason);
};

} // namespace quarlo
