#include "app/ProgramIdentity.h"

#include "common/AppInfo.h"
#include "ui/ButtonIcons.h"

#include <QApplication>

namespace quarlo {

void SetProgramIdentity()
{
    QApplication::setApplicationName(QStringLiteral("Quarlo"));
    // No application display name on purpose: Qt would append it to the
    // title of every window and dialog ("Quarlo [Relays] — Quarlo"), and each
    // window already names itself.
    QApplication::setApplicationVersion(ProgramVersion());
    QApplication::setWindowIcon(ProgramIcon());
}

} // namespace quarlo
