#pragma once

// Codes of the notifications the link controller sends to the main window
// (and the main window forwards to the search wizard).
enum TNotification {
    ntBytesReceived = 2024, // wParam: number of bytes delivered
    ntCommandLog = 2025,    // text: command log line
    ntTimeOut = 2026,       // no whole reply on the last try
    ntDump = 2028,          // text: receive position, received bytes or sent data
    ntDataInvalid = 2029,   // block transfer not opened, or a dump failed
    ntTransferDone = 2030,  // block transfer finished; firmware: identity, version
    ntPortError = 2031,     // port or socket failure during a transfer
    ntConnectFailed = 2032, // wParam: Connected at the time
    ntPartDeclined = 2034,  // wParam: part identity, lParam: part version
    ntPartProgress = 2035,  // wParam: part identity, lParam: percentage
    ntSendFailed = 2037,    // five tries without an accepted reply
    ntReboot = 2038,        // text; lParam 1 while waiting, 0 for the final text
    ntModule = 2039,        // discovery and configuration events
    ntSearchWizard = 3024,  // forwarded to the search wizard
    ntPingLog = 3025,       // text: outcome of a ping
};
