#pragma once

// A main window as the program builds it, on a private folder, with scripted
// prompts and serial ports, fast timings, and a simulated matrix on loopback
// TCP and/or a pseudo-terminal. Header-only: only window tests include it.

#include "ScriptedPrompter.h"
#include "SimFrameLog.h"
#include "SimServers.h"
#include "link/QMCOMControl.h"
#include "ui/main/AppWindows.h"
#include "ui/main/CommandRunner.h"
#include "ui/main/StatusBar.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TWindowFixture
{
public:
    static constexpr const char* SimEntry = "[Simulator] - [Static IP] - [127.0.0.1] - [0.0.0.0] - "
                                            "[255.0.0.0] - [00-1A-2B-3C-4D-5E] - [Same Subnet]";
    static constexpr const char* SimMAC = "00-1A-2B-3C-4D-5E";

    TWindowFixture() : Log(Sim) { Sim.Device().LoadEdids(QStringLiteral(":/edid")); }

    QString Folder() const { return Dir.path(); }
    QString SettingsPath() const { return Dir.filePath(QStringLiteral("Settings.ini")); }
    // Stands in for the per-user configuration folder.
    QString UserFolder() const { return Dir.filePath(QStringLiteral("user/config")); }

    bool StartTcp() { return Sim.TcpPort() || Sim.ListenTcp(QHostAddress::LocalHost, 0); }
    bool StartPty()
    {
        return !Sim.SlavePath().isEmpty() || Sim.OpenPty(Dir.filePath(QStringLiteral("ttySIM")));
    }
    QString PtyPath() const { return Sim.PtyLink(); }

    void WriteFile(const QByteArray& text)
    {
        QFile f(SettingsPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QByteArray ReadFile() const
    {
        QFile f(SettingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // TCP mode with the simulator as the selected device.
    // `more` follows the device list.
    void WriteTcpSettings(const QByteArray& more = QByteArray())
    {
        WriteFile(QByteArray("[Control mode]\r\nMode=1\r\n[TCP control device]\r\nName=") +
                  SimEntry + "\r\n[TCP control device list]\r\nDevice No.1=" + SimEntry +
                  "\r\n" + more);
    }
    // Serial mode on the simulator's pseudo-terminal.
    void WriteComSettings()
    {
        Ports.Names = QStringList{PtyPath()};
        WriteFile("[Control mode]\r\nMode=0\r\n[COM port]\r\nName=" + PtyPath().toUtf8() + "\r\n");
    }

    TForm1Options Options(const TTiming& timing = TTiming::Fast())
    {
        TForm1Options o;
        o.SettingsFolder = Folder();
        o.UserSettingsFolder = UserFolder();
        o.Timing = timing;
        o.Prompter = &Prompter;
        o.PortLister = &Ports;
        return o;
    }
    TForm1* Create(const TTiming& timing = TTiming::Fast())
    {
        Form = CreateApplicationWindows(Options(timing));
        if (Sim.TcpPort()) Form->Link()->SetDevicePort(Sim.TcpPort());
        return Form.get();
    }
    TForm1* Show(const TTiming& timing = TTiming::Fast())
    {
        Create(timing);
        Form->show();
        return Form.get();
    }

    QString Panel(int n) const { return Form->StatusBar()->PanelText(n); }
    TCommandRunner* Runner() const { return Form->Runner(); }

    QTemporaryDir Dir;
    TScriptedPrompter Prompter;
    TScriptedPortLister Ports;
    TMatrixSim Sim;
    TSimFrameLog Log;
    std::unique_ptr<TForm1> Form;
};
