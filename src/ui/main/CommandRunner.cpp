#include "CommandRunner.h"

#include "Prompter.h"
#include "StatusBar.h"
#include "link/GuardedCommand.h"
#include "link/QMCOMControl.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

TCommandRunner::TCommandRunner(TProcessFlags* flags, TQMCOMControl* link, TStatusBar* statusBar,
                               TPrompter* prompter, const TTiming& timing, QObject* parent)
    : QObject(parent), FFlags(flags), FLink(link), FStatusBar(statusBar), FPrompter(prompter),
      FTiming(timing)
{
}

bool TCommandRunner::EnsureConnected()
{
    if (!FLink->Connected() && FConnectAction) FConnectAction();
    return FLink->Connected();
}

TCommandReply TCommandRunner::RunCommand(const QString& statusText, uint8_t group, uint8_t code,
                                         uint16_t p1, uint16_t p2, uint16_t p3, uint16_t p4)
{
    TGuardedCommand guarded;
    guarded.Link = FLink;
    guarded.Flags = FFlags;
    guarded.Connect = [this] {
        if (FConnectAction) FConnectAction();
    };
    guarded.Status = [this](int panel, const QString& text) { ShowStatus(panel, text); };
    const TCommandReply reply =
        guarded.Run(statusText, TCommandPacket::Make(group, code, p1, p2, p3, p4), &FLastRefused);
    FLastOk = reply.Ok != 0;
    return reply;
}

TCommandReply TCommandRunner::RunCommand(const TCatalogueCommand& c)
{
    const TCommandPacket& p = c.Packet;
    return RunCommand(c.StatusText, p.Group, p.Code, p.P1, p.P2, p.P3, p.P4);
}

TCommandReply TCommandRunner::RunPoweredCommand(const QString& statusText, uint8_t group,
                                                uint8_t code, uint16_t p1, uint16_t p2, uint16_t p3,
                                                uint16_t p4)
{
    if (FPowerFlag == 0) {
        FPrompter->Information(QStringLiteral("System is power off, please turn it on first."));
        return TCommandReply();
    }
    return RunCommand(statusText, group, code, p1, p2, p3, p4);
}

TCommandReply TCommandRunner::RunPoweredCommand(const TCatalogueCommand& c)
{
    const TCommandPacket& p = c.Packet;
    return RunPoweredCommand(c.StatusText, p.Group, p.Code, p.P1, p.P2, p.P3, p.P4);
}

void TCommandRunner::ShowStatus(int panel, const QString& text, bool blink)
{
    if (panel != 2) {
        FStatusBar->SetPanelText(panel, text);
        return;
    }
    FFlags->Blink = true;
    if (!blink) {
        // Painted on the next pass of the event loop, which a command waiting
        // for its reply turns at once: a text replaced before then ("Done",
        // then the next command's text) costs the line no paint.
        FStatusBar->SetPanelText(2, text);
        FStatusBar->update(FStatusBar->PanelRect(2));
        return;
    }
    if (FFlags->Abort) return;
    FStatusBar->SetPanelText(2, text);
    FStatusBar->repaint();
    Pause(FTiming.BlinkMs);
    for (int i = 0; i < FTiming.BlinkCount; ++i) {
        FFlags->Blink = !FFlags->Blink;
        FStatusBar->SetPanelText(2, text);
        FStatusBar->repaint();
        Pause(FTiming.BlinkMs);
    }
}

QString TCommandRunner::StatusText(int panel) const
{
    return FStatusBar->PanelText(panel);
}

void TCommandRunner::Pause(int ms)
{
    PauseNs(qint64(ms) * 1000000);
}

void TCommandRunner::PauseAfterReply(int ms)
{
    // A command that got no answer pauses from now.
    const qint64 since = FLastOk ? FLink->NsSinceFrame() : 0;
    PauseNs(qint64(ms) * 1000000 - qMax<qint64>(0, since));
}

void TCommandRunner::PauseNs(qint64 ns)
{
    if (ns <= 0) return;
    ++FBlocking;
    // Timers count whole milliseconds and may fire a little early or late:
    // the deadline decides, the last part of a millisecond on zero timers.
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (qint64 left = ns; left > 0; left = ns - clock.nsecsElapsed()) {
        timer.start(int(left / 1000000));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    --FBlocking;
}
