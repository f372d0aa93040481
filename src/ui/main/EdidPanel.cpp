#include "EdidPanel.h"

TEdidPanel::TEdidPanel(TCommandRunner* runner, QWidget* parent) : QWidget(parent), FRunner(runner)
{
}

void TEdidPanel::tsEDIDCtrlShow(const TPortTags&) {}
void TEdidPanel::ClearEdidGrid() {}
void TEdidPanel::MoveCaretsToEnd() {}

void TEdidPanel::ApplySettings(const TEdidSettings& settings, const TPortTags&)
{
    FSettings = settings;
    FSettings.SaveEdidFile.clear();
    FSettings.OpenEdidFile.clear();
}

TEdidSettings TEdidPanel::CollectSettings() const
{
    return FSettings;
}
