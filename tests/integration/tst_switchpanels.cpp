// Audio sources and the advanced switches against the simulator, and the
// accessible names of the tabs' controls.
#include "WindowFixture.h"
#include "ui/main/AdvancedPanel.h"
#include "ui/main/AudioSourcePanel.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/FirmwarePanel.h"
#include "ui/main/PortTagPanel.h"
#include "ui/main/RoutingPanel.h"
#include "ui/main/SettingPanel.h"
#include "ui/main/TabContainer.h"
#include "widgets/Lcd99.h"
#include "widgets/QMGauge.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace
{
struct TPoweredWindow : TWindowFixture {
    TPoweredWindow()
    {
        if (!StartTcp()) return;
        Sim.Device().State().Power = true;
        WriteTcpSettings();
        Show();
        Runner()->SetPowerFlag(1);
    }
    // Connected before a test times its clicks into a command's wait.
    void Connect() { QVERIFY(Form->Link()->Connect()); }
    TAudioSourcePanel* Audio() const { return Form->Setting()->Audio(); }
    TAdvancedPanel* Advanced() const { return Form->Advanced(); }
    QList<int> AudioShown() const
    {
        QList<int> r;
        for (QComboBox* cb : Audio()->cbAudioSourceInput)
            r << cb->currentIndex();
        return r;
    }
    void FailCommand(int n)
    {
        QVERIFY(Sim.Faults().Add(
            QStringLiteral("silence/after=%1/count=%2").arg(n).arg(Form->Link()->Timing().Tries)));
    }
};

QString AccessibleName(QWidget* w)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name) : QString();
}
} // namespace

class tst_switchpanels : public QObject
{
    Q_OBJECT
private slots:
    void settingTabShowReadsRoutingThenAudio();
    void audioSetThenReread();
    void audioReadFailureStops();
    void refusedAudioSetShowsThePreviousChoice();
    void switchRefreshSendsNoSet();
    void switchSetCommandsAndTexts();
    void irQueryFailureStopsTheRefresh();
    void refusedSwitchSetIsUndoneAndUsable();
    void accessibleNames();
};

void tst_switchpanels::settingTabShowReadsRoutingThenAudio()
{
    TPoweredWindow f;
    f.Sim.Device().State().AudioSource = {2, 1, 3, 1};
    f.Form->Container()->setCurrentWidget(f.Form->tsSetting);
    QCOMPARE(f.Log.Names(), (QStringList{"2,1", "2,1", "2,1", "2,1", "6,6", "6,6", "6,6", "6,6"}));
    QCOMPARE(f.AudioShown(), (QList<int>{1, 0, 2, 0}));
    QCOMPARE(f.Audio()->cbAudioSourceInput[0]->currentText(),
             QStringLiteral("Analog L/R In embeded"));
    QCOMPARE(f.Form->Setting()->SelectedPreSetting(), 0);
}

void tst_switchpanels::audioSetThenReread()
{
    TPoweredWindow f;
    f.Audio()->cbAudioSourceInput[2]->setCurrentIndex(1);
    const QList<TCommandPacket> sent = f.Log.Commands();
    QCOMPARE(f.Log.Names(), (QStringList{"6,5", "6,6", "6,6", "6,6", "6,6"}));
    QCOMPARE(int(sent[0].P1), 3);
    QCOMPARE(int(sent[0].P2), 2);
    for (int n = 1; n <= 4; ++n)
        QCOMPARE(int(sent[n].P1), n);
    QCOMPARE(f.Sim.Device().State().AudioSource[2], 2);
    QCOMPARE(f.AudioShown(), (QList<int>{0, 0, 1, 0}));
}

void tst_switchpanels::audioReadFailureStops()
{
    TPoweredWindow f;
    f.Sim.Device().State().AudioSource = {3, 3, 3, 3};
    f.FailCommand(1);
    QVERIFY(!f.Audio()->RefreshAudioSources());
    QCOMPARE(f.AudioShown(), (QList<int>{2, 0, 0, 0}));
    QCOMPARE(f.Log.Names().count(QStringLiteral("6,6")), 1 + f.Form->Link()->Timing().Tries);
}

void tst_switchpanels::refusedAudioSetShowsThePreviousChoice()
{
    TPoweredWindow f;
    // Matrix off: the set and the re-read are both refused.
    f.Runner()->SetPowerFlag(0);
    f.Audio()->cbAudioSourceInput[1]->setCurrentIndex(2);
    QCOMPARE(f.AudioShown(), (QList<int>{0, 0, 0, 0}));
    QCOMPARE(f.Prompter.Count(TScriptedPrompter::pkInformation), 2);
    QCOMPARE(f.Log.Count(), 0);

    // A set the matrix never answers, with a re-read that fails as well.
    f.Runner()->SetPowerFlag(1);
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("silence")));
    f.Audio()->cbAudioSourceInput[3]->setCurrentIndex(1);
    QCOMPARE(f.AudioShown(), (QList<int>{0, 0, 0, 0}));
}

void tst_switchpanels::switchRefreshSendsNoSet()
{
    TPoweredWindow f;
    TAdvancedPanel* a = f.Advanced();
    QVERIFY(!a->gbAPM->isVisibleTo(a));
    QVERIFY(a->rbIREnable->isChecked() && a->rbKeyUnlock->isChecked() && a->rbAPMOFF->isChecked() &&
            a->rbBeeperEnable->isChecked());
    f.Sim.Device().State().Ir = false;
    f.Sim.Device().State().Keys = false;
    f.Sim.Device().State().Apm = true;
    f.Sim.Device().State().Beeper = false;
    f.Form->Container()->setCurrentWidget(f.Form->tsIR);
    QCOMPARE(f.Log.Names(), (QStringList{"4,4", "1,14", "1,10", "1,12"}));
    QVERIFY(a->rbIRDisable->isChecked());
    QVERIFY(a->rbKeyLock->isChecked());
    QVERIFY(a->rbAPMON->isChecked());
    QVERIFY(a->rbBeeperDisable->isChecked());

    // With the matrix off, showing the tab sends nothing.
    f.Form->Container()->setCurrentWidget(f.Form->tsGeneral);
    f.Runner()->SetPowerFlag(0);
    f.Form->Container()->setCurrentWidget(f.Form->tsIR);
    QCOMPARE(f.Log.Count(), 4);
    QCOMPARE(f.Prompter.Count(TScriptedPrompter::pkInformation), 0);
}

void tst_switchpanels::switchSetCommandsAndTexts()
{
    TPoweredWindow f;
    TAdvancedPanel* a = f.Advanced();
    f.Connect();
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("delay:10")));
    QStringList texts;
    auto click = [&](QAbstractButton* b) {
        QTimer::singleShot(3, [&] { texts << f.Panel(2); });
        b->click();
    };
    click(a->rbKeyLock);
    click(a->rbKeyUnlock);
    click(a->rbIRDisable);
    click(a->rbBeeperDisable);
    click(a->rbBeeperEnable);
    QCOMPARE(texts, (QStringList{"Lock Keys on panel ...", "Unlock Keys on panel ...",
                                 "Disable IR control ...", "Disable Beeper control ...",
                                 "Enable Beeper control ..."}));
    const QList<TCommandPacket> sent = f.Log.Commands();
    QCOMPARE(f.Log.Names(), (QStringList{"1,15", "1,15", "4,3", "1,13", "1,13"}));
    QCOMPARE(int(sent[0].P1), 0xF0);
    QCOMPARE(int(sent[1].P1), 0x0F);
    QCOMPARE(int(sent[2].P1), 0xF0);
    QVERIFY(!f.Sim.Device().State().Ir);
    QVERIFY(f.Sim.Device().State().Keys);
    QVERIFY(a->rbBeeperEnable->isEnabled() && a->rbBeeperDisable->isEnabled());
}

void tst_switchpanels::irQueryFailureStopsTheRefresh()
{
    TPoweredWindow f;
    f.FailCommand(0);
    QVERIFY(!f.Advanced()->RefreshSwitches());
    QCOMPARE(f.Log.Names(), QStringList(f.Form->Link()->Timing().Tries, QStringLiteral("4,4")));
}

void tst_switchpanels::refusedSwitchSetIsUndoneAndUsable()
{
    TPoweredWindow f;
    TAdvancedPanel* a = f.Advanced();
    // Refused while the status refresh's query is in flight.
    f.Connect();
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("delay:15")));
    bool clicked = false;
    QTimer::singleShot(5, [&] {
        a->rbBeeperDisable->click();
        clicked = true;
    });
    f.Runner()->RunPoweredCommand(Catalogue::IrQuery());
    QVERIFY(clicked);
    QCOMPARE(f.Log.Names(), QStringList{"4,4"});
    QVERIFY(a->rbBeeperEnable->isChecked());
    QVERIFY(a->rbBeeperEnable->isEnabled() && a->rbBeeperDisable->isEnabled());

    // Failed with the matrix switched (every reply lost): it is asked, and
    // shows what it took; when it cannot say either, the previous choice.
    const int tries = f.Form->Link()->Timing().Tries;
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("silence/cmd=1.13/count=%1").arg(tries)));
    a->rbBeeperDisable->click();
    QVERIFY(!f.Sim.Device().State().Beeper);
    QVERIFY(a->rbBeeperDisable->isChecked());
    QCOMPARE(f.Log.Names().mid(1), QStringList(tries, QStringLiteral("1,13")) << "1,12");
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("silence/count=%1").arg(2 * tries)));
    a->rbBeeperEnable->click();
    QVERIFY(a->rbBeeperDisable->isChecked());

    // Refused with the matrix off: the same.
    f.Runner()->SetPowerFlag(0);
    a->rbIRDisable->click();
    QVERIFY(a->rbIREnable->isChecked());
    QVERIFY(a->rbIRDisable->isEnabled());
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkInformation),
             QStringList{"System is power off, please turn it on first."});
}

void tst_switchpanels::accessibleNames()
{
    TPoweredWindow f;
    QCOMPARE(AccessibleName(f.Form->DeviceStatus()->bbPower), QStringLiteral("Power"));
    TRoutingPanel* r = f.Form->Setting()->Routing();
    QCOMPARE(AccessibleName(r->sbPrevious[1]), QStringLiteral("Output2 previous input"));
    QCOMPARE(AccessibleName(r->sbNext[3]), QStringLiteral("Output4 next input"));
    r->sbSetInput[1][2]->click();
    QCOMPARE(AccessibleName(r->LED[1]), QStringLiteral("Output2 input 3"));
    f.Form->Firmware()->SetGauge(QStringLiteral("Upgrading Part_1.2"), 42);
    QCOMPARE(AccessibleName(f.Form->Firmware()->qmgUpgrade), QStringLiteral("Upgrading Part_1.2"));
    QCOMPARE(f.Form->Firmware()->qmgUpgrade->accessibleDescription(),
             QStringLiteral("Upgrading Part_1.2 42%"));

    // Every control of these tabs can be found by a name.
    QStringList unnamed;
    for (QWidget* tab : {f.Form->tsGeneral, f.Form->tsPortTag, f.Form->tsSetting, f.Form->tsIR}) {
        const QList<QWidget*> all = tab->findChildren<QWidget*>();
        for (QWidget* w : all) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QLineEdit*>(w) || qobject_cast<TLCD99*>(w) ||
                                 qobject_cast<QTableWidget*>(w);
            if (!control || qobject_cast<QLineEdit*>(w->parentWidget())) continue;
            // The inner parts of combos and the list are theirs to name.
            if (qobject_cast<QComboBox*>(w->parentWidget()) ||
                qobject_cast<QTableWidget*>(w->parentWidget()))
                continue;
            if (AccessibleName(w).isEmpty())
                unnamed << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') +
                               w->objectName();
        }
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1String(", "))));
}

QTEST_MAIN(tst_switchpanels)
#include "tst_switchpanels.moc"
