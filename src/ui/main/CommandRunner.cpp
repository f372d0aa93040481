#include "CommandRunner.h"

#include "Prompter.h"
#include "StatusBar.h"
#include "link/GuardedCommand.h"
#include "link/QMCOMControl.h"

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
    return guarded.Run(statusText, TCommandPacket::Make(group, code, p1, p2, p3, p4),
                       &FLastRefused);
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
        FStatusBar->SetPanelText(2, text);
        FStatusBar->repaint();
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
    if (ms <= 0) return;
    ++FBlocking;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    --FBlocking;
}
