#pragma once

#include <QString>

namespace quarlo {

// The page furniture of one export: what the adapter's settings say about
// titles, footer and orientation.
struct ExportLayout {
    QString title;
    QString subTitle;
    QString paragraph;
    QString footer;
    QString programName;
    QString programVersion;
    int orientation = 1; // 1 portrait, 2 landscape
};

} // namespace quarlo
