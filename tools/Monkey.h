#pragma once

// The window chaos run: random real user actions on the main window against
// the simulator, whose faults change as it runs. Its concerns live in one file
// each: the action chain (Monkey.cpp), what the operator does
// (MonkeyActions.cpp), what happens to the matrix (MonkeyFaults.cpp) and what
// must hold whatever happened (MonkeyInvariants.cpp).
#include "SimServers.h"
#include "ui/main/AppWindows.h"
#include "ui/main/Prompter.h"
#include "ui/main/SerialPortLister.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>

inline constexpr const char* SimMAC = "00-1A-2B-3C-4D-5E";
inline constexpr const char* OtherMAC = "00-1A-2B-3C-4D-77";
inline const QString SimEntry =
    QStringLiteral("[Simulator] - [Static IP] - [127.0.0.1] - [0.0.0.0] - "
                   "[255.0.0.0] - [00-1A-2B-3C-4D-5E] - [Same Subnet]");
// Nobody listens there: its connects are refused at once.
inline const QString DeadEntry =
    QStringLiteral("[Spare] - [Static IP] - [127.0.0.2] - [0.0.0.0] - "
                   "[255.0.0.0] - [00-1A-2B-3C-4D-77] - [Same Subnet]");
inline constexpr int CheckEvery = 500;

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
