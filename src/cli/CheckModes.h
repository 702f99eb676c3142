#pragma once

#include "cli/CheckArguments.h"
#include "cli/CheckMessages.h"

#include <QString>

namespace quarlo {

// The runs of quarlo-check once its command line is read: a check of the
// targets given (or a watch run), and the service. Each returns the exit
// status; both need the application object's event loop.
class CheckModes {
public:
    static int Check(const CheckOptions& options, const CheckMessages& messages);
    static int Serve(ServeOptions serve, const CheckMessages& messages);
};

} // namespace quarlo
