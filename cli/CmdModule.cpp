// matrixctl discover / module: the TCP module's search, configuration, query
// and reset.
#include "Cli.h"

#include "link/ModuleRecords.h"
#include "settings/SettingsFile.h"
#include "transport/Console.h"
#include "transport/QMPing.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>
#include <cstdio>
#include <cstring>

QString ModuleUsage()
{
    return QStringLiteral(
        "  discover [--to ADDR]                  search the TCP modules (no link option needed)\n"
        "  module config MAC (--static IP GATEWAY MASK | --auto) --tag TEXT --to ADDR\n"
        "                                        change a module's network settings\n"
        "  module query                          the module's version, address mode and address\n"
        "  module reset [--yes]                  reset the module to 192.168.0.100\n");
}

namespace
{
bool PingAnswers(TQMCOMControl* link, const QString& host, bool trace, TCli& cli)
{
    TQMPing ping;
    const TTiming& t = link->Timing();
    ping.SetTimeOut(t.PingTimeOutMs);
    ping.SetAttemptMs(t.PingAttemptMs);
    ping.Attempts = t.PingAttempts;
    ping.SetCancelled([link] { return link->Flags()->Abort; });
    if (trace) QObject::connect(&ping, &TQMPing::Log, [&cli](const QString& s) { cli.Err(s); });
    ping.Host = host;
    return ping.PingHost();
}

QString Relation(bool same)
{
    return QLatin1String(Options::SubnetRelation[same ? 0 : 1]);
}

std::array<uint8_t, 4> Address(const QString& text, const char* what)
{
    std::array<uint8_t, 4> b{};
    if (!ModuleRecord::IpBytes(text, &b))
        throw EUsage(QStringLiteral("bad %1 '%2' (want a.b.c.d)").arg(QLatin1String(what), text));
    return b;
}

QString Dotted(const std::array<uint8_t, 4>& b)
{
    return ModuleRecord::IpText(b.data());
}

// The fields of a device entry line for --json.
QJsonObject EntryJson(const std::array<QString, 7>& f)
{
    return QJsonObject{
        {QStringLiteral("tag"), f[defTag]},      {QStringLiteral("ipMode"), f[defIPMode]},
        {QStringLiteral("ip"), f[defIP]},        {QStringLiteral("gateway"), f[defGateway]},
        {QStringLiteral("mask"), f[defMask]},    {QStringLiteral("mac"), f[defMAC]},
        {QStringLiteral("subnet"), f[defSubnet]}};
}
} // namespace

int CmdDiscover(TCli& cli, const QStringList& args, bool trace)
{
    TQMCOMControl* link = cli.Link();
    QString to;
    if (args.size() == 2 && args[0] == QLatin1String("--to")) {
        to = args[1];
        Address(to, "address");
    } else if (!args.isEmpty()) {
        throw EUsage(QStringLiteral("discover takes nothing or --to ADDR"));
    }
    link->FoundModules.clear();
    cli.Json(QStringLiteral("modules"), QJsonArray());
    if (to.isEmpty()) {
        link->SetUDPMode(umBROADCAST);
    } else {
        link->SetUDPMode(umNORMAL);
        link->SetDeviceIP(to);
    }
    const bool found = link->SearchModules();
    if (!link->ModuleError().isEmpty()) {
        cli.Err(link->ModuleError());
        return 1;
    }
    if (!found && link->ModuleCount() == 0) {
        cli.Err(QStringLiteral("No Matrix found."));
        return 1;
    }
    QStringList printed;
    QJsonArray modules;
    const bool sameForAll = !to.isEmpty() && PingAnswers(link, to, trace, cli);
    for (int n = 1; n <= link->ModuleCount(); ++n) {
        std::array<QString, 7> f;
        f[defTag] = link->ModuleField(n, 6);
        f[defIPMode] = QLatin1String(
            Options::AddressMode[link->ModuleField(n, 7) != QLatin1String("0") ? 1 : 0]);
        f[defIP] = to.isEmpty() ? link->ModuleField(n, 1) : to;
        f[defGateway] = link->ModuleField(n, 2);
        f[defMask] = link->ModuleField(n, 3);
        f[defMAC] = link->ModuleField(n, 0);
        f[defSubnet] = Relation(
            to.isEmpty() ? PingAnswers(link, link->ModuleField(n, 1), trace, cli) : sameForAll);
        const QString entry = SettingsFile::BuildDeviceEntry(f);
        if (printed.contains(entry)) continue;
        printed << entry;
        cli.Out(entry);
        modules.append(EntryJson(f));
    }
    cli.Json(QStringLiteral("modules"), modules);
    return 0;
}

static int Config(TCli& cli, QStringList args, bool trace)
{
    TQMCOMControl* link = cli.Link();
    if (args.isEmpty()) throw EUsage(QStringLiteral("module config needs the module's MAC"));
    std::array<uint8_t, 6> mac{};
    const QString macText = args.takeFirst();
    if (!ParseMAC(macText, &mac))
        throw EUsage(QStringLiteral("bad MAC '%1' (want 00-1A-2B-3C-4D-5E)").arg(macText));
    int mode = -1; // 0 static, 1 auto
    std::array<uint8_t, 4> ip{}, gateway{}, mask{};
    QString tag, to;
    bool hasTag = false;
    while (!args.isEmpty()) {
        const QString opt = args.takeFirst();
        auto value = [&] {
            if (args.isEmpty()) throw EUsage(QStringLiteral("%1 needs a value").arg(opt));
            return args.takeFirst();
        };
        if (opt == QLatin1String("--static")) {
            mode = 0;
            ip = Address(value(), "IP");
            gateway = Address(value(), "gateway");
            mask = Address(value(), "mask");
        } else if (opt == QLatin1String("--auto")) {
            mode = 1;
        } else if (opt == QLatin1String("--tag")) {
            tag = value();
            hasTag = true;
        } else if (opt == QLatin1String("--to")) {
            to = value();
            Address(to, "address");
        } else {
            throw EUsage(QStringLiteral("unknown module config option %1").arg(opt));
        }
    }
    if (mode < 0)
        throw EUsage(QStringLiteral("module config needs --static IP GATEWAY MASK or --auto"));
    if (!hasTag)
        throw EUsage(QStringLiteral("module config needs --tag TEXT (the request always sets it)"));
    if (to.isEmpty())
        throw EUsage(QStringLiteral("module config needs --to ADDR (the module's address now)"));
    link->SetDeviceIP(to);
    const QByteArray request =
        ModuleRecord::BuildConfigRequest(mac, mode == 1, ip, gateway, mask, tag);
    const int result = link->ConfigureModule(request);
    if (!link->ModuleError().isEmpty()) cli.Err(link->ModuleError());
    if (result == 2) {
        cli.Err(QStringLiteral("Setting IP conflict:") + Dotted(ip));
        return 1;
    }
    if (result != 0) {
        cli.Err(QStringLiteral("Modify TCP configuration failed"));
        return 1;
    }
    cli.Out(QStringLiteral("Modify TCP configuration ok"));
    std::array<QString, 7> f;
    f[defTag] = ModuleRecord::CleanTag(tag);
    f[defIPMode] = QLatin1String(Options::AddressMode[size_t(mode)]);
    const uint8_t* answer = link->ConfigBuffer;
    static const uint8_t none[6] = {};
    if (mode == 1) {
        f[defIP] = ModuleRecord::IpText(answer + 6);
        f[defGateway] = ModuleRecord::IpText(answer + 10);
        f[defMask] = ModuleRecord::IpText(answer + 14);
        f[defMAC] = std::memcmp(answer + 19, none, 6) ? ModuleRecord::MacText(answer + 19)
                                                      : ModuleRecord::MacText(mac.data());
    } else {
        f[defIP] = Dotted(ip);
        f[defGateway] = Dotted(gateway);
        f[defMask] = Dotted(mask);
        f[defMAC] = ModuleRecord::MacText(mac.data());
    }
    f[defSubnet] = Relation(PingAnswers(link, f[defIP], trace, cli));
    cli.Out(SettingsFile::BuildDeviceEntry(f));
    cli.Json(QStringLiteral("module"), EntryJson(f));
    return 0;
}

static int Query(TCli& cli)
{
    TModuleInfo m;
    if (!cli.Ops().ModuleQuery(&m).Ok()) return 1;
    cli.Out(QStringLiteral("Version: Ver") + m.Version);
    cli.Out(m.Dhcp ? QStringLiteral("DHCP: Auto IP") : QStringLiteral("DHCP: Static IP"));
    cli.Out(QStringLiteral("IP Address: ") + m.Ip);
    cli.Doc(OpsJson::Module(m));
    return 0;
}

static int Reset(TCli& cli, const QStringList& args)
{
    bool yes = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--yes"))
            yes = true;
        else
            throw EUsage(QStringLiteral("module reset takes only --yes"));
    }
    if (!yes) {
        if (!Console::IsTerminal(stdin))
            throw EUsage(QStringLiteral("module reset asks for 'Yes' on a terminal; give --yes "
                                        "to confirm without one"));
        Console::Write(stderr, QStringLiteral("Enter 'Yes' in the following edit box to "
                                              "confirm Reset Default process.\n> "));
        std::fflush(stderr);
        QTextStream in(stdin);
        if (in.readLine() != QLatin1String("Yes")) {
            cli.Err(QStringLiteral("Reset Default cancelled"));
            return 1;
        }
    }
    if (!cli.Ops().ModuleReset().Ok()) return 1;
    cli.Out(QStringLiteral("Reset Default ok"));
    cli.Json(QStringLiteral("reset"), true);
    return Query(cli);
}

bool ModuleCommandNeedsLink(const QStringList& args)
{
    return !(!args.isEmpty() && args[0] == QLatin1String("config"));
}

int CmdModule(TCli& cli, const QStringList& args, bool trace)
{
    if (args.isEmpty()) throw EUsage(QStringLiteral("module needs config, query or reset"));
    const QString sub = args[0];
    if (sub == QLatin1String("config")) return Config(cli, args.mid(1), trace);
    if (sub == QLatin1String("query")) {
        if (args.size() != 1) throw EUsage(QStringLiteral("module query takes nothing"));
        return Query(cli);
    }
    if (sub == QLatin1String("reset")) return Reset(cli, args.mid(1));
    throw EUsage(QStringLiteral("unknown module command '%1'").arg(sub));
}
