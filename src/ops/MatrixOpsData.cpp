// Pre-settings, EDID, backup and restore, and the TCP module: the operations
// that move more than one value.
#include "MatrixOps.h"

#include "link/Constants.h"
#include "link/EdidData.h"
#include "link/ModuleRecords.h"
#include "link/QMCOMControl.h"

#include <QFileInfo>

TOpStatus TMatrixOps::Presets(std::array<TPreSetting, 8>* out)
{
    TOpStatus st;
    if (!QFileInfo(SettingsPath).isFile()) {
        Fail(&st, oeRefused, QStringLiteral("Unable to read %1").arg(SettingsPath));
        return st;
    }
    QString error;
    const TSettingsData d = SettingsFile::ReadSettings(SettingsPath, &error);
    if (!error.isEmpty()) {
        Fail(&st, oeRefused, error);
        return st;
    }
    *out = d.PreSettings;
    return st;
}

TOpStatus TMatrixOps::ApplyPreset(int row, TPresetApplied* out)
{
    *out = TPresetApplied();
    if (row < 1 || row > 8) {
        TOpStatus st;
        Fail(&st, oeBadInput, QStringLiteral("no such pre-setting"));
        return st;
    }
    std::array<TPreSetting, 8> presets;
    TOpStatus st = Presets(&presets);
    if (!st.Ok()) return st;
    const TPreSetting& p = presets[size_t(row - 1)];
    std::array<int, PortCount> inputs{};
    for (int n = 1; n <= PortCount; ++n) {
        const QString text = p.Values.value(n - 1);
        bool isNumber = false;
        const int v = text.toInt(&isNumber);
        if (!isNumber || v < 1 || v > PortCount) {
            Fail(&st, oeRefused,
                 QStringLiteral("Pre-setting %1 (%2): the input \"%3\" for Output%4 is not an "
                                "input of the matrix (1 to 4).")
                     .arg(QString::number(row), p.Name, text, QString::number(n)));
            return st;
        }
        inputs[size_t(n - 1)] = v;
    }
    if (!PoweredOn(&st)) return st;
    out->Number = row;
    out->Name = p.Name;
    for (int o = 1; o <= PortCount; ++o) {
        TCommandReply r;
        if (!Run(Catalogue::RouteSet(inputs[size_t(o - 1)], o), &r, &st)) return st;
        out->Routing.Input[size_t(o - 1)] = inputs[size_t(o - 1)];
    }
    return st;
}

static const char* const DipSwitchText = "Set \"DIP Switch\" on side of the Matrix to \"1111\" to "
                                         "enter EDID Software control mode.";

bool TMatrixOps::EdidSoftwareControl(TOpStatus* st)
{
    TCommandReply mode;
    if (!RunPowered(Catalogue::EdidControlMode(), &mode, st)) return false;
    if (mode.P1Lo() == EdidDipSwitchMode) {
        Fail(st, oeRefused, QLatin1String(DipSwitchText));
        return false;
    }
    return true;
}

bool TMatrixOps::OutputConnected(int output, TOpStatus* st)
{
    TCommandReply connection;
    if (!Run(Catalogue::OutputConnection(output, true), &connection, st)) return false;
    if (connection.P2Lo() != 0x00) {
        Fail(st, oeRefused, QStringLiteral("EDID can not be read because output not connected."));
        Fail(st, oeRefused, QStringLiteral("Output%1").arg(output));
        return false;
    }
    return true;
}

TOpStatus TMatrixOps::EdidRead(int output, TEdidRead* out)
{
    TOpStatus st;
    *out = TEdidRead();
    if (output < 1 || output > PortCount) {
        Fail(&st, oeBadInput, QStringLiteral("no such output"));
        return st;
    }
    if (!PoweredOn(&st) || !OutputConnected(output, &st)) return st;
    if (FFlags->Abort || !EnsureConnected(&st)) {
        if (st.Ok()) st.Kind = oeRefused;
        return st;
    }
    ClearFailure();
    TCommandReply reply;
    FLink->ReadBlocks(Cmd::EdidRead.Packet(uint16_t(0xF000 + output)), reply);
    if (!reply.Ok) {
        FailLink(&st, QStringLiteral("Read failed"));
        return st;
    }
    if (!EdidData::ContentOk(FLink->EdidReadBuffer(), &out->Edid)) {
        Fail(&st, oeRefused, QStringLiteral("EDID content error. Please try to read again."));
        out->Edid.clear();
    }
    return st;
}

TOpStatus TMatrixOps::EdidWrite(const TCommandPacket& opening, const QByteArray& content)
{
    TOpStatus st;
    QByteArray edid;
    if (!EdidData::ContentOk(content, &edid)) {
        Fail(&st, oeBadInput, QStringLiteral("EDID content error."));
        return st;
    }
    if (!EdidSoftwareControl(&st)) return st;
    TCommandReply prepared;
    if (!RunPowered(Catalogue::EdidPrepare(QStringLiteral("Downloading...")), &prepared, &st))
        return st;
    if (FFlags->Abort || !EnsureConnected(&st)) {
        if (st.Ok()) st.Kind = oeRefused;
        return st;
    }
    ClearFailure();
    FLink->EdidDownloadBuffer() = edid;
    TCommandReply reply;
    FLink->WriteBlocks(opening, reply);
    if (!reply.Ok) FailLink(&st, QStringLiteral("Download failed"));
    return st;
}

TOpStatus TMatrixOps::EdidMode(int input, int mode)
{
    TOpStatus st;
    const QStringList names = EdidData::ModeListNames();
    if (input < 0 || input > PortCount || mode <= 0 || mode >= names.size()) {
        Fail(&st, oeBadInput, QStringLiteral("no such input or EDID mode"));
        return st;
    }
    if (!EdidSoftwareControl(&st)) return st;
    const QString setting = QStringLiteral("Setting...");
    TCommandReply prepared;
    if (!Run(Catalogue::EdidPrepare(setting), &prepared, &st)) return st;
    TCommandPacket p;
    if (mode == names.size() - 1) {
        p = input == 0 ? Cmd::EdidDefaultAll.Packet(QueryParam)
                       : Cmd::EdidDefaultOne.Packet(uint16_t(input));
    } else {
        const uint16_t word = EdidData::ModeWord(names, mode);
        p = input == 0 ? Cmd::EdidModeAll.Packet(word)
                       : Cmd::EdidModeOne.Packet(word, uint16_t(input));
    }
    TCommandReply reply;
    Run({p, setting}, &reply, &st);
    return st;
}

TOpStatus TMatrixOps::EdidCopy(int output, int input)
{
    TOpStatus st;
    if (output < 1 || output > PortCount || input < 0 || input > PortCount) {
        Fail(&st, oeBadInput, QStringLiteral("no such input or output"));
        return st;
    }
    if (!EdidSoftwareControl(&st) || !OutputConnected(output, &st)) return st;
    const QString copying = QStringLiteral("Copying...");
    TCommandReply prepared;
    if (!Run(Catalogue::EdidPrepare(copying), &prepared, &st)) return st;
    const TCommandPacket p = input == 0
                                 ? Cmd::EdidCopyAll.Packet(uint16_t(output))
                                 : Cmd::EdidCopyOne.Packet(uint16_t(output), uint16_t(input));
    TCommandReply reply;
    Run({p, copying}, &reply, &st);
    return st;
}

TOpStatus TMatrixOps::Backup(TDeviceState* out, int* power)
{
    TOpStatus st;
    TDeviceBackup backup(
        [this, &st](const TCatalogueCommand& c, TCommandReply* r) { return Run(c, r, &st); });
    int seen = -1;
    backup.PowerState = [&] { return seen = QueryPower(&st); };
    if (power) *power = -1;
    const bool ok = backup.Read(out);
    if (power) *power = seen;
    if (!ok && !backup.Error().isEmpty())
        Fail(&st, seen == 0 ? oePowerOff : oeRefused, backup.Error());
    return st;
}

TOpStatus TMatrixOps::Restore(const TDeviceState& state, bool dryRun, TRestoreResult* out,
                              const std::function<void(const TRestoreStep&)>& step)
{
    TOpStatus st;
    *out = TRestoreResult();
    out->DryRun = dryRun;
    if (dryRun) {
        out->Steps = TDeviceBackup::RestoreSteps(state);
        if (step)
            for (const TRestoreStep& s : out->Steps)
                step(s);
        return st;
    }
    TDeviceBackup backup(
        [this, &st](const TCatalogueCommand& c, TCommandReply* r) { return Run(c, r, &st); });
    int seen = -1;
    backup.PowerState = [&] { return seen = QueryPower(&st); };
    const bool ok = backup.Restore(state, [&](const TRestoreStep& s) {
        out->Steps << s;
        if (step) step(s);
    });
    if (!ok && !backup.Error().isEmpty())
        Fail(&st, seen == 0 ? oePowerOff : oeRefused, backup.Error());
    return st;
}

TOpStatus TMatrixOps::FirmwareUpgrade(const QString& path, const TFirmwareUpgrade::THooks& hooks)
{
    TOpStatus st;
    TFirmwareUpgrade upgrade(FLink, FFlags);
    upgrade.Hooks = hooks;
    upgrade.Hooks.Failure = [&](const QString& line) {
        if (hooks.Failure) hooks.Failure(line);
        Fail(&st, FLastFailure.isEmpty() ? oeRefused : FLastKind, line);
    };
    ClearFailure();
    if (upgrade.Run(path)) return st;
    if (!FLastFailure.isEmpty())
        Fail(&st, FLastKind, FLastFailure);
    else if (st.Ok())
        st.Kind = oeRefused;
    return st;
}

bool TMatrixOps::ModuleExchange(const QByteArray& request, QByteArray* answer, TOpStatus* st)
{
    if (!EnsureConnected(st)) return false;
    ClearFailure();
    FLink->LDCDTransaction(request, *answer);
    return answer->at(LDCD::Size) != 0;
}

TOpStatus TMatrixOps::ModuleQuery(TModuleInfo* out)
{
    TOpStatus st;
    QByteArray request(LDCD::Size, '\0');
    request[16] = char(LDCD::Query);
    QByteArray a;
    if (!ModuleExchange(request, &a, &st)) {
        if (!FLastFailure.isEmpty()) Fail(&st, FLastKind, FLastFailure);
        Fail(&st, oeRefused, QStringLiteral("Query TCP Module failed"));
        return st;
    }
    const auto* b = reinterpret_cast<const uint8_t*>(a.constData());
    out->Version = QStringLiteral("%1.%2").arg(b[17]).arg(b[18]);
    out->Dhcp = b[19] != 0;
    out->Ip = ModuleRecord::IpText(b + 20);
    return st;
}

TOpStatus TMatrixOps::ModuleReset()
{
    TOpStatus st;
    QByteArray request(LDCD::Size, '\0');
    request[16] = char(LDCD::Reset);
    std::array<uint8_t, 4> ip{};
    ModuleRecord::IpBytes(QString::fromLatin1(DefaultModuleIP), &ip);
    for (int i = 0; i < 4; ++i)
        request[20 + i] = char(ip[size_t(i)]);
    QByteArray a;
    if (!ModuleExchange(request, &a, &st)) {
        if (!FLastFailure.isEmpty()) Fail(&st, FLastKind, FLastFailure);
        Fail(&st, oeRefused, QStringLiteral("Reset Default failed"));
    }
    return st;
}
