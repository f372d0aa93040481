// matrix-monkey [ACTIONS [SEED]] [--log FILE]: random real user actions on the
// main window against the simulator, whose faults change as it runs. Every
// action is a mouse or key event on something visible and enabled, fired by
// a timer, so many of them land inside the window's waits. After each one
// the window's invariants are checked; every 500 actions a fault-free status
// refresh must show what the simulator holds. Exit 0 when nothing was
// violated, 1 otherwise.
#include "SimServers.h"
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
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <set>

namespace
{
constexpr const char* SimMAC = "00-1A-2B-3C-4D-5E";
constexpr const char* OtherMAC = "00-1A-2B-3C-4D-77";
const QString SimEntry = QStringLiteral("[Simulator] - [Static IP] - [127.0.0.1] - [0.0.0.0] - "
                                        "[255.0.0.0] - [00-1A-2B-3C-4D-5E] - [Same Subnet]");
// Nobody listens there: its connects are refused at once.
const QString DeadEntry = QStringLiteral("[Spare] - [Static IP] - [127.0.0.2] - [0.0.0.0] - "
                                         "[255.0.0.0] - [00-1A-2B-3C-4D-77] - [Same Subnet]");
constexpr int CheckEvery = 500;

class TMonkey;
TMonkey* TheMonkey = nullptr;

class TListedPorts : public TSerialPortLister
{
public:
    QStringList PortNames() override { return Names; }
    QStringList Names;
};

// Answers at random, as an operator clicking without reading would, except
// that closing is always answered No and the network dialogs are cancelled
// (they broadcast on the real network).
class TRandomPrompter : public TPrompter
{
public:
    TRandomPrompter(QRandomGenerator* random, QString folder)
        : FRandom(random), FFolder(std::move(folder))
    {
    }
    std::function<void(const QString&)> Note;
    // A dialog that may change tags or pre-settings ended with OK.
    std::function<void(const QString&)> Accepted;
    QStringList DeletedDevices;

    void Information(const QString& text) override { Note(QStringLiteral("info: ") + text); }
    void Error(const QString& text) override { Note(QStringLiteral("error: ") + text); }
    bool Confirm(const QString& text) override
    {
        bool yes = FRandom->bounded(2) == 1;
        if (text.startsWith(QLatin1String("Processing not complete"))) yes = false;
        Note(QStringLiteral("confirm %1: %2").arg(yes ? "Yes" : "No", text));
        const QString del = QStringLiteral("Sure to delete device: ");
        if (yes && text.startsWith(del)) DeletedDevices << text.mid(del.size()).chopped(2);
        return yes;
    }
    QString OpenFile(const QString& title, const QString&, const QString&) override
    {
        const QStringList files = QDir(FFolder).entryList(QDir::Files, QDir::Name);
        const int pick = FRandom->bounded(files.size() + 1);
        const QString path = pick < files.size() ? FFolder + '/' + files[pick] : QString();
        Note(QStringLiteral("open file %1: %2").arg(title, path.isEmpty() ? "Cancel" : path));
        return path;
    }
    QString SaveFile(const QString& title, const QString&, const QString&) override
    {
        const QString path =
            FRandom->bounded(4) == 0
                ? QString()
                : QStringLiteral("%1/saved%2.bin").arg(FFolder).arg(FRandom->bounded(3));
        Note(QStringLiteral("save file %1: %2").arg(title, path.isEmpty() ? "Cancel" : path));
        return path;
    }
    int ShowModal(QDialog* dialog) override
    {
        const QString name = QString::fromLatin1(dialog->metaObject()->className());
        if (name == QLatin1String("TfrmSearch") || name == QLatin1String("TfrmEditLAN")) {
            Note(QStringLiteral("dialog %1: Cancel").arg(name));
            return QDialog::Rejected;
        }
        Note(QStringLiteral("dialog %1").arg(name));
        // The monkey's own actions answer it while it runs.
        const int result = dialog->exec();
        Note(QStringLiteral("dialog %1 ended %2").arg(name).arg(result));
        if (result == QDialog::Accepted && Accepted) Accepted(dialog->windowTitle());
        return result;
    }

private:
    QRandomGenerator* FRandom;
    QString FFolder;
};

class TMonkey : public QObject
{
public:
    TMonkey(int actions, quint32 seed, const QString& logPath)
        : FActions(actions), FSeed(seed), FRandom(seed),
          FPrompter(&FRandom, FDir.filePath(QStringLiteral("files")))
    {
        if (!logPath.isEmpty()) {
            FLog.setFileName(logPath);
            if (!FLog.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
                std::fprintf(stderr, "monkey: cannot write %s\n", qPrintable(logPath));
        }
        FPrompter.Note = [this](const QString& t) { Record(QStringLiteral("  ") + t); };
        FPrompter.Accepted = [this](const QString& title) { Edited(title); };
    }

    bool Start();
    int Finish();
    void OnQtMessage(QtMsgType type, const QString& text);

private:
    // Setup.
    void PrepareFiles();
    void WriteSettings();
    void TakeBaseline();
    // The action chain.
    void Schedule();
    void Step();
    void Act();
    void ChangeFaults();
    void FaultEvent();
    // Invariants.
    void CheckIdle();
    void CheckState();
    void CheckSettings(bool save);
    void OnPanel(int panel, const QString& text);
    void Edited(const QString& title);
    bool ReachSimulator();
    void Violation(const QString& what);
    void Record(const QString& line);
    QString Name(QWidget* w) const;
    QList<QWidget*> Targets(QWidget* root) const;
    void Click(QWidget* w, Qt::MouseButton button = Qt::LeftButton);
    bool AtTopLevel() const { return QThread::currentThread()->loopLevel() <= 1; }
    void Settle(int ms);

    int FActions;
    quint32 FSeed;
    QRandomGenerator FRandom;
    QTemporaryDir FDir;
    TRandomPrompter FPrompter;
    TListedPorts FPorts;
    TMatrixSim FSim;
    std::unique_ptr<TForm1> FForm;
    QFile FLog;
    QElapsedTimer FClock;
    QElapsedTimer FBusySince;
    int FDone = 0;
    int FInWaits = 0; // actions fired inside a wait of the window
    int FDepth = 0;
    bool FChecking = false;
    bool FPtyUp = true;
    int FNextFaultChange = 0;
    int FRepliesAtStart = 0;
    int FLastChecked = 0;
    int FMaxBusyMs = 0;
    std::deque<QString> FLast;
    int FViolations = 0;
    QString FTty;
    QStringList FDevices;
    QMap<QString, QString> FTags; // "section/key" -> text at start, non-empty only
    // Controls enabled when idle and disconnected, per control mode.
    std::map<bool, std::set<QWidget*>> FBaseline;
    std::set<QString> FReported;
    std::map<QWidget*, std::pair<QElapsedTimer, int>> FDisabledSince; // since, last check
    int FIdleChecks = 0;
    std::set<int> FEditedPreSettings; // rows whose name the operator may have changed
};

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

QString TMonkey::Name(QWidget* w) const
{
    if (!w->accessibleName().isEmpty()) return w->accessibleName();
    if (auto b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
        QString t = b->text();
        if (auto g = qobject_cast<QWidget*>(w->parent()))
            for (QWidget* p = g; p; p = p->parentWidget())
                if (auto box = qobject_cast<QGroupBox*>(p)) {
                    t = box->title() + '/' + t;
                    break;
                }
        return t;
    }
    QString n = QString::fromLatin1(w->metaObject()->className());
    if (!w->objectName().isEmpty()) n += ':' + w->objectName();
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto box = qobject_cast<QGroupBox*>(p)) return box->title() + '/' + n;
    return n;
}

QList<QWidget*> TMonkey::Targets(QWidget* root) const
{
    QList<QWidget*> out;
    const auto all = root->findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (!w->isVisible() || !w->isEnabled()) continue;
        if (auto b = qobject_cast<QAbstractButton*>(w)) {
            // Search and configuration broadcast on the real network.
            if (b->text().startsWith(QLatin1String("Search")) ||
                b->text().startsWith(QLatin1String("Config")))
                continue;
            out << w;
        } else if (auto c = qobject_cast<QComboBox*>(w)) {
            if (c->count() > 0) out << w;
        } else if (auto e = qobject_cast<QLineEdit*>(w)) {
            if (!e->isReadOnly() && !qobject_cast<QComboBox*>(e->parent())) out << w;
        } else if (auto t = qobject_cast<QTableWidget*>(w)) {
            if (t->rowCount() > 0) out << w;
        } else if (qobject_cast<QTabBar*>(w)) {
            out << w;
        }
    }
    return out;
}

void TMonkey::Click(QWidget* w, Qt::MouseButton button)
{
    QPoint at = w->rect().center();
    if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(w);
        at = w->style()
                 ->subElementRect(qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonIndicator
                                                                 : QStyle::SE_CheckBoxIndicator,
                                  &opt, w)
                 .center();
    }
    QTest::mouseClick(w, button, Qt::NoModifier, at);
}

void TMonkey::Act()
{
    QPointer<QWidget> modal = QApplication::activeModalWidget();
    QWidget* root = modal && modal != FForm.get() ? modal.data() : FForm.get();
    const QString n = QString::number(FDone);
    TRoutingPanel* routing = FForm->Setting()->Routing();
    // An open context menu takes the next click.
    if (routing->pm->isVisible()) {
        QList<QAction*> items;
        for (QAction* a : routing->pm->actions())
            if (a->isVisible() && !a->isSeparator()) items << a;
        if (FRandom.bounded(5) == 0 || items.isEmpty()) {
            Record(n + QStringLiteral(" menu: Escape"));
            routing->pm->hide();
            return;
        }
        QAction* a = items[FRandom.bounded(items.size())];
        Record(n + QStringLiteral(" menu: ") + a->text());
        QTest::mouseClick(routing->pm, Qt::LeftButton, Qt::NoModifier,
                          routing->pm->actionGeometry(a).center());
        return;
    }
    const int kind = FRandom.bounded(100);
    if (root == FForm.get() && kind < 3) {
        Record(n + QStringLiteral(" close button"));
        if (!FForm->Flags().Idle) FForm->close();
        return;
    }
    if (root == FForm.get() && kind < 8) {
        // A right click on a visible input button opens the routing menu.
        QList<QToolButton*> buttons;
        for (auto& row : routing->sbSetInput)
            for (QToolButton* b : row)
                if (b && b->isVisible() && b->isEnabled()) buttons << b;
        if (buttons.isEmpty()) return;
        QToolButton* b = buttons[FRandom.bounded(buttons.size())];
        Record(n + QStringLiteral(" right click ") + Name(b));
        QTest::mouseMove(b);
        QContextMenuEvent e(QContextMenuEvent::Mouse, b->rect().center(),
                            b->mapToGlobal(b->rect().center()));
        QApplication::sendEvent(b, &e);
        return;
    }
    if (root == FForm.get() && kind < 10) {
        FaultEvent();
        return;
    }
    const QList<QWidget*> targets = Targets(root);
    if (targets.isEmpty()) {
        if (modal && modal != FForm.get()) {
            Record(n + QStringLiteral(" dialog: Escape"));
            QTest::keyClick(modal, Qt::Key_Escape);
        }
        return;
    }
    QWidget* w = targets[FRandom.bounded(targets.size())];
    if (modal && modal != FForm.get() && FRandom.bounded(6) == 0) {
        Record(n + QStringLiteral(" dialog: Escape"));
        QTest::keyClick(modal, Qt::Key_Escape);
        return;
    }
    const QString name = Name(w);
    if (auto c = qobject_cast<QComboBox*>(w)) {
        const bool down = FRandom.bounded(2) == 1;
        Record(n + QStringLiteral(" choose %1 %2 (from %3)")
                       .arg(name, down ? "Down" : "Up", c->currentText()));
        c->setFocus();
        QTest::keyClick(c, down ? Qt::Key_Down : Qt::Key_Up);
    } else if (auto e = qobject_cast<QLineEdit*>(w)) {
        static const char* const Words[] = {"TV", "Deck", "Hall 2", "x", "Console", "[a]"};
        const QString text = QLatin1String(Words[FRandom.bounded(6)]);
        const bool replace = FRandom.bounded(2) == 1;
        Record(n + QStringLiteral(" type %1 '%2'%3").arg(name, text, replace ? " replacing" : ""));
        e->setFocus();
        if (replace) QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(e, text);
        if (FRandom.bounded(3) == 0) QTest::keyClick(e, Qt::Key_Return);
    } else if (auto t = qobject_cast<QTableWidget*>(w)) {
        const int row = FRandom.bounded(t->rowCount());
        const bool twice = FRandom.bounded(4) == 0;
        Record(
            n +
            QStringLiteral(" %1 %2 row %3").arg(twice ? "double-click" : "click", name).arg(row));
        const QPoint at = t->visualRect(t->model()->index(row, 0)).center();
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        if (twice) QTest::mouseDClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    } else if (auto bar = qobject_cast<QTabBar*>(w)) {
        const int i = FRandom.bounded(bar->count());
        Record(n + QStringLiteral(" tab ") + bar->tabText(i));
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(i).center());
    } else {
        Record(n + QStringLiteral(" click ") + name);
        if (qobject_cast<QToolButton*>(w)) QTest::mouseMove(w);
        Click(w);
    }
}

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

void TMonkey::CheckIdle()
{
    ++FIdleChecks;
    TQMCOMControl* link = FForm->Link();
    if (!FForm->Flags().Idle) Violation(QStringLiteral("idle flag down with no wait running"));
    if (link->Searching || link->FConnecting || link->Configuring)
        Violation(QStringLiteral("link flag set with no wait running"));
    if (FForm->Runner()->InBlockingWait())
        Violation(QStringLiteral("a blocking wait is counted with none running"));
    if (QApplication::activeModalWidget() && QApplication::activeModalWidget() != FForm.get())
        Violation(QStringLiteral("a dialog is open with no loop running"));
    const bool lan = FForm->Connection()->rbLANMode->isChecked();
    const bool connected = link->Connected();
    for (QWidget* w : FBaseline[lan]) {
        if (w->isEnabled()) {
            FDisabledSince.erase(w);
            continue;
        }
        // Disabled by their own rules: the port list while connected, the
        // device delete button without devices.
        TConnectionPanel* c = FForm->Connection();
        if ((w == c->cbCOMList && connected) ||
            (w == c->btnDeleteDevice && c->cbLANDevice->count() == 0)) {
            FDisabledSince.erase(w);
            continue;
        }
        // The panel follows a link that went away by itself at the next tick:
        // only a control disabled at every check for longer counts.
        auto since = FDisabledSince.find(w);
        if (since == FDisabledSince.end() || since->second.second != FIdleChecks - 1) {
            FDisabledSince[w].first.start();
            FDisabledSince[w].second = FIdleChecks;
            continue;
        }
        since->second.second = FIdleChecks;
        if (since->second.first.elapsed() < 2 * FForm->Runner()->Timing().TimerMs + 200) continue;
        FDisabledSince.erase(since);
        Violation(QStringLiteral("'%1' left disabled while idle (%2, %3)")
                      .arg(Name(w), lan ? "TCP mode" : "COM mode",
                           connected ? "connected" : "disconnected"));
    }
}

void TMonkey::OnPanel(int panel, const QString& text)
{
    if (panel != 2) return;
    if (!text.isEmpty()) Record(QStringLiteral("  status: ") + text);
    if (FChecking) return;
    const TFaultPlan& f = FSim.Faults();
    if (text != QLatin1String("Done")) {
        // Command status texts end in "..."; a connect is no command (it can
        // run inside one whose link dropped, and that command's "Done"
        // follows it), nor is a failure text.
        if (text.endsWith(QLatin1String("...")) &&
            !text.startsWith(QLatin1String("Connecting [")) &&
            !text.startsWith(QLatin1String("Opening [")))
            FRepliesAtStart = f.Replies();
        return;
    }
    static const char* const Verdicts[] = {"intact", "dropped", "refused", "corrupted"};
    if (f.Replies() == FRepliesAtStart)
        Violation(QStringLiteral("\"Done\" for a command the simulator never answered"));
    else if (f.LastVerdict() != TFaultPlan::fvIntact)
        Violation(QStringLiteral("\"Done\" though the simulator's last reply was %1")
                      .arg(Verdicts[f.LastVerdict()]));
}

void TMonkey::Edited(const QString& title)
{
    // What the operator changed on purpose is not checked for loss.
    const bool lan = FForm->Link()->ControlMode() == cmLAN;
    const QString mac = lan ? SettingsFile::DeviceEntryField(
                                  FForm->Connection()->cbLANDevice->currentText(), defMAC)
                            : QString();
    const TControlMode mode = lan ? cmLAN : cmCOM;
    QString section;
    if (title.contains(QLatin1String("Input port tags")))
        section = SettingsFile::InputTagSection(mode, mac);
    else if (title.contains(QLatin1String("Output port tags")))
        section = SettingsFile::OutputTagSection(mode, mac);
    else
        FEditedPreSettings.insert(FForm->Setting()->lvPreSetting->currentRow());
    for (auto it = FTags.begin(); it != FTags.end();)
        it = !section.isEmpty() && it.key().chopped(1) == section ? FTags.erase(it) : ++it;
}

bool TMonkey::ReachSimulator()
{
    // The actions may have left the window on a device nobody answers at:
    // choose the simulator the way the operator would.
    TConnectionPanel* c = FForm->Connection();
    if (c->rbLANMode->isChecked()) {
        const int at = c->cbLANDevice->findText(SimEntry);
        if (at >= 0 && c->cbLANDevice->currentIndex() != at) c->cbLANDevice->setCurrentIndex(at);
        if (at < 0) Click(c->rbCOMMode);
    }
    if (c->rbCOMMode->isChecked()) {
        const int at = c->cbCOMList->findText(FTty);
        if (at >= 0 && c->cbCOMList->currentIndex() != at && c->cbCOMList->isEnabled())
            c->cbCOMList->setCurrentIndex(at);
    }
    return true;
}

void TMonkey::Settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

void TMonkey::CheckState()
{
    FChecking = true;
    Record(QStringLiteral("%1 check: fault-free refresh").arg(FDone));
    FSim.Faults().Clear();
    if (!FPtyUp) {
        FSim.OpenPty(FTty);
        FPorts.Names = QStringList{FTty};
        FPtyUp = true;
    }
    Settle(FForm->Runner()->Timing().TimerMs + 50); // the port list follows
    TDeviceStatusPanel* d = FForm->DeviceStatus();
    FForm->Container()->setCurrentWidget(FForm->tsGeneral);
    QApplication::processEvents();
    ReachSimulator();
    Click(d->btnGetDevStatus);
    const TMatrixState& s = FSim.Device().State();
    const bool on = FForm->Runner()->PowerFlag() == 1;
    if (on != s.Power || d->PowerPictureShown() != (s.Power ? ppOn : ppOff))
        Violation(QStringLiteral("power shown %1 (picture %2), the matrix is %3")
                      .arg(on)
                      .arg(int(d->PowerPictureShown()))
                      .arg(s.Power ? "on" : "off"));
    if (on && s.Power) {
        FForm->Container()->setCurrentWidget(FForm->tsSetting);
        QApplication::processEvents();
        FForm->Container()->setCurrentWidget(FForm->tsIR);
        QApplication::processEvents();
        auto conn = [](QLabel* l, const QString& prefix, bool yes) {
            return l->text() == prefix + (yes ? ": Connected" : ": Not connected");
        };
        for (int n = 1; n <= 4; ++n) {
            const size_t i = size_t(n - 1);
            if (!conn(d->lblInput[i], QStringLiteral("Input%1").arg(n), s.InputConnected[i]) ||
                !conn(d->lblHDMIOutput[i], QStringLiteral("HDMI Output%1").arg(n),
                      s.OutputConnected[i]))
                Violation(QStringLiteral("port %1 shows '%2' / '%3'")
                              .arg(n)
                              .arg(d->lblInput[i]->text(), d->lblHDMIOutput[i]->text()));
            TRoutingPanel* r = FForm->Setting()->Routing();
            if (r->DisplayedInput(n) != s.Route[i] ||
                !r->sbSetInput[i][size_t(s.Route[i] - 1)]->isChecked())
                Violation(QStringLiteral("output %1 shows input %2, the matrix routes %3")
                              .arg(n)
                              .arg(r->DisplayedInput(n))
                              .arg(s.Route[i]));
            QComboBox* a = FForm->Setting()->Audio()->cbAudioSourceInput[i];
            if (a->currentText() != Catalogue::AudioSourceName(s.AudioSource[i]))
                Violation(QStringLiteral("input %1 audio shows '%2', the matrix has %3")
                              .arg(n)
                              .arg(a->currentText())
                              .arg(s.AudioSource[i]));
        }
        TAdvancedPanel* adv = FForm->Advanced();
        const std::pair<QRadioButton*, bool> sw[] = {{adv->rbIREnable, s.Ir},
                                                     {adv->rbKeyUnlock, s.Keys},
                                                     {adv->rbAPMON, s.Apm},
                                                     {adv->rbBeeperEnable, s.Beeper}};
        for (const auto& [button, value] : sw)
            if (button->isChecked() != value)
                Violation(QStringLiteral("switch '%1' shows %2, the matrix has %3")
                              .arg(button->parentWidget()->property("title").toString())
                              .arg(button->isChecked())
                              .arg(value));
    }
    CheckSettings(true);
    FChecking = false;
}

void TMonkey::CheckSettings(bool save)
{
    const QString path = FForm->SettingsPath();
    if (save && !FForm->SaveSettings()) Violation(QStringLiteral("the settings save failed"));
    QString error;
    const TSettingsData d = SettingsFile::ReadSettings(path, &error);
    if (!error.isEmpty() || !QFile::exists(path))
        Violation(QStringLiteral("Settings.ini does not read: ") + error);
    for (const QString& e : FDevices)
        if (!FPrompter.DeletedDevices.contains(e) && !d.TcpDevices.contains(e))
            Violation(QStringLiteral("device entry lost: ") + e);
    for (int i = 0; i < 8; ++i)
        if (!FEditedPreSettings.count(i) && d.PreSettings[size_t(i)].Name.isEmpty())
            Violation(QStringLiteral("pre-setting %1 lost its name").arg(i + 1));
    for (auto it = FTags.cbegin(); it != FTags.cend(); ++it) {
        const QString section = it.key().chopped(1);
        const int port = it.key().right(1).toInt();
        const bool input = section.contains(QLatin1String("Input"));
        const bool com = section.endsWith(QLatin1String("COM"));
        const QString mac = com ? QString() : section.section(QLatin1Char(':'), 1);
        bool deleted = false;
        for (const QString& e : FPrompter.DeletedDevices)
            if (SettingsFile::DeviceEntryField(e, defMAC) == mac) deleted = true;
        if (deleted) continue;
        const TPortTags t = SettingsFile::LoadPortTags(path, com ? cmCOM : cmLAN, mac);
        if ((input ? t.In : t.Out)[size_t(port)].isEmpty())
            Violation(QStringLiteral("tag lost: %1 port %2 ('%3')")
                          .arg(section)
                          .arg(port + 1)
                          .arg(it.value()));
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
