#include "MatrixDevice.h"

using namespace SimWire;

#include <QDir>
#include <QFile>
#include <QJsonArray>

TMatrixDevice::TMatrixDevice() = default;

QByteArray TMatrixDevice::Reply(uint8_t group, uint8_t code, uint16_t p1, uint16_t p2, uint16_t p3,
                                uint16_t p4)
{
    return TSimFrame::Make(group, code, p1, p2, p3, p4);
}

QByteArray TMatrixDevice::Refusal(const TSimFrame& cmd)
{
    return Reply(cmd.Group, cmd.Code, StRefused, 0, cmd.P3, cmd.P4);
}

void TMatrixDevice::ResetLine()
{
    FIn.clear();
    FDataMode = TDataMode();
    FRead = TReadState();
}

// The TCP module's query and reset packets.
static constexpr int ModulePacketBytes = 32;

QList<QByteArray> TMatrixDevice::Feed(const QByteArray& bytes)
{
    QList<QByteArray> out;
    FIn += bytes;
    for (;;) {
        if (ModulePacket && ModulePacketStart && !FIn.isEmpty() && ModulePacketStart(FIn)) {
            if (FIn.size() < ModulePacketBytes) break;
            const QByteArray answer = ModulePacket(FIn.left(ModulePacketBytes));
            FIn.remove(0, ModulePacketBytes);
            if (!answer.isEmpty()) out << answer;
            continue;
        }
        // Find the start of a frame; anything before it is line noise.
        int start = int(FIn.indexOf("\xA5\x5B"));
        if (start < 0) {
            FIn = FIn.endsWith('\xA5') ? QByteArray("\xA5", 1) : QByteArray();
            break;
        }
        if (start > 0) FIn.remove(0, start);
        if (FIn.size() < FrameBytes) break;
        bool checksumOk = false;
        const TSimFrame header = TSimFrame::FromBytes(FIn.constData(), &checksumOk);
        if (FDataMode.Active && checksumOk && header.Group == FDataMode.Group &&
            header.Code == FDataMode.Code && (header.P1Lo() == 0xAA || header.P1Lo() == 0x56)) {
            const int len = qMin<int>(header.P2, BlockDataMax);
            const int total = FDataMode.Padded ? BlockBytes : 14 + len;
            if (FIn.size() < total) break;
            const QByteArray data = FIn.mid(14, len);
            const uint8_t dataSum = uint8_t(FIn[13]);
            const QByteArray raw = FIn.left(total);
            FIn.remove(0, total);
            ++FFramesReceived;
            if (!Silent()) {
                QByteArray r = HandleDataFrame(header, data, dataSum, raw);
                if (!r.isEmpty()) out << r;
            }
            continue;
        }
        FIn.remove(0, FrameBytes);
        ++FFramesReceived;
        if (!checksumOk || Silent()) continue;
        QByteArray r = HandleCommand(header);
        if (!r.isEmpty()) out << r;
    }
    return out;
}

QByteArray TMatrixDevice::HandleCommand(const TSimFrame& cmd)
{
    bool handled = false;
    QByteArray r = HandleBlockCommand(cmd, &handled);
    if (handled) return r;
    auto& s = FState;
    const uint16_t p1 = cmd.P1;
    switch (cmd.Group) {
    case 1:
        return HandleStatus(cmd);
    case 2:
        if (cmd.Code == RtGet && p1 >= 1 && p1 <= 4)
            return Reply(2, 1, p1, uint16_t(s.Route[p1 - 1]));
        if (cmd.Code == RtSet && p1 >= 1 && p1 <= 4 && cmd.P2 >= 1 && cmd.P2 <= 4) {
            s.Route[cmd.P2 - 1] = p1;
            return Reply(2, 3, p1, cmd.P2);
        }
        break;
    case 3:
        return HandleEdidSimple(cmd);
    case 4:
        if (cmd.Code == IrGet) return Reply(4, 4, p1, s.Ir ? 0xFF : 0x00);
        if (cmd.Code == IrSet && (p1 == On || p1 == Off)) {
            s.Ir = p1 == On;
            return Reply(4, 3, p1);
        }
        break;
    case 6:
        if (cmd.Code == AuGet && p1 >= 1 && p1 <= 4)
            return Reply(6, 6, p1, uint16_t(s.AudioSource[p1 - 1]));
        if (cmd.Code == AuSet && p1 >= 1 && p1 <= 4 && cmd.P2 >= 1 && cmd.P2 <= 3) {
            s.AudioSource[p1 - 1] = cmd.P2;
            return Reply(6, 5, p1, cmd.P2);
        }
        break;
    case 16:
        if (cmd.P3 != PowerGuard3 || cmd.P4 != PowerGuard4) break;
        if (cmd.Code == PwGet) return Reply(16, 1, p1, s.Power ? 0xFF : 0x00, cmd.P3, cmd.P4);
        if (cmd.Code == PwSet && (p1 == On || p1 == Off)) {
            s.Power = p1 == On;
            return Reply(16, 2, p1, 0, cmd.P3, cmd.P4);
        }
        break;
    case 128:
        if (cmd.Code == SyReboot) {
            ++s.Reboots;
            FSilentUntilMs = FNowMs + s.RebootSilenceMs;
            return Reply(128, 2, p1);
        }
        break;
    default:
        break;
    }
    return Refusal(cmd);
}

QByteArray TMatrixDevice::HandleStatus(const TSimFrame& cmd)
{
    auto& s = FState;
    const uint16_t p1 = cmd.P1;
    auto onOff = [](bool on) { return uint16_t(on ? 0xFF : 0x00); };
    auto setSwitch = [&](bool* target) {
        if (p1 != On && p1 != Off) return Refusal(cmd);
        *target = p1 == On;
        return Reply(1, cmd.Code, p1);
    };
    switch (cmd.Code) {
    case 1:
        return Reply(1, 1, 0x01);
    case 2:
        return Reply(1, 2, uint16_t(s.Inputs), uint16_t(s.Outputs));
    case 3:
        return Reply(1, 3, uint16_t(s.VersionMajor), uint16_t(s.VersionMinor));
    case 4:
        if (p1 >= 1 && p1 <= 4) return Reply(1, 4, p1, s.InputConnected[p1 - 1] ? 0x00 : 0xFF);
        break;
    case 5:
        if (p1 >= 1 && p1 <= 4) return Reply(1, 5, p1, s.OutputConnected[p1 - 1] ? 0x00 : 0xFF);
        break;
    case 10:
        return Reply(1, 10, p1, onOff(s.Apm));
    case 11:
        return setSwitch(&s.Apm);
    case 12:
        return Reply(1, 12, p1, onOff(s.Beeper));
    case 13:
        return setSwitch(&s.Beeper);
    case 14:
        return Reply(1, 14, p1, onOff(s.Keys));
    case 15:
        return setSwitch(&s.Keys);
    default:
        break;
    }
    return Refusal(cmd);
}

QByteArray TMatrixDevice::HandleEdidSimple(const TSimFrame& cmd)
{
    auto& s = FState;
    const uint16_t p1 = cmd.P1;
    const uint16_t p2 = cmd.P2;
    if (cmd.Code == EdControlMode) return Reply(3, 11, s.EdidDipSwitch ? 0x0F : 0xF0);
    if (s.EdidDipSwitch) return Refusal(cmd);
    auto modeOf = [](uint16_t word) -> int {
        // 0xF0nn: table code nn; 0xF100 / 0xF200: user memories.
        if (word == 0xF100) return 16;
        if (word == 0xF200) return 17;
        if ((word >> 8) == 0xF0 && (word & 0xFF) <= 17) return word & 0xFF;
        return -1;
    };
    auto copyFrom = [&](int output, int input) {
        s.InputEdid[size_t(input - 1)] = s.OutputEdid[size_t(output - 1)];
        s.InputEdidMode[size_t(input - 1)] = 19;
    };
    switch (cmd.Code) {
    case 8:
        if (p1 == EdidPrepare) return Reply(3, 8, 0x00);
        break;
    case 1:
        if (modeOf(p1) >= 1) {
            for (int& m : s.InputEdidMode)
                m = modeOf(p1);
            return Reply(3, 1, p1);
        }
        break;
    case 2:
        if (modeOf(p1) >= 1 && p2 >= 1 && p2 <= 4) {
            s.InputEdidMode[p2 - 1] = modeOf(p1);
            return Reply(3, 2, p1, p2);
        }
        break;
    case 9:
        if (p1 == Query) {
            for (int& m : s.InputEdidMode)
                m = 18;
            return Reply(3, 9, p1);
        }
        break;
    case 10:
        if (p1 >= 1 && p1 <= 4) {
            s.InputEdidMode[p1 - 1] = 18;
            return Reply(3, 10, p1);
        }
        break;
    case 3:
        if (p1 >= 1 && p1 <= 4 && s.OutputConnected[p1 - 1]) {
            for (int i = 1; i <= 4; ++i)
                copyFrom(p1, i);
            return Reply(3, 3, p1);
        }
        break;
    case 4:
        if (p1 >= 1 && p1 <= 4 && p2 >= 1 && p2 <= 4 && s.OutputConnected[p1 - 1]) {
            copyFrom(p1, p2);
            return Reply(3, 4, p1, p2);
        }
        break;
    default:
        break;
    }
    return Refusal(cmd);
}

bool TMatrixDevice::LoadEdids(const QString& folder)
{
    QDir dir(folder);
    const QStringList files = dir.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
    if (files.isEmpty()) return false;
    for (int i = 0; i < 4; ++i) {
        QFile f(dir.filePath(files[i % files.size()]));
        if (!f.open(QIODevice::ReadOnly)) return false;
        FState.OutputEdid[size_t(i)] = f.readAll();
    }
    for (int i = 0; i < 4; ++i)
        FState.InputEdid[size_t(i)] = FState.OutputEdid[size_t(i)];
    FState.UserEdid = {FState.OutputEdid[0], FState.OutputEdid[1]};
    return true;
}

static QJsonArray IntArray(const std::array<int, 4>& a)
{
    QJsonArray r;
    for (int v : a)
        r << v;
    return r;
}

static QJsonArray BoolArray(const std::array<bool, 4>& a)
{
    QJsonArray r;
    for (bool v : a)
        r << v;
    return r;
}

template <typename T, typename F> static void ReadArray(const QJsonValue& v, T* a, F conv)
{
    const QJsonArray arr = v.toArray();
    for (int i = 0; i < int(a->size()) && i < arr.size(); ++i)
        (*a)[size_t(i)] = conv(arr[i]);
}

QJsonObject TMatrixState::ToJson() const
{
    QJsonObject o;
    o[QStringLiteral("power")] = Power;
    o[QStringLiteral("inputs")] = Inputs;
    o[QStringLiteral("outputs")] = Outputs;
    o[QStringLiteral("version")] = QJsonArray{VersionMajor, VersionMinor};
    o[QStringLiteral("route")] = IntArray(Route);
    o[QStringLiteral("inputConnected")] = BoolArray(InputConnected);
    o[QStringLiteral("outputConnected")] = BoolArray(OutputConnected);
    o[QStringLiteral("ir")] = Ir;
    o[QStringLiteral("keys")] = Keys;
    o[QStringLiteral("apm")] = Apm;
    o[QStringLiteral("beeper")] = Beeper;
    o[QStringLiteral("audio")] = IntArray(AudioSource);
    o[QStringLiteral("edidDipSwitch")] = EdidDipSwitch;
    o[QStringLiteral("edidMode")] = IntArray(InputEdidMode);
    o[QStringLiteral("edidBlockSize")] = EdidBlockSize;
    o[QStringLiteral("edidWriteNotReady")] = EdidWriteNotReady;
    QJsonObject versions;
    for (auto it = FirmwareVersions.cbegin(); it != FirmwareVersions.cend(); ++it)
        versions[QString::number(it.key())] = it.value();
    o[QStringLiteral("firmwareVersions")] = versions;
    o[QStringLiteral("declineSameOrOlder")] = DeclineSameOrOlder;
    o[QStringLiteral("declineAfterFrames")] = DeclineAfterFrames;
    o[QStringLiteral("rebootSilenceMs")] = RebootSilenceMs;
    o[QStringLiteral("reboots")] = Reboots;
    return o;
}

void TMatrixState::FromJson(const QJsonObject& o)
{
    Power = o.value(QStringLiteral("power")).toBool(Power);
    Inputs = o.value(QStringLiteral("inputs")).toInt(Inputs);
    Outputs = o.value(QStringLiteral("outputs")).toInt(Outputs);
    const QJsonArray v = o.value(QStringLiteral("version")).toArray();
    if (v.size() == 2) {
        VersionMajor = v[0].toInt(VersionMajor);
        VersionMinor = v[1].toInt(VersionMinor);
    }
    auto toInt = [](const QJsonValue& x) { return x.toInt(); };
    auto toBool = [](const QJsonValue& x) { return x.toBool(); };
    ReadArray(o.value(QStringLiteral("route")), &Route, toInt);
    ReadArray(o.value(QStringLiteral("inputConnected")), &InputConnected, toBool);
    ReadArray(o.value(QStringLiteral("outputConnected")), &OutputConnected, toBool);
    Ir = o.value(QStringLiteral("ir")).toBool(Ir);
    Keys = o.value(QStringLiteral("keys")).toBool(Keys);
    Apm = o.value(QStringLiteral("apm")).toBool(Apm);
    Beeper = o.value(QStringLiteral("beeper")).toBool(Beeper);
    ReadArray(o.value(QStringLiteral("audio")), &AudioSource, toInt);
    EdidDipSwitch = o.value(QStringLiteral("edidDipSwitch")).toBool(EdidDipSwitch);
    ReadArray(o.value(QStringLiteral("edidMode")), &InputEdidMode, toInt);
    EdidBlockSize = qBound(1, o.value(QStringLiteral("edidBlockSize")).toInt(EdidBlockSize), 256);
    EdidWriteNotReady = o.value(QStringLiteral("edidWriteNotReady")).toBool(EdidWriteNotReady);
    const QJsonObject versions = o.value(QStringLiteral("firmwareVersions")).toObject();
    for (auto it = versions.begin(); it != versions.end(); ++it) {
        bool ok = false;
        const int identity = it.key().toInt(&ok);
        if (ok) FirmwareVersions[identity] = it.value().toInt();
    }
    DeclineSameOrOlder = o.value(QStringLiteral("declineSameOrOlder")).toBool(DeclineSameOrOlder);
    DeclineAfterFrames = o.value(QStringLiteral("declineAfterFrames")).toInt(DeclineAfterFrames);
    RebootSilenceMs = qMax(0, o.value(QStringLiteral("rebootSilenceMs")).toInt(RebootSilenceMs));
    Reboots = o.value(QStringLiteral("reboots")).toInt(Reboots);
}
