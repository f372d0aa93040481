#include "Commands.h"

#include "Constants.h"

namespace Catalogue {

TCatalogueCommand PowerStatus()
{
    return {Cmd::PowerQuery.Packet(QueryParam, 0, PowerGuard3, PowerGuard4),
            QStringLiteral("Getting Power status ...")};
}

TCatalogueCommand PowerSet(bool on)
{
    return {Cmd::PowerSet.Packet(on ? SwitchOn : SwitchOff, 0, PowerGuard3, PowerGuard4),
            on ? QStringLiteral("Matrix booting ...") : QStringLiteral("Power off ...")};
}

TCatalogueCommand DeviceQuery()
{
    return {Cmd::DeviceQuery.Packet(QueryParam), QStringLiteral("Getting device info ...")};
}

TCatalogueCommand DeviceSize()
{
    return {Cmd::DeviceSize.Packet(QueryParam), QStringLiteral("Getting device info ...")};
}

TCatalogueCommand Version()
{
    return {Cmd::Version.Packet(QueryParam), QStringLiteral("Getting device info ...")};
}

TCatalogueCommand InputConnection(int n)
{
    return {Cmd::InputConnection.Packet(uint16_t(n)),
            QStringLiteral("Getting Input%1 connection ...").arg(n)};
}

TCatalogueCommand OutputConnection(int n, bool forEdid)
{
    return {Cmd::OutputConnection.Packet(uint16_t(n)),
            forEdid ? QStringLiteral("Getting Output%1 connection ...").arg(n)
                    : QStringLiteral("Getting HDMI Output%1 connection ...").arg(n)};
}

TCatalogueCommand RouteQuery(int output)
{
    return {Cmd::RouteQuery.Packet(uint16_t(output)), QStringLiteral("Getting Output%1 ...").arg(output)};
}

TCatalogueCommand RouteSet(int input, int output)
{
    return {Cmd::RouteSet.Packet(uint16_t(input), uint16_t(output)), QStringLiteral("Setting...")};
}

static uint16_t Switch(bool on) { return Options::SwitchValue[on ? 1 : 0]; }

TCatalogueCommand ApmQuery()
{
    return {Cmd::ApmQuery.Packet(QueryParam), QStringLiteral("Getting APM status ...")};
}

TCatalogueCommand ApmSet(bool on)
{
    return {Cmd::ApmSet.Packet(Switch(on)),
            QStringLiteral("Set APM %1 ...").arg(QLatin1String(Options::OffOn[on ? 1 : 0]))};
}

TCatalogueCommand BeeperQuery()
{
    return {Cmd::BeeperQuery.Packet(QueryParam), QStringLiteral("Getting Beeper status ...")};
}

TCatalogueCommand BeeperSet(bool on)
{
    return {Cmd::BeeperSet.Packet(Switch(on)),
            QStringLiteral("%1 Beeper control ...")
                .arg(QLatin1String(Options::DisableEnable[on ? 1 : 0]))};
}

TCatalogueCommand KeysQuery()
{
    return {Cmd::KeysQuery.Packet(QueryParam), QStringLiteral("Getting Keys status ...")};
}

TCatalogueCommand KeysSet(bool on)
{
    // "ON" unlocks the panel keys.
    return {Cmd::KeysSet.Packet(Switch(on)),
            QStringLiteral("%1 Keys on panel ...").arg(QLatin1String(Options::Lock[on ? 0 : 1]))};
}

TCatalogueCommand IrQuery()
{
    return {Cmd::IrQuery.Packet(QueryParam), QStringLiteral("Getting IR status ...")};
}

TCatalogueCommand IrSet(bool on)
{
    return {Cmd::IrSet.Packet(Switch(on)),
            QStringLiteral("%1 IR control ...")
                .arg(QLatin1String(Options::DisableEnable[on ? 1 : 0]))};
}

TCatalogueCommand AudioQuery(int input)
{
    return {Cmd::AudioQuery.Packet(uint16_t(input)),
            QStringLiteral("Getting Audio Source Input%1 ...").arg(input)};
}

TCatalogueCommand AudioSet(int input, int source)
{
    return {Cmd::AudioSet.Packet(uint16_t(input), uint16_t(source)),
            QStringLiteral("Setting Audio Source Input...")};
}

TCatalogueCommand EdidControlMode()
{
    return {Cmd::EdidControlMode.Packet(), QStringLiteral("Query EDID control mode ...")};
}

TCatalogueCommand EdidPrepare(const QString& actionText)
{
    return {Cmd::EdidPrepare.Packet(EdidPrepareParam), actionText};
}

TCatalogueCommand Reboot()
{
    return {Cmd::Reboot.Packet(RebootParam), QStringLiteral("Reboot system ...")};
}

bool SwitchIsOn(const TCommandReply& reply) { return reply.P2Lo() == 0xFF; }
bool PowerIsOn(const TCommandReply& reply) { return reply.P2Lo() == 0xFF; }

QString DeviceText(const TCommandReply& r)
{
    return QStringLiteral("Device: HDMI Matrix, %1x%2").arg(r.P1Lo()).arg(r.P2Lo());
}

QString VersionText(const TCommandReply& r)
{
    return QStringLiteral("Version: %1.%2").arg(r.P1Lo()).arg(int(r.P2Lo()), 2, 10, QLatin1Char('0'));
}

QString ConnectionText(const QString& prefix, int n, const TCommandReply& reply)
{
    if (!reply.Ok)
        return QStringLiteral("%1%2: Not known").arg(prefix).arg(n);
    if (reply.P2Lo() == 0x00)
        return QStringLiteral("%1%2: Connected").arg(prefix).arg(n);
    if (reply.P2Lo() == 0xFF)
        return QStringLiteral("%1%2: Not connected").arg(prefix).arg(n);
    return QString();
}

QString AudioSourceName(int number)
{
    switch (number) {
    case 1: return QStringLiteral("Original");
    case 2: return QStringLiteral("Analog L/R In embeded");
    case 3: return QStringLiteral("Analog embeded when DVI");
    default: return QString();
    }
}

QString CommandName(uint8_t group, uint8_t code)
{
    struct TName {
        TCommandId Id;
        const char* Name;
    };
    // (1, 1) doubles as the reboot probe; the traffic shows it as the query.
    static const TName names[] = {
        {Cmd::DeviceQuery, "DeviceQuery"},
        {Cmd::DeviceSize, "DeviceSize"},
        {Cmd::Version, "Version"},
        {Cmd::InputConnection, "InputConnection"},
        {Cmd::OutputConnection, "OutputConnection"},
        {Cmd::ApmQuery, "ApmQuery"},
        {Cmd::ApmSet, "ApmSet"},
        {Cmd::BeeperQuery, "BeeperQuery"},
        {Cmd::BeeperSet, "BeeperSet"},
        {Cmd::KeysQuery, "KeysQuery"},
        {Cmd::KeysSet, "KeysSet"},
        {Cmd::RouteQuery, "RouteQuery"},
        {Cmd::RouteSet, "RouteSet"},
        {Cmd::EdidModeAll, "EdidModeAll"},
        {Cmd::EdidModeOne, "EdidModeOne"},
        {Cmd::EdidCopyAll, "EdidCopyAll"},
        {Cmd::EdidCopyOne, "EdidCopyOne"},
        {Cmd::EdidRead, "EdidRead"},
        {Cmd::EdidWriteAll, "EdidWriteAll"},
        {Cmd::EdidWrite, "EdidWrite"},
        {Cmd::EdidPrepare, "EdidPrepare"},
        {Cmd::EdidDefaultAll, "EdidDefaultAll"},
        {Cmd::EdidDefaultOne, "EdidDefaultOne"},
        {Cmd::EdidControlMode, "EdidControlMode"},
        {Cmd::IrSet, "IrSet"},
        {Cmd::IrQuery, "IrQuery"},
        {Cmd::AudioSet, "AudioSet"},
        {Cmd::AudioQuery, "AudioQuery"},
        {Cmd::PowerQuery, "PowerQuery"},
        {Cmd::PowerSet, "PowerSet"},
        {Cmd::Reboot, "Reboot"},
    };
    for (const TName& n : names)
        if (n.Id == TCommandId{group, code}) return QLatin1String(n.Name);
    if (group == Cmd::FirmwareGroup) return QStringLiteral("FirmwarePart");
    return QString();
}

} // namespace Catalogue
