#pragma once

#include <QIcon>

namespace quarlo {

// Simple drawn pictures for the four big buttons of the main window.
class ButtonIcons {
public:
    static QIcon NewList();
    static QIcon AddAddresses();
    static QIcon StartScan();
    static QIcon StopScan();
};

} // namespace quarlo
