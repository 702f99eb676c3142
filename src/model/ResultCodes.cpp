#include "model/ResultCodes.h"

#include "common/IpFunctions.h"

namespace quarlo {

ResultCodePtr ResultCodes::Add(const QString& address, const QString& reason)
{
    if (reason.isEmpty() || !IsValidIP(address)) return nullptr;
    if (ResultCodePtr held = items_.Item(address)) return held;
    auto code = std::make_shared<ResultCode>(address, reason);
    items_.Add(address, code);
    return code;
}

} // namespace quarlo
