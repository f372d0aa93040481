#pragma once

#include "RequestQueue.h"
#include "ServerOptions.h"
#include "link/Commands.h"
#include "link/ProcessFlags.h"
#include "link/Timing.h"
#include "settings/SettingsFile.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <array>
#include <memory>

class QFileSystemWatcher;
class QTimer;
class TCli;
class TQMCOMControl;

// The last known state of the matrix. -1 / 0 where nothing is known yet.
struct TServerState {
    int Power = -1;                              // 1 on, 0 off
    std::array<int, PortCount> Routing{};        // input on output n, 0 unknown
    std::array<int, PortCount> Audio{};          // source of input n, 0 unknown
    std::array<int, 4> Switches{-1, -1, -1, -1}; // ir, keys, apm, beeper
    bool Link = false;                           // connected
};

// How a command ended, as a front end reports it.
enum TResultKind {
    rkOk,
    rkBadInput,   // the request itself is wrong (HTTP 400)
    rkPowerOff,   // "System is power off, please turn it on first." (409)
    rkRefused,    // the matrix or the settings refuse it in their state (409)
    rkLinkFailed, // connect, port or send failure, data invalid (502)
    rkTimeOut     // "Time out!" (504)
};

struct TCommandResult {
    TResultKind Kind = rkOk;
    QJsonObject Doc; // the matrixctl --json document; "error" on failure
    QString Error;
    bool Ok() const { return Kind == rkOk; }
};

// One link to one matrix, shared by every front end (HTTP, WebSocket, MQTT).
// Work that needs the matrix goes through Queue()->Post(); inside a job,
// Run() runs a matrixctl command with matrixctl's rules and documents.
// Every change of state found or made is signalled once, whoever caused it.
class TServerCore : public QObject
{
    Q_OBJECT
public:
    static const char* const SwitchNames[4]; // "ir", "keys", "apm", "beeper"

    explicit TServerCore(const TServerOptions& options, const TTiming& timing = TTiming(),
                         QObject* parent = nullptr);
    ~TServerCore() override;

    // Connects the link and reads the state; false with the failure text.
    bool Start(QString* error);

    const TServerOptions& Options() const { return FOptions; }
    TRequestQueue* Queue() { return FQueue; }
    TQMCOMControl* Link() { return FLink; }
    const TServerState& State() const { return FState; }
    // {"routing": {"1": 3, ...}, "power": true, "audio": {...}, "switches": {...},
    //  "link": "connected"}; null for what is not known yet.
    QJsonObject StateJson() const;
    QJsonObject RoutingJson() const;
    QJsonObject SwitchesJson() const;

    QString SettingsPath() const { return FSettingsPath; }
    TPortTags Tags() const { return FTags; }
    std::array<TPreSetting, 8> PreSettings() const { return FPreSettings; }
    // {"inputs": {"1": "Blu-ray", ...}, "outputs": {...}}
    QJsonObject TagsJson() const;

    // Inside a queued job only: one matrixctl command ("route", {"3", "2"}),
    // its document and outcome; the state cache and signals follow it.
    TCommandResult Run(const QString& command, const QStringList& args);
    // Inside a queued job only: any work on the TCli (rc as matrixctl's).
    TCommandResult RunWith(const std::function<int(TCli&)>& work);
    // Inside a queued job only: reads power, routing, audio and switches.
    void RefreshNow();
    // Queues a refresh unless one waits already.
    void Refresh();
    // The clean stop: every wait for the matrix ends now, and so does every
    // job still queued, instead of each running to its time-out.
    void Abort() { FFlags.Abort = true; }

    static TResultKind KindOf(const QString& error);

signals:
    void RoutingChanged(int output, int input);
    void PowerChanged(bool on);
    void AudioChanged(int input, int source);
    void SwitchChanged(const QString& name, bool on);
    void LinkChanged(bool connected);
    void TagsChanged();
    void PreSettingsChanged();

private:
    void Absorb(const QJsonObject& doc);
    void SetRouting(int output, int input);
    void SetPower(int on);
    void SetAudio(int input, int source);
    void SetSwitch(int n, bool on);
    void NoteLink();
    void LoadSettings();
    void WatchSettings();

    TServerOptions FOptions;
    TProcessFlags FFlags;
    TQMCOMControl* FLink;
    std::unique_ptr<TCli> FCli;
    TRequestQueue* FQueue;
    TServerState FState;
    QTimer* FRefreshTimer;
    bool FRefreshQueued = false;
    QString FSettingsPath;
    QFileSystemWatcher* FWatcher;
    TPortTags FTags;
    std::array<TPreSetting, 8> FPreSettings;
};
