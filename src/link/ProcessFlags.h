#pragma once

// The process-wide flags shared by the link controller and the windows. One
// instance lives as long as the main window and is handed to whoever needs it.
struct TProcessFlags {
    bool Abort = false;          // ends every wait; set when the window may close
    bool Idle = true;            // no command in flight
    bool RoutingFailure = true;  // a routing chain stops on it
    bool Blink = true;           // true: normal status colours, false: alarm
};
