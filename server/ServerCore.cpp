#include "ServerCore.h"

#include "link/DeviceBackup.h"
#include "link/Notifications.h"
#include "link/QMCOMControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QStandardPaths>
#include <QTimer>

// The file the window uses: beside the program when it is there (a portable
// install), otherwise in the window's configuration folder for this user.
static QString DefaultSettingsPath()
{
    const QString beside = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QLatin1String(SettingsFile::FileName));
    if (QFileInfo(beside).isFile()) return beside;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("matrix-controller/") +
                                 QLatin1String(SettingsFile::FileName));
}

TServerCore::TServerCore(const TServerOptions& options, const TTiming& timing, QObject* parent)
    : QObject(parent), FOptions(options)
{
    TTiming t = timing;
    if (options.TimeoutMs > 0)
        t.PollLimit = TMatrixOps::PollLimitFor(options.TimeoutMs, t.PollTickMs);
    FLink = new TQMCOMControl(&FFlags, t, this);
    TMatrixOps::SetUpLink(FLink, options.Tcp, options.Serial);
    FOps = std::make_unique<TMatrixOps>(FLink, &FFlags);
    FQueue = new TRequestQueue(this);
    FRefreshTimer = new QTimer(this);
    FSettingsPath = options.SettingsPath.isEmpty() ? DefaultSettingsPath() : options.SettingsPath;
    FOps->SettingsPath = FSettingsPath;
    FWatcher = new QFileSystemWatcher(this);
    connect(FWatcher, &QFileSystemWatcher::fileChanged, this, [this] { LoadSettings(); });
    connect(FWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { LoadSettings(); });
    LoadSettings();
    connect(FLink, &TQMCOMControl::Notify, this,
            [this](int code, qintptr, qintptr, const QString&) {
                if (code == ntPortError || code == ntConnectFailed) NoteLink();
            });
    // A TCP peer that hangs up is a lost link now, not at the next command.
    connect(FLink, &TQMCOMControl::ReceiverAdvanced, this, [this] {
        if (FState.Link && !FLink->Connected()) NoteLink();
    });
    if (options.RefreshS > 0) {
        FRefreshTimer->setInterval(options.RefreshS * 1000);
        connect(FRefreshTimer, &QTimer::timeout, this, &TServerCore::Refresh);
        FRefreshTimer->start();
    }
}

TServerCore::~TServerCore() = default;

bool TServerCore::Start(QString* error)
{
    const TOpStatus st = Connect();
    if (!st.Ok()) {
        if (error) *error = st.Text();
        return false;
    }
    RefreshNow();
    return true;
}

void TServerCore::SetPower(int on)
{
    if (FState.Power == on) return;
    FState.Power = on;
    emit PowerChanged(on == 1);
}

void TServerCore::SetRouting(int output, int input)
{
    if (output < 1 || output > PortCount || input < 1) return;
    int& slot = FState.Routing[size_t(output - 1)];
    if (slot == input) return;
    slot = input;
    emit RoutingChanged(output, input);
}

void TServerCore::SetAudio(int input, int source)
{
    if (input < 1 || input > PortCount || source < 1) return;
    int& slot = FState.Audio[size_t(input - 1)];
    if (slot == source) return;
    slot = source;
    emit AudioChanged(input, source);
}

void TServerCore::SetSwitch(int n, bool on)
{
    if (FState.Switches[size_t(n)] == int(on)) return;
    FState.Switches[size_t(n)] = int(on);
    emit SwitchChanged(QLatin1String(::SwitchNames[n]), on);
}

void TServerCore::NoteLink()
{
    const bool connected = FLink->Connected();
    if (connected == FState.Link) return;
    FState.Link = connected;
    emit LinkChanged(connected);
}

void TServerCore::RefreshNow()
{
    FRefreshQueued = false;
    TDeviceState state;
    int power = -1;
    const TOpStatus st = FOps->Backup(&state, &power);
    if (power >= 0) SetPower(power);
    if (st.Ok()) Absorb(state);
    NoteLink();
}

void TServerCore::Refresh()
{
    if (FRefreshQueued) return;
    if (FQueue->Post([this] { RefreshNow(); })) FRefreshQueued = true;
}

static QJsonValue Known(int v)
{
    return v > 0 ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

QJsonObject TServerCore::RoutingJson() const
{
    QJsonObject routing;
    for (int n = 1; n <= PortCount; ++n)
        routing.insert(QString::number(n), Known(FState.Routing[size_t(n - 1)]));
    return routing;
}

QJsonObject TServerCore::SwitchesJson() const
{
    QJsonObject switches;
    for (int n = 0; n < 4; ++n) {
        const int v = FState.Switches[size_t(n)];
        switches.insert(QLatin1String(::SwitchNames[n]),
                        v < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(v == 1));
    }
    return switches;
}

QJsonObject TServerCore::StateJson() const
{
    QJsonObject audio;
    for (int n = 1; n <= PortCount; ++n)
        audio.insert(QString::number(n), Known(FState.Audio[size_t(n - 1)]));
    return QJsonObject{{QStringLiteral("routing"), RoutingJson()},
                       {QStringLiteral("power"), FState.Power < 0 ? QJsonValue(QJsonValue::Null)
                                                                  : QJsonValue(FState.Power == 1)},
                       {QStringLiteral("audio"), audio},
                       {QStringLiteral("switches"), SwitchesJson()},
                       {QStringLiteral("link"),
                        FState.Link ? QStringLiteral("connected") : QStringLiteral("lost")}};
}

QJsonObject TServerCore::TagsJson() const
{
    QJsonObject in, out;
    for (int n = 1; n <= PortCount; ++n) {
        in.insert(QString::number(n), FTags.In[size_t(n - 1)]);
        out.insert(QString::number(n), FTags.Out[size_t(n - 1)]);
    }
    return QJsonObject{{QStringLiteral("inputs"), in}, {QStringLiteral("outputs"), out}};
}

void TServerCore::LoadSettings()
{
    WatchSettings();
    TPortTags tags;
    std::array<TPreSetting, 8> presets{};
    if (QFileInfo(FSettingsPath).isFile()) {
        const TSettingsData d = SettingsFile::ReadSettings(FSettingsPath);
        presets = d.PreSettings;
        if (!FOptions.Serial.isEmpty()) {
            tags = SettingsFile::LoadPortTags(FSettingsPath, cmCOM, QString());
        } else {
            // The device entry whose IP is our host names the MAC the tags
            // are stored under.
            const QString host = FLink->DeviceIP();
            for (const QString& entry : d.TcpDevices) {
                if (SettingsFile::DeviceEntryField(entry, defIP).trimmed() != host) continue;
                tags = SettingsFile::LoadPortTags(
                    FSettingsPath, cmLAN, SettingsFile::DeviceEntryField(entry, defMAC).trimmed());
                break;
            }
        }
    } else {
        presets = SettingsFile::ReadSettings(QString()).PreSettings;
    }
    const bool tagsChanged = tags.In != FTags.In || tags.Out != FTags.Out;
    bool presetsChanged = false;
    for (size_t n = 0; n < presets.size(); ++n)
        presetsChanged |=
            presets[n].Name != FPreSettings[n].Name || presets[n].Values != FPreSettings[n].Values;
    FTags = tags;
    FPreSettings = presets;
    if (tagsChanged) emit TagsChanged();
    if (presetsChanged) emit PreSettingsChanged();
}

void TServerCore::WatchSettings()
{
    // The window saves by renaming a new file over the old one: watch the
    // folder too, and the file again whenever it reappears.
    const QFileInfo info(FSettingsPath);
    if (info.absoluteDir().exists() && !FWatcher->directories().contains(info.absolutePath()))
        FWatcher->addPath(info.absolutePath());
    if (info.isFile() && !FWatcher->files().contains(info.absoluteFilePath()))
        FWatcher->addPath(info.absoluteFilePath());
}
