#pragma once

namespace quarlo {

// Names the running program for Qt (application name and version) and gives
// its windows the program's icon. The desktop program calls it once, right
// after creating the QApplication.
void SetProgramIdentity();

} // namespace quarlo
