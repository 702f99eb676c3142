#pragma once

#include "app/Application.h"
#include "support/FakeScanWorld.h"
#include "support/ScriptedPrompts.h"
#include "ui/MainForm.h"
#include "ui/ResultsModel.h"
#include "ui/ResultsTable.h"

#include <memory>

// The main window over a FakeScanWorld, with the prompts the test chooses
// (scripted answers, or the program's real message boxes and dialogs).
template <typename Prompts = ScriptedPrompts>
struct MainFormWorld : FakeScanWorld {
    Prompts prompts;
    quarlo::Application app{list, settings, prompts};

    quarlo::MainForm::Services services()
    {
        return {app, list, settings, registry, prompts, dir.path(), QStringLiteral("quarlo")};
    }
    std::unique_ptr<quarlo::MainForm> makeForm() { return std::make_unique<quarlo::MainForm>(services()); }
    // What the window's results grid holds in a cell of the row with that key.
    static QVariant cell(quarlo::MainForm& form, const QString& key, int column, int role = Qt::DisplayRole)
    {
        return form.Table().resultsModel().indexOfKey(key, column).data(role);
    }
};
