#include "Monkey.h"
#include "link/Commands.h"
#include "link/QMCOMControl.h"
#include "settings/SettingsFile.h"
#include "ui/main/AdvancedPanel.h"
#include "ui/main/AppWindows.h"
#include "ui/main/AudioSourcePanel.h"
#include "ui/main/CommandRunner.h"
#include "ui/main/ConnectionPanel.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/Prompter.h"
#include "ui/main/RoutingPanel.h"
#include "ui/main/SerialPortLister.h"
#include "ui/main/SettingPanel.h"
#include "ui/main/StatusBar.h"
#include "ui/main/TabContainer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
void TMonkey::ChangeFaults()
{
    FNextFaultChange = FDone + 10 + FRandom.bounded(50);
    TFaultPlan& f = FSim.Faults();
    f.Clear();
    if (!FPtyUp) {
        FSim.OpenPty(FTty);
        FPorts.Names = QStringList{FTty};
        FPtyUp = true;
        Record(QStringLiteral("  sim: serial line plugged in again"));
    }
    static const char* const Plans[] = {
        "silence/count=3", "silence/count=12", "delay:5",        "delay:30", "delay:70",
        "split:5+8",       "split:1+3+9",      "badsum/count=2", "badsum",   "refuse/count=1",
        "refuse/cmd=2.3",  "refuse",           "drop:0.3",       "close:6"};
    const int n = int(sizeof Plans / sizeof *Plans);
    const int pick = FRandom.bounded(n + 4); // now and then no fault at all
    if (pick < n) {
        f.Add(QLatin1String(Plans[pick]));
        if (FRandom.bounded(3) == 0) f.Add(QLatin1String(Plans[FRandom.bounded(n)]));
    }
    Record(QStringLiteral("  sim: faults %1").arg(pick < n ? Plans[pick] : "none"));
}

void TMonkey::FaultEvent()
{
    // Something happens to the matrix a little later, likely inside a wait.
    const int kind = FRandom.bounded(5);
    const int ms = FRandom.bounded(200);
    static const char* const Names[] = {"TCP peer resets", "TCP peer closes",
                                        "serial line hangs up", "matrix powered off",
                                        "matrix powered on"};
    Record(QStringLiteral("%1 sim: %2 in %3 ms").arg(FDone).arg(Names[kind]).arg(ms));
    QTimer::singleShot(ms, this, [this, kind] {
        if (FChecking) return;
        switch (kind) {
        case 0:
            FSim.ResetTcpPeer();
            break;
        case 1:
            FSim.DropTcpPeer();
            break;
        case 2:
            if (FPtyUp) {
                FSim.ClosePty();
                FPorts.Names.clear();
                FPtyUp = false;
            }
            break;
        case 3:
            FSim.Device().State().Power = false;
            break;
        case 4:
            FSim.Device().State().Power = true;
            break;
        }
    });
}
