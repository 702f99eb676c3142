#pragma once

#include <QIcon>
#include <QString>

namespace quarlo {

// The pictures on the program's buttons, toolbars and menus. Each one is the
// desktop theme's icon of the standard freedesktop name when the theme has it,
// and otherwise a picture drawn here, so no button is ever blank or a bare
// word, whatever (if any) icon theme is installed. Drawn rather than loaded
// from files: no image-format plugin is needed.
class ButtonIcons {
public:
    // The big buttons of the main window.
    static QIcon NewList();      // document-new
    static QIcon AddAddresses(); // list-add
    static QIcon StartScan();    // media-playback-start
    static QIcon StopScan();     // media-playback-stop

    // Toolbar and menu commands.
    static QIcon Open();         // document-open
    static QIcon Save();         // document-save
    static QIcon Print();        // document-print
    static QIcon PrintPreview(); // document-print-preview
    static QIcon Cut();          // edit-cut
    static QIcon Copy();         // edit-copy
    static QIcon Paste();        // edit-paste
    static QIcon Delete();       // edit-delete
    static QIcon Settings();     // preferences-system
    static QIcon About();        // help-about

    // By freedesktop name, for callers that keep names in tables: the theme's
    // icon, else the drawn one, else (a name nothing here draws) the theme's
    // answer as it is, possibly a null icon.
    static QIcon Named(const QString& themeName);
    // The drawn picture alone, never the theme's; null for names not drawn here.
    static QIcon Drawn(const QString& themeName);
};

// The program's own mark, a shield with a check, at 16 to 256 pixels. The
// same picture is resources/quarlo.svg, for desktop files.
QIcon ProgramIcon();

} // namespace quarlo
