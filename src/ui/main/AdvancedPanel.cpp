#include "AdvancedPanel.h"

#include "CommandRunner.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace
{
QGroupBox* SwitchBox(const QString& caption, QRadioButton*& off, QRadioButton*& on, bool onAtStart)
{
    auto* gb = new QGroupBox(caption);
    off = new QRadioButton(QStringLiteral("OFF"));
    on = new QRadioButton(QStringLiteral("ON"));
    (onAtStart ? on : off)->setChecked(true);
    auto* row = new QHBoxLayout(gb);
    row->addWidget(off);
    row->addWidget(on);
    row->addStretch();
    return gb;
}

TCatalogueCommand Query(TAdvancedPanel::TSwitch which)
{
    switch (which) {
    case TAdvancedPanel::swIR:
        return Catalogue::IrQuery();
    case TAdvancedPanel::swKeys:
        return Catalogue::KeysQuery();
    case TAdvancedPanel::swAPM:
        return Catalogue::ApmQuery();
    default:
        return Catalogue::BeeperQuery();
    }
}

TCatalogueCommand Set(TAdvancedPanel::TSwitch which, bool on)
{
    switch (which) {
    case TAdvancedPanel::swIR:
        return Catalogue::IrSet(on);
    case TAdvancedPanel::swKeys:
        return Catalogue::KeysSet(on);
    case TAdvancedPanel::swAPM:
        return Catalogue::ApmSet(on);
    default:
        return Catalogue::BeeperSet(on);
    }
}
} // namespace

TAdvancedPanel::TAdvancedPanel(TCommandRunner* runner, QWidget* parent)
    : QWidget(parent), FRunner(runner)
{
    gbIR = SwitchBox(QStringLiteral("IR control Disable(OFF)/Enable(ON)"), rbIRDisable, rbIREnable,
                     true);
    gbKeys = SwitchBox(QStringLiteral("Keys on panel Lock(OFF)/Unlock(ON)"), rbKeyLock, rbKeyUnlock,
                       true);
    gbAPM = SwitchBox(QStringLiteral("APM control OFF/ON setting"), rbAPMOFF, rbAPMON, false);
    gbBeeper = SwitchBox(QStringLiteral("Beeper Disable(OFF)/Enable(ON)"), rbBeeperDisable,
                         rbBeeperEnable, true);
    gbAPM->hide();

    auto* switches = new QVBoxLayout;
    for (TSwitch s : {swIR, swKeys, swAPM, swBeeper}) {
        const TSwitchGroup g = Group(s);
        g.Group->setMinimumWidth(330);
        switches->addWidget(g.Group);
        for (QRadioButton* b : {g.Off, g.On})
            connect(b, &QRadioButton::toggled, this, [this, s](bool checked) {
                if (checked) SwitchClick(s);
            });
    }
    switches->addStretch();
    FModuleColumn = new QVBoxLayout;
    auto* row = new QHBoxLayout(this);
    row->addLayout(switches);
    row->addLayout(FModuleColumn, 1);
}

TAdvancedPanel::TSwitchGroup TAdvancedPanel::Group(TSwitch which) const
{
    switch (which) {
    case swIR:
        return {gbIR, rbIRDisable, rbIREnable};
    case swKeys:
        return {gbKeys, rbKeyLock, rbKeyUnlock};
    case swAPM:
        return {gbAPM, rbAPMOFF, rbAPMON};
    default:
        return {gbBeeper, rbBeeperDisable, rbBeeperEnable};
    }
}

void TAdvancedPanel::Select(TSwitch which, bool on)
{
    const TSwitchGroup g = Group(which);
    AdvancedGuard = true;
    (on ? g.On : g.Off)->setChecked(true);
    AdvancedGuard = false;
}

bool TAdvancedPanel::RefreshSwitches()
{
    for (TSwitch s : {swIR, swKeys, swAPM, swBeeper}) {
        const TCommandReply r = FRunner->RunPoweredCommand(Query(s));
        if (!r.Ok) return false;
        Select(s, Catalogue::SwitchIsOn(r));
    }
    return true;
}

void TAdvancedPanel::SwitchClick(TSwitch which)
{
    if (AdvancedGuard) return;
    const TSwitchGroup g = Group(which);
    FRunner->ShowStatus(3, QString());
    g.Off->setEnabled(false);
    g.On->setEnabled(false);
    const bool on = g.On->isChecked();
    const bool powered = FRunner->PowerFlag() != 0;
    const TCommandReply r = FRunner->RunPoweredCommand(Set(which, on));
    // Usable again even when the set was refused. A refused set shows the
    // previous choice; a failed one may have switched the matrix all the same
    // (the reply lost), so the matrix is asked, and only when it cannot say
    // is the previous choice shown.
    if (!r.Ok) {
        const bool sent = powered && !FRunner->LastRefused();
        const TCommandReply q = sent ? FRunner->RunPoweredCommand(Query(which)) : TCommandReply();
        Select(which, q.Ok ? Catalogue::SwitchIsOn(q) : !on);
    }
    g.Off->setEnabled(true);
    g.On->setEnabled(true);
    (g.On->isChecked() ? g.On : g.Off)->setFocus();
}

