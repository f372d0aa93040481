#pragma once

#include "MatrixOps.h"
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
class TQMCOMControl;

// The last known state of the matrix. -1 / 0 where nothing is known yet.
struct TServerState {
    int Power = -1;                              // 1 on, 0 off
    std::array<int, PortCount> Routing{};        // input on output n, 0 unknown
    std::array<int, PortCount> Audio{};          // source of input n, 0 unknown
    std::array<int, 4> Switches{-1, -1, -1, -1}; // ir, keys, apm, beeper
    bool Link = false;                           // connected
};

// One link to one matrix, shared by every front end (HTTP, WebSocket, MQTT).
// Work that needs the matrix goes through Queue()->Post(); inside a job, the
// operations below run the shared operations (src/ops) and keep the state
// cache from their typed results. Every change of state found or made is
// signalled once, whoever caused it.
class TServerCore : public QObject
{
    Q_OBJECT
public:
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

    // Inside a queued job only: the operations, as TMatrixOps offers them,
    // with the state cache and signals following what they confirmed.
    TOpStatus Connect();
    TOpStatus Status(TDeviceStatus* out);
    TOpStatus Power(int set, int* power);
    TOpStatus Routing(TRouting* out);
    TOpStatus Route(int input, int output, TRouting* out);
    TOpStatus RouteSeveral(const QMap<int, int>& routes, QList<int>* applied, TRouting* out);
    TOpStatus Audio(int input, int source, TAudio* out);
    TOpStatus Switch(TSwitch which, int set, bool* on);
    TOpStatus Presets(std::array<TPreSetting, 8>* out);
    TOpStatus ApplyPreset(int row, TPresetApplied* out);
    TOpStatus EdidRead(int output, TEdidRead* out);
    TOpStatus EdidWrite(const TCommandPacket& opening, const QByteArray& content);
    TOpStatus Backup(TDeviceState* out);
    TOpStatus Restore(const TDeviceState& state, bool dryRun, TRestoreResult* out);
    // Inside a queued job only: reads power, routing, audio and switches.
    void RefreshNow();
    // Queues a refresh unless one waits already.
    void Refresh();
    // The clean stop: every wait for the matrix ends now, and so does every
    // job still queued, instead of each running to its time-out.
    void Abort() { FFlags.Abort = true; }

signals:
    void RoutingChanged(int output, int input);
    void PowerChanged(bool on);
    void AudioChanged(int input, int source);
    void SwitchChanged(const QString& name, bool on);
    void LinkChanged(bool connected);
    void TagsChanged();
    void PreSettingsChanged();

private:
    // What an operation confirmed; then the link's state.
    TOpStatus Done(const TOpStatus& st);
    void Absorb(const TRouting& routing);
    void Absorb(const TAudio& audio);
    void Absorb(const TDeviceState& state);
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
    std::unique_ptr<TMatrixOps> FOps;
    TRequestQueue* FQueue;
    TServerState FState;
    QTimer* FRefreshTimer;
    bool FRefreshQueued = false;
    QString FSettingsPath;
    QFileSystemWatcher* FWatcher;
    TPortTags FTags;
    std::array<TPreSetting, 8> FPreSettings;
};
