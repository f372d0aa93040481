#pragma once

#include "link/Commands.h"
#include "link/ProcessFlags.h"
#include "link/Timing.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class TQMCOMControl;
class TStatusBar;
class TPrompter;

// The command wrapper every main-window action talks to the matrix through:
// connects on demand, refuses while another command is in flight, shows the
// status texts, and owns the status panel writer with its failure blink.
class TCommandRunner : public QObject
{
    Q_OBJECT
public:
    TCommandRunner(TProcessFlags* flags, TQMCOMControl* link, TStatusBar* statusBar,
                   TPrompter* prompter, const TTiming& timing, QObject* parent = nullptr);

    // The Connect action of the connection panel, run when a command finds the
    // link disconnected.
    void SetConnectAction(std::function<void()> action) { FConnectAction = std::move(action); }
    // Runs the Connect action when the link is down; true when it is up.
    bool EnsureConnected();

    TCommandReply RunCommand(const QString& statusText, uint8_t group, uint8_t code,
                             uint16_t p1 = 0, uint16_t p2 = 0, uint16_t p3 = 0, uint16_t p4 = 0);
    TCommandReply RunCommand(const TCatalogueCommand& command);
    // As RunCommand, but refused with a message while the matrix is off.
    TCommandReply RunPoweredCommand(const QString& statusText, uint8_t group, uint8_t code,
                                    uint16_t p1 = 0, uint16_t p2 = 0, uint16_t p3 = 0,
                                    uint16_t p4 = 0);
    TCommandReply RunPoweredCommand(const TCatalogueCommand& command);

    // Writes status panel 1..5. A blinking panel 2 text flashes for
    // (BlinkCount + 1) x BlinkMs and stays on red; the call returns afterwards.
    void ShowStatus(int panel, const QString& text, bool blink = false);
    QString StatusText(int panel) const;
    // Waits without taking user input; timers and the link keep running.
    void Pause(int ms);
    // The same, counted from the last byte of the last command's reply, so
    // that what the window does with the reply runs inside the pause.
    void PauseAfterReply(int ms);
    // True while a blink or pause holds the window.
    bool InBlockingWait() const { return FBlocking > 0; }

    // True when the last RunCommand sent nothing because another command was
    // in flight or the window is closing: its caller must leave everything as
    // it was, since the matrix said nothing.
    bool LastRefused() const { return FLastRefused; }

    // 1 when the last power status reply said on, else 0.
    uint8_t PowerFlag() const { return FPowerFlag; }
    void SetPowerFlag(uint8_t on) { FPowerFlag = on ? 1 : 0; }

    TProcessFlags* Flags() const { return FFlags; }
    TQMCOMControl* Link() const { return FLink; }
    TPrompter* Prompter() const { return FPrompter; }
    TStatusBar* StatusBar() const { return FStatusBar; }
    const TTiming& Timing() const { return FTiming; }

private:
    TProcessFlags* FFlags;
    TQMCOMControl* FLink;
    TStatusBar* FStatusBar;
    TPrompter* FPrompter;
    TTiming FTiming;
    std::function<void()> FConnectAction;
    uint8_t FPowerFlag = 0;
    int FBlocking = 0;
    bool FLastOk = false;

    void PauseNs(qint64 ns);
    bool FLastRefused = false;
};
