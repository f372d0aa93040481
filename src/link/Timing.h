#pragma once

// Every wait, pause and count the program uses. The product always runs with
// the defaults; tests shrink them so that a five-try time-out takes
// milliseconds instead of 25 seconds.
struct TTiming {
    int PollTickMs = 10;          // one poll of a wait loop
    int PollLimit = 500;          // polls before a reply wait times out
    int Tries = 5;                // tries of a command or block
    int RejectPauseMs = 5;        // pause after a rejected reply
    int FirmwareRejectPauseMs = 50; // pause after a rejected firmware frame
    int PreparePauseMs = 300;     // pauses around the erase preparation commands
    int RebootSpins = 100;        // spinner steps before the reboot probe
    int RebootSpinMs = 100;       // one spinner step
    int RebootProbeTries = 10;    // probes after the reboot
    int RebootProbeDelayPolls = 10; // polls between two spinner steps while probing
    int ConnectTimeoutMs = 3000;  // TCP connect time-out
    int BlinkMs = 350;            // one phase of the failure blink
    int BlinkCount = 5;           // inversions of the failure blink
    int ConnectPauseMs = 100;     // pause at the end of the Connect action
    int StatusPauseMs = 5;        // pause after each input connection query
    int SearchStepMs = 100;       // one step of a module search
    int TimerMs = 1000;           // main window timer
    int HttpHeadMs = 10000;       // matrix-server: a request head, from its first byte
    int SearchSteps = 30;         // steps of one search or configuration pass
    int SearchPasses = 5;         // probes of a module search
    int ConfigPasses = 20;        // passes a configuration waits for its answer
    int ModuleReplyCycles = 10;   // polls of the reply check after each pass
    int ConfigSendPauseMs = 50;   // between the broadcast and the direct request
    int PingTimeOutMs = 3000;     // one ICMP echo
    int PingAttemptMs = 3500;     // one ping attempt
    int PingAttempts = 3;         // attempts before a module counts as unreachable
    int LateReplyWindowMs = 30000; // how long an unanswered try may still be answered
    int MqttRetryFirstMs = 1000;  // first reconnect delay to the broker, doubled per failure
    int MqttRetryMaxMs = 30000;   // longest reconnect delay
    int MqttMiscMs = 1000;        // keep-alive bookkeeping of the broker connection
    int MqttKeepAliveS = 30;      // keep-alive interval agreed with the broker
    int MqttStopFlushMs = 1000;   // longest wait for the last messages at a clean stop
    int MqttTakeoverWindowMs = 10000; // two broker connections closed this soon after their
                                      // connect: another client took our session
    int MqttAliveMs = 5000;       // "offline" said again this often while the matrix is away,
                                  // so that a second server with our id sees we live

    // Timings for tests: same counts where they matter, tiny durations.
    static TTiming Fast()
    {
        TTiming t;
        t.PollTickMs = 1;
        t.PollLimit = 50;
        t.RejectPauseMs = 1;
        t.FirmwareRejectPauseMs = 1;
        t.PreparePauseMs = 1;
        t.RebootSpins = 3;
        t.RebootSpinMs = 1;
        t.ConnectTimeoutMs = 500;
        t.BlinkMs = 1;
        t.ConnectPauseMs = 1;
        t.StatusPauseMs = 1;
        t.SearchStepMs = 1;
        t.HttpHeadMs = 1000;
        t.ConfigSendPauseMs = 1;
        t.PingTimeOutMs = 200;
        t.PingAttemptMs = 250;
        t.MqttRetryFirstMs = 50;
        t.MqttRetryMaxMs = 400;
        t.MqttMiscMs = 50;
        return t;
    }
};
