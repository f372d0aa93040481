// The core's operations: the shared ones, with the state cache following
// what each confirmed (a failed one confirms what it did before it failed).
#include "ServerCore.h"

#include "link/QMCOMControl.h"

TOpStatus TServerCore::Done(const TOpStatus& st)
{
    NoteLink();
    return st;
}

void TServerCore::Absorb(const TRouting& routing)
{
    for (int n = 1; n <= PortCount; ++n)
        SetRouting(n, routing.Input[size_t(n - 1)]);
}

void TServerCore::Absorb(const TAudio& audio)
{
    for (int n = 1; n <= PortCount; ++n)
        SetAudio(n, audio.Source[size_t(n - 1)]);
}

void TServerCore::Absorb(const TDeviceState& state)
{
    SetPower(state.Power ? 1 : 0);
    for (int n = 1; n <= PortCount; ++n) {
        SetRouting(n, state.Routing[size_t(n - 1)]);
        SetAudio(n, state.Audio[size_t(n - 1)]);
    }
    SetSwitch(swIr, state.Ir);
    SetSwitch(swKeys, state.Keys);
    SetSwitch(swApm, state.Apm);
    SetSwitch(swBeeper, state.Beeper);
}

TOpStatus TServerCore::Connect()
{
    return Done(FOps->Connect());
}

TOpStatus TServerCore::Status(TDeviceStatus* out)
{
    const TOpStatus st = FOps->Status(out);
    if (out->Power >= 0) SetPower(out->Power);
    return Done(st);
}

TOpStatus TServerCore::Power(int set, int* power)
{
    const TOpStatus st = FOps->Power(set, power);
    if (*power >= 0) SetPower(*power);
    return Done(st);
}

TOpStatus TServerCore::Routing(TRouting* out)
{
    const TOpStatus st = FOps->Routing(out);
    Absorb(*out);
    return Done(st);
}

TOpStatus TServerCore::Route(int input, int output, TRouting* out)
{
    const TOpStatus st = FOps->Route(input, output, out);
    Absorb(*out);
    return Done(st);
}

TOpStatus TServerCore::RouteSeveral(const QMap<int, int>& routes, QList<int>* applied,
                                    TRouting* out)
{
    const TOpStatus st = FOps->RouteSeveral(routes, applied, out);
    Absorb(*out);
    return Done(st);
}

TOpStatus TServerCore::Audio(int input, int source, TAudio* out)
{
    const TOpStatus st = FOps->Audio(input, source, out);
    Absorb(*out);
    return Done(st);
}

TOpStatus TServerCore::Switch(TSwitch which, int set, bool* on)
{
    const TOpStatus st = FOps->Switch(which, set, on);
    if (st.Ok()) SetSwitch(which, *on);
    return Done(st);
}

TOpStatus TServerCore::Presets(std::array<TPreSetting, 8>* out)
{
    return Done(FOps->Presets(out));
}

TOpStatus TServerCore::ApplyPreset(int row, TPresetApplied* out)
{
    const TOpStatus st = FOps->ApplyPreset(row, out);
    Absorb(out->Routing);
    return Done(st);
}

TOpStatus TServerCore::EdidRead(int output, TEdidRead* out)
{
    return Done(FOps->EdidRead(output, out));
}

TOpStatus TServerCore::EdidWrite(const TCommandPacket& opening, const QByteArray& content)
{
    return Done(FOps->EdidWrite(opening, content));
}

TOpStatus TServerCore::Backup(TDeviceState* out)
{
    const TOpStatus st = FOps->Backup(out);
    if (st.Ok()) Absorb(*out);
    return Done(st);
}

TOpStatus TServerCore::Restore(const TDeviceState& state, bool dryRun, TRestoreResult* out)
{
    return Done(FOps->Restore(state, dryRun, out));
}
