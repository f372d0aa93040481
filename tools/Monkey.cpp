// matrix-monkey [ACTIONS [SEED]] [--log FILE]: random real user actions on the
// main window against the simulator, whose faults change as it runs. Every
// action is a mouse or key event on something visible and enabled, fired by
// a timer, so many of them land inside the window's waits. After each one
// the window's invariants are checked; every 500 actions a fault-free status
// refresh must show what the simulator holds. Exit 0 when nothing was
// violated, 1 otherwise.
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

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <set>
namespace
{
TMonkey* TheMonkey = nullptr;
}

void TMonkey::Record(const QString& line)
{
    FLast.push_back(line);
    while (FLast.size() > 20)
        FLast.pop_front();
    if (FLog.isOpen()) {
        FLog.write(line.toUtf8() + '\n');
        FLog.flush();
    }
}

void TMonkey::Violation(const QString& what)
{
    ++FViolations;
    // One report per kind of finding; the count says how often.
    const QString key = what.left(60);
    Record(QStringLiteral("VIOLATION: ") + what);
    if (FReported.count(key)) return;
    FReported.insert(key);
    std::printf("violation: seed %u action %d: %s\n", FSeed, FDone, qPrintable(what));
    std::printf("  last actions:\n");
    for (const QString& l : FLast)
        std::printf("    %s\n", qPrintable(l));
    std::fflush(stdout);
}

void TMonkey::OnQtMessage(QtMsgType type, const QString& text)
{
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    // What the offscreen platform cannot do says nothing about the window.
    if (text.startsWith(QLatin1String("This plugin does not support"))) return;
    Record(QStringLiteral("  qt: ") + text);
    static const char* const Bad[] = {"deleted",   "destroyed",  "modal", "recursive",
                                      "Recursive", "QEventLoop", "nested"};
    for (const char* b : Bad)
        if (text.contains(QLatin1String(b))) {
            Violation(QStringLiteral("Qt warning: ") + text);
            return;
        }
}

void TMonkey::PrepareFiles()
{
    QDir().mkpath(FDir.filePath(QStringLiteral("files")));
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(FDir.filePath(QStringLiteral("files/")) + QLatin1String(name));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    };
    write("display.bin", FSim.Device().State().OutputEdid[0]);
    write("short.bin", QByteArray(100, '\x11'));
    write("empty.bin", QByteArray());
    QByteArray junk(4000, 0);
    for (char& c : junk)
        c = char(FRandom.bounded(256));
    write("junk.fw", junk);
    write("backup.json", "{\"power\": true, \"route\": [2, 2, 2, 2]}");
}

void TMonkey::WriteSettings()
{
    const QString path = FDir.filePath(QStringLiteral("Settings.ini"));
    TSettingsData d;
    d.TcpMode = true;
    d.ComPortName = FTty;
    d.TcpDeviceName = SimEntry;
    d.TcpDevices = QStringList{SimEntry, DeadEntry};
    for (int i = 0; i < 8; ++i)
        d.PreSettings[size_t(i)].Name = QStringLiteral("Scene %1").arg(i + 1);
    d.DisplayTag = true;
    TPortTags tags;
    tags.In = {QStringLiteral("Blu-ray"), QStringLiteral("PC"), QString(), QString()};
    tags.Out = {QStringLiteral("Projector"), QString(), QStringLiteral("Monitor"), QString()};
    SettingsFile::WriteSettings(path, d, cmLAN, QLatin1String(SimMAC), tags);
    TPortTags com;
    com.In = {QString(), QStringLiteral("Camera"), QString(), QString()};
    SettingsFile::SavePortTags(path, cmCOM, QString(), com);
    TPortTags other;
    other.Out = {QString(), QString(), QString(), QStringLiteral("Spare TV")};
    SettingsFile::SavePortTags(path, cmLAN, QLatin1String(OtherMAC), other);
    FDevices = d.TcpDevices;
    auto keep = [&](TControlMode mode, const QString& mac, const TPortTags& t) {
        for (int i = 0; i < 4; ++i) {
            if (!t.In[size_t(i)].isEmpty())
                FTags[SettingsFile::InputTagSection(mode, mac) + QString::number(i)] =
                    t.In[size_t(i)];
            if (!t.Out[size_t(i)].isEmpty())
                FTags[SettingsFile::OutputTagSection(mode, mac) + QString::number(i)] =
                    t.Out[size_t(i)];
        }
    };
    keep(cmLAN, QLatin1String(SimMAC), tags);
    keep(cmCOM, QString(), com);
    keep(cmLAN, QLatin1String(OtherMAC), other);
}

bool TMonkey::Start()
{
    FSim.Device().LoadEdids(QStringLiteral(":/edid"));
    FSim.Device().State().Power = true;
    FTty = FDir.filePath(QStringLiteral("ttyMONKEY"));
    QString error;
    if (!FSim.OpenPty(FTty, &error) || !FSim.ListenTcp(QHostAddress::LocalHost, 0, &error)) {
        std::fprintf(stderr, "monkey: %s\n", qPrintable(error));
        return false;
    }
    FSim.Faults().SetSeed(FSeed);
    FPorts.Names = QStringList{FTty};
    PrepareFiles();
    WriteSettings();

    TTiming timing = TTiming::Fast();
    timing.TimerMs = 250;
    // The longest a single wait may take: a command's tries, a connect, a
    // blink; a whole refresh is some twenty commands.
    FMaxBusyMs = 40 * (timing.Tries * timing.PollLimit * timing.PollTickMs + 50) +
                 timing.ConnectTimeoutMs + 10000;
    TForm1Options o;
    o.SettingsFolder = FDir.path();
    o.UserSettingsFolder = FDir.filePath(QStringLiteral("user"));
    o.Timing = timing;
    o.Prompter = &FPrompter;
    o.PortLister = &FPorts;
    FForm = CreateApplicationWindows(o);
    if (FForm->Terminated()) return false;
    FForm->Link()->SetDevicePort(FSim.TcpPort());
    FForm->show();
    QApplication::processEvents();
    connect(FForm->StatusBar(), &TStatusBar::PanelTextChanged, this, &TMonkey::OnPanel);
    TakeBaseline();
    std::printf("seed %u\n", FSeed);
    std::fflush(stdout);
    Record(QStringLiteral("seed %1 actions %2").arg(FSeed).arg(FActions));
    FClock.start();
    FNextFaultChange = 1 + FRandom.bounded(40);
    Schedule();
    return true;
}

void TMonkey::TakeBaseline()
{
    auto snap = [&](bool lan) {
        std::set<QWidget*>& s = FBaseline[lan];
        const auto all = FForm->findChildren<QWidget*>();
        for (QWidget* w : all)
            if (w->isEnabled() &&
                (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                 qobject_cast<QLineEdit*>(w) || qobject_cast<QTableWidget*>(w)))
                s.insert(w);
    };
    TConnectionPanel* c = FForm->Connection();
    snap(c->rbLANMode->isChecked());
    Click(c->rbLANMode->isChecked() ? c->rbCOMMode : c->rbLANMode);
    snap(c->rbLANMode->isChecked());
    Click(c->rbLANMode->isChecked() ? c->rbCOMMode : c->rbLANMode);
}

void TMonkey::Schedule()
{
    // Mostly quick, now and then a pause long enough for a wait to end.
    const int r = FRandom.bounded(100);
    const int ms = r < 60   ? FRandom.bounded(3)
                   : r < 90 ? FRandom.bounded(30)
                            : FRandom.bounded(300);
    QTimer::singleShot(ms, this, [this] { Step(); });
}

void TMonkey::Step()
{
    if (FDone >= FActions || !FForm) {
        if (AtTopLevel()) {
            QApplication::exit(0);
            return;
        }
        // Wind down: whatever dialog or menu is still open is cancelled.
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != FForm.get()) QTest::keyClick(modal, Qt::Key_Escape);
        if (FForm) FForm->Setting()->Routing()->pm->hide();
        Schedule();
        return;
    }
    // The next action is due whatever this one does, so it may fire inside
    // this one's wait. Deep nesting only repeats itself: hold back there.
    Schedule();
    // A dialog blocks all beneath it: it is answered at any depth.
    const bool dialog =
        QApplication::activeModalWidget() && QApplication::activeModalWidget() != FForm.get();
    if (FChecking || (FDepth >= 3 && !dialog) || FDepth >= 8) return;
    // A blink or pause takes no input: the operator's click waits for its end.
    if (FForm->Runner()->InBlockingWait()) return;
    const bool top = AtTopLevel();
    if (top) {
        CheckIdle();
        if (FDone - FLastChecked >= CheckEvery) {
            FLastChecked = FDone;
            CheckState();
            return;
        }
        if (FDone >= FNextFaultChange) ChangeFaults();
    } else if (!FForm->Flags().Idle && FBusySince.isValid() && FBusySince.elapsed() > FMaxBusyMs) {
        Violation(QStringLiteral("idle flag still down after %1 ms").arg(FBusySince.elapsed()));
        FBusySince.restart();
    }
    if (!FForm->Flags().Idle && !FBusySince.isValid()) FBusySince.start();
    if (FForm->Flags().Idle) FBusySince.invalidate();
    ++FDone;
    if (!top) ++FInWaits;
    ++FDepth;
    Act();
    --FDepth;
    if (FForm && !FForm->isVisible()) {
        Violation(QStringLiteral("the window closed though every close was answered No"));
        FForm.reset();
    }
}

int TMonkey::Finish()
{
    const double seconds = FClock.elapsed() / 1000.0;
    if (FForm) {
        FLastChecked = FDone;
        CheckState();
        FForm->close();
        QApplication::processEvents();
        if (FForm->isVisible()) Violation(QStringLiteral("the idle window did not close"));
        CheckSettings(false);
        FForm.reset();
    }
    std::printf("monkey: %d of the actions fired inside a wait\n", FInWaits);
    std::printf("bench: monkey_actions %d actions\n", FDone);
    std::printf("bench: monkey_violations %d violations [target 0]\n", FViolations);
    std::printf("bench: monkey_actions_per_s %.1f actions/s\n", seconds > 0 ? FDone / seconds : 0);
    return FViolations ? 1 : 0;
}

namespace
{
void MessageHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (TheMonkey) TheMonkey->OnQtMessage(type, text);
    if (type == QtFatalMsg) abort();
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString log;
    const int at = args.indexOf(QStringLiteral("--log"));
    if (at >= 0) {
        log = args.value(at + 1);
        args.remove(at, qMin(2, int(args.size() - at)));
    }
    bool ok = true;
    const int actions = args.isEmpty() ? 10000 : args[0].toInt(&ok);
    const quint32 seed =
        args.size() > 1 ? args[1].toUInt(&ok) : QRandomGenerator::global()->bounded(1000000u);
    if (!ok || actions < 0 || args.size() > 2) {
        std::fprintf(stderr, "usage: matrix-monkey [ACTIONS [SEED]] [--log FILE]\n");
        return 2;
    }
    TMonkey monkey(actions, seed, log);
    TheMonkey = &monkey;
    qInstallMessageHandler(MessageHandler);
    if (!monkey.Start()) return 2;
    app.exec();
    const int rc = monkey.Finish();
    TheMonkey = nullptr;
    return rc;
}
