#include "AudioSourcePanel.h"

#include "CommandRunner.h"
#include "link/Commands.h"

#include <QComboBox>
#include <QFormLayout>

TAudioSourcePanel::TAudioSourcePanel(TCommandRunner* runner, QWidget* parent)
    : QGroupBox(QStringLiteral("Audio Source for HDMI Inputs"), parent), FRunner(runner)
{
    auto* form = new QFormLayout(this);
    for (int n = 1; n <= 4; ++n) {
        auto* cb = new QComboBox;
        for (int v = 1; v <= 3; ++v)
            cb->addItem(Catalogue::AudioSourceName(v));
        cb->setCurrentIndex(0);
        cb->setMinimumWidth(200);
        cbAudioSourceInput[size_t(n - 1)] = cb;
        form->addRow(QStringLiteral("Input %1").arg(n), cb);
        connect(cb, &QComboBox::currentIndexChanged, this,
                [this, n](int) { cbAudioSourceInput1Change(n); });
    }
}

void TAudioSourcePanel::Select(int input, int index)
{
    AudioGuard = false;
    cbAudioSourceInput[size_t(input - 1)]->setCurrentIndex(index);
    FShown[size_t(input - 1)] = index;
    AudioGuard = true;
}

bool TAudioSourcePanel::RefreshAudioSources()
{
    for (int n = 1; n <= 4; ++n) {
        const TCommandReply r = FRunner->RunPoweredCommand(Catalogue::AudioQuery(n));
        if (!r.Ok) return false;
        const int value = r.P2Lo();
        Select(n, value >= 1 && value <= 3 ? value - 1 : -1);
    }
    return true;
}

void TAudioSourcePanel::cbAudioSourceInput1Change(int input)
{
    if (!AudioGuard) return;
    QComboBox* cb = cbAudioSourceInput[size_t(input - 1)];
    const int chosen = cb->currentIndex();
    const TCommandReply r = FRunner->RunPoweredCommand(Catalogue::AudioSet(input, chosen + 1));
    if (r.Ok)
        FShown[size_t(input - 1)] = chosen;
    else
        // Not applied: show what was there before, not the refused choice.
        Select(input, FShown[size_t(input - 1)]);
    RefreshAudioSources();
}
