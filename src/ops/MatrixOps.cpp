#include "MatrixOps.h"

#include "link/Constants.h"
#include "link/Notifications.h"
#include "link/QMCOMControl.h"

#include <QRegularExpression>

const char* const SwitchNames[SwitchCount] = {"ir", "keys", "apm", "beeper"};

uint16_t ParseNumber(const QString& text, uint32_t min, uint32_t max, const char* what)
{
    // One syntax everywhere: decimal or 0x-hex digits, nothing else (no sign,
    // no blanks).
    static const QRegularExpression syntax(QStringLiteral("^(0[xX][0-9A-Fa-f]{1,8}|[0-9]{1,10})$"));
    bool ok = syntax.match(text).hasMatch();
    qulonglong v = 0;
    if (ok)
        v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                ? text.mid(2).toULongLong(&ok, 16)
                : text.toULongLong(&ok, 10);
    if (!ok || v < min || v > max)
        throw EUsage(QStringLiteral("bad %1 '%2' (want %3..%4, decimal or 0x-hex)")
                         .arg(QLatin1String(what), text)
                         .arg(min)
                         .arg(max));
    return uint16_t(v);
}

void TMatrixOps::SetUpLink(TQMCOMControl* link, const QString& tcp, const QString& serial)
{
    if (tcp.isEmpty() == serial.isEmpty())
        throw EUsage(QStringLiteral("give exactly one of --tcp HOST[:PORT] and --serial DEVICE"));
    if (!serial.isEmpty()) {
        link->SetControlMode(cmCOM);
        link->SetComPort(serial);
        return;
    }
    link->SetControlMode(cmLAN);
    QString host = tcp;
    const int colon = int(tcp.lastIndexOf(QLatin1Char(':')));
    if (!tcp.contains(QLatin1Char(']')) && tcp.count(QLatin1Char(':')) == 1) {
        host = tcp.left(colon);
        link->SetDevicePort(ParseNumber(tcp.mid(colon + 1), 1, 65535, "port"));
    }
    if (host.trimmed().isEmpty()) throw EUsage(QStringLiteral("--tcp needs a host: HOST[:PORT]"));
    link->SetDeviceIP(host);
}

int TMatrixOps::PollLimitFor(int timeoutMs, int pollTickMs)
{
    return qMax(1, (timeoutMs + pollTickMs - 1) / pollTickMs);
}

QString TOpStatus::Text() const
{
    return Errors.isEmpty() ? QStringLiteral("Command failed") : Errors.join(QLatin1Char('\n'));
}

TMatrixOps::TMatrixOps(TQMCOMControl* link, TProcessFlags* flags) : FLink(link), FFlags(flags)
{
    FNotifyConnection = QObject::connect(
        link, &TQMCOMControl::Notify, link,
        [this](int code, qintptr w, qintptr, const QString&) { OnNotify(code, w); },
        Qt::DirectConnection);
}

TMatrixOps::~TMatrixOps()
{
    QObject::disconnect(FNotifyConnection);
}

void TMatrixOps::OnNotify(int code, qintptr wParam)
{
    const bool serial = FLink->ControlMode() == cmCOM;
    switch (code) {
    case ntTimeOut:
        FLastFailure = QStringLiteral("Time out!");
        FLastKind = oeTimeOut;
        break;
    case ntDataInvalid:
        FLastFailure = QStringLiteral("Data invalid!");
        FLastKind = oeLinkFailed;
        break;
    case ntPortError:
        FLastFailure =
            serial ? QStringLiteral("COM access failed!") : QStringLiteral("TCP control failed!");
        FLastKind = oeLinkFailed;
        break;
    case ntConnectFailed: {
        const int connected = wParam ? 1 : 0;
        FLastFailure = serial ? QStringLiteral("%1 COM [%2] failed")
                                    .arg(QLatin1String(Options::PortAction[size_t(connected)]),
                                         FLink->ComPort())
                              : QStringLiteral("%1 %2 failed")
                                    .arg(QLatin1String(Options::LinkAction[size_t(connected)]),
                                         FLink->DeviceIP());
        FLastKind = oeLinkFailed;
        break;
    }
    case ntSendFailed:
        FLastFailure = QStringLiteral("Send data failed!");
        FLastKind = oeLinkFailed;
        break;
    default:
        break;
    }
}

void TMatrixOps::ClearFailure()
{
    FLastFailure.clear();
    FLastKind = oeNone;
}

void TMatrixOps::Fail(TOpStatus* st, TOpError kind, const QString& text)
{
    // The first failure names the outcome; later lines only add their texts.
    if (st->Kind == oeNone) st->Kind = kind;
    st->Errors << text;
    if (OnError) OnError(text);
}

void TMatrixOps::FailLink(TOpStatus* st, const QString& fallback)
{
    // A refusal by the matrix comes without a notification.
    if (FLastFailure.isEmpty())
        Fail(st, oeRefused, fallback);
    else
        Fail(st, FLastKind, FLastFailure);
}

bool TMatrixOps::EnsureConnected(TOpStatus* st)
{
    if (FLink->Connect()) return true;
    Fail(st, oeLinkFailed,
         FLastFailure.isEmpty() ? QStringLiteral("Connect failed") : FLastFailure);
    if (VerboseConnect && !FLink->LastErrorText().isEmpty())
        Fail(st, oeLinkFailed, FLink->LastErrorText());
    return false;
}

bool TMatrixOps::Run(const TCatalogueCommand& command, TCommandReply* reply, TOpStatus* st)
{
    if (!EnsureConnected(st)) return false;
    ClearFailure();
    reply->Clear();
    FLink->ExecuteCommand(command.Packet, *reply);
    if (reply->Ok) return true;
    FailLink(st, QStringLiteral("Command failed"));
    return false;
}

int TMatrixOps::QueryPower(TOpStatus* st)
{
    TCommandReply r;
    if (!Run(Catalogue::PowerStatus(), &r, st)) return -1;
    return Catalogue::PowerIsOn(r) ? 1 : 0;
}

bool TMatrixOps::PoweredOn(TOpStatus* st)
{
    const int power = QueryPower(st);
    if (power < 0) return false;
    if (power == 0) {
        Fail(st, oePowerOff, QLatin1String(TDeviceBackup::PowerOffText));
        return false;
    }
    return true;
}

bool TMatrixOps::RunPowered(const TCatalogueCommand& command, TCommandReply* reply, TOpStatus* st)
{
    return PoweredOn(st) && Run(command, reply, st);
}

TOpStatus TMatrixOps::Connect()
{
    TOpStatus st;
    EnsureConnected(&st);
    return st;
}

TOpStatus TMatrixOps::Send(const TCommandPacket& packet, TSendResult* out)
{
    TOpStatus st;
    *out = TSendResult();
    if (!EnsureConnected(&st)) return st;
    TCommandReply reply;
    ClearFailure();
    FLink->ExecuteCommand(packet, reply);
    const QByteArray bytes = reply.Packet.ToByteArray();
    if (bytes != QByteArray(13, '\0')) out->Reply = bytes;
    out->Accepted = reply.Ok != 0;
    if (!reply.Ok) FailLink(&st, QStringLiteral("Command failed"));
    return st;
}

TOpStatus TMatrixOps::Status(TDeviceStatus* out)
{
    TOpStatus st;
    *out = TDeviceStatus();
    out->Power = QueryPower(&st);
    if (out->Power < 0) return st;
    if (!out->Power) {
        Fail(
            &st, oePowerOff,
            QStringLiteral("System is power off, please turn it on first to refresh more status."));
        return st;
    }
    out->Details = true;
    TCommandReply r, size, version;
    if (!Run(Catalogue::DeviceQuery(), &r, &st) || !Run(Catalogue::DeviceSize(), &size, &st) ||
        !Run(Catalogue::Version(), &version, &st))
        return st;
    out->DetailsRead = true;
    out->DeviceText = Catalogue::DeviceText(size);
    out->VersionText = Catalogue::VersionText(version);
    out->Inputs = size.P1Lo();
    out->Outputs = size.P2Lo();
    auto connection = [&](const QString& prefix, int n, const TCatalogueCommand& c,
                          TPlugState* state, QString* text) {
        TCommandReply reply;
        Run(c, &reply, &st);
        *text = Catalogue::ConnectionText(prefix, n, reply);
        *state = !reply.Ok              ? psUnknown
                 : reply.P2Lo() == 0x00 ? psConnected
                 : reply.P2Lo() == 0xFF ? psNotConnected
                                        : psUnknown;
    };
    for (int n = 1; n <= PortCount; ++n, ++out->InputsRead)
        connection(QStringLiteral("Input"), n, Catalogue::InputConnection(n),
                   &out->InputState[size_t(n - 1)], &out->InputText[size_t(n - 1)]);
    for (int n = 1; n <= PortCount; ++n, ++out->OutputsRead)
        connection(QStringLiteral("HDMI Output"), n, Catalogue::OutputConnection(n),
                   &out->OutputState[size_t(n - 1)], &out->OutputText[size_t(n - 1)]);
    return st;
}

TOpStatus TMatrixOps::Power(int set, int* power)
{
    TOpStatus st;
    *power = -1;
    if (set == 0 || set == 1) {
        TCommandReply r;
        if (!Run(Catalogue::PowerSet(set == 1), &r, &st)) return st;
    }
    *power = QueryPower(&st);
    return st;
}

TOpStatus TMatrixOps::Routing(TRouting* out)
{
    TOpStatus st;
    *out = TRouting();
    if (!PoweredOn(&st)) return st;
    for (int o = 1; o <= PortCount; ++o) {
        TCommandReply r;
        if (!Run(Catalogue::RouteQuery(o), &r, &st)) return st;
        out->Input[size_t(o - 1)] = r.P2Lo();
    }
    return st;
}

static bool InRange(int v, int min, int max)
{
    return v >= min && v <= max;
}

TOpStatus TMatrixOps::Route(int input, int output, TRouting* out)
{
    TOpStatus st;
    *out = TRouting();
    if (!InRange(input, 1, PortCount) || !InRange(output, 0, PortCount)) {
        Fail(&st, oeBadInput, QStringLiteral("no such input or output"));
        return st;
    }
    if (!PoweredOn(&st)) return st;
    const int first = output ? output : 1;
    const int last = output ? output : PortCount;
    for (int o = first; o <= last; ++o) {
        TCommandReply r;
        if (!Run(Catalogue::RouteSet(input, o), &r, &st)) return st;
        out->Input[size_t(o - 1)] = input;
    }
    return st;
}

TOpStatus TMatrixOps::RouteSeveral(const QMap<int, int>& routes, QList<int>* applied, TRouting* out)
{
    TOpStatus st;
    *out = TRouting();
    applied->clear();
    for (auto it = routes.begin(); it != routes.end(); ++it) {
        TRouting one;
        st = Route(it.value(), it.key(), &one);
        if (!st.Ok()) return st;
        out->Input[size_t(it.key() - 1)] = it.value();
        applied->append(it.key());
    }
    return st;
}

TOpStatus TMatrixOps::Audio(int input, int source, TAudio* out)
{
    TOpStatus st;
    *out = TAudio();
    if (!InRange(input, 0, PortCount) || !InRange(source, 0, 3) || (source && !input)) {
        Fail(&st, oeBadInput, QStringLiteral("no such input or audio source"));
        return st;
    }
    if (!PoweredOn(&st)) return st;
    const int first = input ? input : 1;
    const int last = input ? input : PortCount;
    TCommandReply r;
    if (source && !Run(Catalogue::AudioSet(first, source), &r, &st)) return st;
    for (int n = first; n <= last; ++n) {
        if (!Run(Catalogue::AudioQuery(n), &r, &st)) return st;
        out->Source[size_t(n - 1)] = r.P2Lo();
    }
    return st;
}

TOpStatus TMatrixOps::Switch(TSwitch which, int set, bool* on)
{
    TOpStatus st;
    *on = false;
    const bool want = set == 1;
    TCatalogueCommand query, command;
    switch (which) {
    case swIr:
        query = Catalogue::IrQuery();
        command = Catalogue::IrSet(want);
        break;
    case swKeys:
        query = Catalogue::KeysQuery();
        command = Catalogue::KeysSet(want);
        break;
    case swApm:
        query = Catalogue::ApmQuery();
        command = Catalogue::ApmSet(want);
        break;
    case swBeeper:
        query = Catalogue::BeeperQuery();
        command = Catalogue::BeeperSet(want);
        break;
    }
    if (!PoweredOn(&st)) return st;
    TCommandReply r;
    if ((set == 0 || set == 1) && !Run(command, &r, &st)) return st;
    if (!Run(query, &r, &st)) return st;
    *on = Catalogue::SwitchIsOn(r);
    return st;
}
