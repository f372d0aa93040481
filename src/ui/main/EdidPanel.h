#pragma once

#include "settings/SettingsFile.h"

#include <QWidget>

class TCommandRunner;

// The "EDID control" tab. Until its lists exist, the stored choices are kept
// as they were read so that a save writes them back unchanged.
class TEdidPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TEdidPanel(TCommandRunner* runner, QWidget* parent = nullptr);

    // tsEDIDCtrlShow: rebuilds the port lists from the current tags.
    void tsEDIDCtrlShow(const TPortTags& tags);
    void ClearEdidGrid();
    void MoveCaretsToEnd();

    // The "EDID setting" choices: applied at load (the two paths are not read
    // back) and collected at save.
    void ApplySettings(const TEdidSettings& settings, const TPortTags& tags);
    TEdidSettings CollectSettings() const;

protected:
    TCommandRunner* FRunner;
    TEdidSettings FSettings;
};
