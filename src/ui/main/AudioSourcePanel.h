#pragma once

#include <QGroupBox>
#include <array>

class QComboBox;
class TCommandRunner;

// "Audio Source for HDMI Inputs": per input the embedded audio or the analog
// input of the same port.
class TAudioSourcePanel : public QGroupBox
{
    Q_OBJECT
public:
    explicit TAudioSourcePanel(TCommandRunner* runner, QWidget* parent = nullptr);

    // Reads inputs 1..4, stopping at the first failure.
    bool RefreshAudioSources();
    // The change handler the four combos share.
    void cbAudioSourceInput1Change(int input);

    std::array<QComboBox*, 4> cbAudioSourceInput{};
    // False while the program itself writes a combo.
    bool AudioGuard = true;

private:
    void Select(int input, int index);

    TCommandRunner* FRunner;
    // What each combo showed before the operator's choice.
    std::array<int, 4> FShown{};
};
