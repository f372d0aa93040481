// TForm1: what the window does with the link controller's notifications.
#include "Main.h"

#include "CommandRunner.h"
#include "FirmwarePanel.h"
#include "link/QMCOMControl.h"
#include "ui/dialogs/Search.h"

void TForm1::OnNotify(int code, qintptr wParam, qintptr lParam, const QString& text)
{
    auto fail = [this](const QString& message) {
        FRunner->ShowStatus(2, message, true);
        FRunner->ShowStatus(3, QString());
    };
    const bool com = FLink->ControlMode() == cmCOM;
    switch (code) {
    case ntTimeOut:
        fail(QStringLiteral("Time out!"));
        break;
    case ntDataInvalid:
        fail(QStringLiteral("Data invalid!"));
        break;
    case ntPortError:
        fail(com ? QStringLiteral("COM access failed!") : QStringLiteral("TCP control failed!"));
        break;
    case ntConnectFailed: {
        const int connected = FLink->Connected() ? 1 : 0;
        if (com)
            fail(QLatin1String(Options::PortAction[connected]) + QStringLiteral(" COM [") +
                 FLink->ComPort() + QStringLiteral("] failed"));
        else
            fail(QLatin1String(Options::LinkAction[connected]) + QLatin1Char(' ') +
                 FLink->DeviceIP() + QStringLiteral(" failed"));
        break;
    }
    case ntPartDeclined:
    case ntPartProgress:
        FFirmware->OnFirmwareNotify(code, wParam, lParam, text);
        break;
    case ntSendFailed:
        fail(QStringLiteral("Send data failed!"));
        break;
    case ntReboot:
        FFirmware->OnFirmwareNotify(code, wParam, lParam, text);
        break;
    case ntModule:
        if (lParam == 0) {
            if (FDialogs.Search.Made())
                FDialogs.Search->WizardNotify(ntSearchWizard, wParam, lParam, text);
        } else if (lParam == 1) {
            FRunner->ShowStatus(2, text);
        }
        break;
    default: // 2024, 2025, 2028, 2030: protocol traffic the window does not show
        break;
    }
}
