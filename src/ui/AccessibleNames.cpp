#include "ui/AccessibleNames.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QWidget>

namespace quarlo {

void NameBuiltInButtons(QWidget& window)
{
    const struct {
        const char* objectName;
        const char* text;
    } known[] = {
        {"qt_toolbar_ext_button", QT_TRANSLATE_NOOP("AccessibleNames", "More tools")},
        {"qt_menubar_ext_button", QT_TRANSLATE_NOOP("AccessibleNames", "More menus")},
        {"qt_dockwidget_floatbutton", QT_TRANSLATE_NOOP("AccessibleNames", "Float or dock the panel")},
        {"qt_dockwidget_closebutton", QT_TRANSLATE_NOOP("AccessibleNames", "Close the panel")},
    };
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        for (const auto& k : known) {
            if (button->objectName() != QLatin1String(k.objectName)) continue;
            const QString text = QCoreApplication::translate("AccessibleNames", k.text);
            if (button->toolTip().isEmpty()) button->setToolTip(text);
            if (button->accessibleName().isEmpty()) button->setAccessibleName(text);
        }
    }
}

} // namespace quarlo
