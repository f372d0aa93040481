#include "Cli.h"

QString CoreUsage()
{
    return QStringLiteral(
        "  send GROUP CODE [P1 [P2 [P3 [P4]]]]   one transaction; prints the 13 reply bytes\n"
        "  power [on|off]                        show or switch the power\n"
        "  status                                power, model, version and connections\n"
        "  route IN OUT|all                      show input IN on output OUT (all: 1..4)\n"
        "  routing                               the input shown on each output\n");
}

bool IsCoreCommand(const QString& c)
{
    return c == QLatin1String("send") || c == QLatin1String("power") ||
           c == QLatin1String("status") || c == QLatin1String("route") ||
           c == QLatin1String("routing");
}

static int Send(TCli& cli, const QStringList& args)
{
    if (args.size() < 2 || args.size() > 6)
        throw EUsage(QStringLiteral("send takes GROUP CODE and up to four parameters"));
    const uint8_t group = uint8_t(TCli::ParseNumber(args[0], 255, "group"));
    const uint8_t code = uint8_t(TCli::ParseNumber(args[1], 255, "code"));
    uint16_t p[4] = {};
    for (int i = 2; i < args.size(); ++i)
        p[i - 2] = TCli::ParseNumber(args[i], 65535, "parameter");
    // Not connected: no document beyond the failure.
    if (!cli.EnsureConnected()) return 1;
    TSendResult result;
    const TOpStatus st =
        cli.Ops().Send(TCommandPacket::Make(group, code, p[0], p[1], p[2], p[3]), &result);
    if (!result.Reply.isEmpty()) cli.Out(QString::fromLatin1(result.Reply.toHex(' ').toUpper()));
    cli.Doc(OpsJson::Send(result));
    if (result.Accepted) cli.Out(QStringLiteral("ok"));
    return TCli::Rc(st);
}

static QString PowerLine(int power)
{
    return power ? QStringLiteral("Matrix Power On") : QStringLiteral("Matrix Power Off");
}

static int Power(TCli& cli, const QStringList& args)
{
    if (args.size() > 1) throw EUsage(QStringLiteral("power takes on, off or nothing"));
    int set = -1;
    if (!args.isEmpty()) {
        const QString want = args[0].toLower();
        if (want != QLatin1String("on") && want != QLatin1String("off"))
            throw EUsage(QStringLiteral("power takes on, off or nothing"));
        set = want == QLatin1String("on") ? 1 : 0;
    }
    int power = -1;
    const TOpStatus st = cli.Ops().Power(set, &power);
    if (power >= 0) cli.Out(PowerLine(power));
    cli.Doc(OpsJson::Power(power));
    return TCli::Rc(st);
}

static int Status(TCli& cli, const QStringList& args)
{
    if (!args.isEmpty()) throw EUsage(QStringLiteral("status takes no arguments"));
    TDeviceStatus s;
    const TOpStatus st = cli.Ops().Status(&s);
    if (s.Power >= 0) cli.Out(PowerLine(s.Power));
    if (s.DetailsRead) {
        cli.Out(s.DeviceText);
        cli.Out(s.VersionText);
        auto lines = [&](const QString& prefix, int read, const std::array<QString, 4>& texts) {
            for (int n = 1; n <= read; ++n) {
                const QString& text = texts[size_t(n - 1)];
                cli.Out(text.isEmpty() ? QStringLiteral("%1%2: Not known").arg(prefix).arg(n)
                                       : text);
            }
        };
        lines(QStringLiteral("Input"), s.InputsRead, s.InputText);
        lines(QStringLiteral("HDMI Output"), s.OutputsRead, s.OutputText);
    }
    cli.Doc(OpsJson::Status(s));
    return TCli::Rc(st);
}

// "OutputN: InputM" for each output known, in order.
static void RoutingLines(TCli& cli, const TRouting& r)
{
    for (int o = 1; o <= PortCount; ++o)
        if (r.Input[size_t(o - 1)] > 0)
            cli.Out(QStringLiteral("Output%1: Input%2").arg(o).arg(r.Input[size_t(o - 1)]));
    cli.Doc(OpsJson::Routing(r));
}

static int Route(TCli& cli, const QStringList& args)
{
    if (args.size() != 2) throw EUsage(QStringLiteral("route takes IN OUT|all"));
    const int in = TCli::ParseNumber(args[0], 1, PortCount, "input");
    const bool all = args[1].toLower() == QLatin1String("all");
    const int out = all ? 0 : TCli::ParseNumber(args[1], 1, PortCount, "output");
    TRouting r;
    const TOpStatus st = cli.Ops().Route(in, out, &r);
    RoutingLines(cli, r);
    return TCli::Rc(st);
}

static int Routing(TCli& cli, const QStringList& args)
{
    if (!args.isEmpty()) throw EUsage(QStringLiteral("routing takes no arguments"));
    TRouting r;
    const TOpStatus st = cli.Ops().Routing(&r);
    RoutingLines(cli, r);
    return TCli::Rc(st);
}

int CmdCore(TCli& cli, const QString& command, const QStringList& args)
{
    if (command == QLatin1String("send")) return Send(cli, args);
    if (command == QLatin1String("power")) return Power(cli, args);
    if (command == QLatin1String("status")) return Status(cli, args);
    if (command == QLatin1String("route")) return Route(cli, args);
    return Routing(cli, args);
}
