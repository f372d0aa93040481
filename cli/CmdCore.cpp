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
    if (!cli.EnsureConnected()) return 1;
    TCommandReply reply;
    cli.ClearFailure();
    cli.Link()->ExecuteCommand(TCommandPacket::Make(group, code, p[0], p[1], p[2], p[3]), reply);
    const QByteArray bytes = reply.Packet.ToByteArray();
    const bool anyReply = bytes != QByteArray(13, '\0');
    if (anyReply) {
        cli.Out(QString::fromLatin1(bytes.toHex(' ').toUpper()));
        cli.Json(QStringLiteral("reply"), QString::fromLatin1(bytes.toHex(' ').toUpper()));
    }
    cli.Json(QStringLiteral("ok"), reply.Ok != 0);
    if (reply.Ok) {
        cli.Out(QStringLiteral("ok"));
        return 0;
    }
    cli.Err(cli.LastFailure().isEmpty() ? QStringLiteral("Command failed") : cli.LastFailure());
    return 1;
}

static int Power(TCli& cli, const QStringList& args)
{
    if (args.size() > 1) throw EUsage(QStringLiteral("power takes on, off or nothing"));
    if (!args.isEmpty()) {
        const QString want = args[0].toLower();
        if (want != QLatin1String("on") && want != QLatin1String("off"))
            throw EUsage(QStringLiteral("power takes on, off or nothing"));
        TCommandReply r;
        if (!cli.Run(Catalogue::PowerSet(want == QLatin1String("on")), &r)) return 1;
    }
    const int power = cli.QueryPower();
    if (power < 0) return 1;
    cli.Out(power ? QStringLiteral("Matrix Power On") : QStringLiteral("Matrix Power Off"));
    cli.Json(QStringLiteral("power"), power == 1);
    return 0;
}

static int Status(TCli& cli, const QStringList& args)
{
    if (!args.isEmpty()) throw EUsage(QStringLiteral("status takes no arguments"));
    const int power = cli.QueryPower();
    if (power < 0) return 1;
    cli.Out(power ? QStringLiteral("Matrix Power On") : QStringLiteral("Matrix Power Off"));
    cli.Json(QStringLiteral("power"), power == 1);
    if (!power) {
        cli.Err(
            QStringLiteral("System is power off, please turn it on first to refresh more status."));
        return 1;
    }
    const QString unknown = QStringLiteral("unknown");
    TCommandReply r, size, version;
    if (!cli.Run(Catalogue::DeviceQuery(), &r) || !cli.Run(Catalogue::DeviceSize(), &size) ||
        !cli.Run(Catalogue::Version(), &version)) {
        cli.Json(QStringLiteral("device"), unknown);
        cli.Json(QStringLiteral("version"), unknown);
        return 1;
    }
    cli.Out(Catalogue::DeviceText(size));
    cli.Out(Catalogue::VersionText(version));
    cli.Json(QStringLiteral("device"), QStringLiteral("%1x%2").arg(size.P1Lo()).arg(size.P2Lo()));
    cli.Json(QStringLiteral("version"),
             Catalogue::VersionText(version).section(QLatin1Char(' '), 1));
    int rc = 0;
    auto connection = [&](const QString& prefix, const QString& key, int n,
                          const TCatalogueCommand& c) {
        TCommandReply reply;
        if (!cli.Run(c, &reply)) rc = 1;
        const QString text = Catalogue::ConnectionText(prefix, n, reply);
        cli.Out(text.isEmpty() ? QStringLiteral("%1%2: Not known").arg(prefix).arg(n) : text);
        const QString state = !reply.Ok              ? unknown
                              : reply.P2Lo() == 0x00 ? QStringLiteral("connected")
                              : reply.P2Lo() == 0xFF ? QStringLiteral("not connected")
                                                     : unknown;
        cli.JsonAt(key, QString::number(n), state);
    };
    for (int n = 1; n <= PortCount; ++n)
        connection(QStringLiteral("Input"), QStringLiteral("inputs"), n,
                   Catalogue::InputConnection(n));
    for (int n = 1; n <= PortCount; ++n)
        connection(QStringLiteral("HDMI Output"), QStringLiteral("outputs"), n,
                   Catalogue::OutputConnection(n));
    return rc;
}

static int Route(TCli& cli, const QStringList& args)
{
    if (args.size() != 2) throw EUsage(QStringLiteral("route takes IN OUT|all"));
    const int in = TCli::ParseNumber(args[0], 1, PortCount, "input");
    const bool all = args[1].toLower() == QLatin1String("all");
    const int out = all ? 1 : TCli::ParseNumber(args[1], 1, PortCount, "output");
    if (!cli.PoweredOn()) return 1;
    // "all": outputs 1..4 in order, ending at the first failure.
    const int last = all ? PortCount : out;
    for (int o = out; o <= last; ++o) {
        TCommandReply r;
        if (!cli.Run(Catalogue::RouteSet(in, o), &r)) return 1;
        cli.Out(QStringLiteral("Output%1: Input%2").arg(o).arg(in));
        cli.JsonAt(QStringLiteral("routing"), QString::number(o), in);
    }
    return 0;
}

static int Routing(TCli& cli, const QStringList& args)
{
    if (!args.isEmpty()) throw EUsage(QStringLiteral("routing takes no arguments"));
    const int power = cli.QueryPower();
    if (power < 0) return 1;
    if (!power) {
        cli.Err(QStringLiteral("System is power off, please turn it on first."));
        return 1;
    }
    for (int out = 1; out <= PortCount; ++out) {
        TCommandReply r;
        if (!cli.Run(Catalogue::RouteQuery(out), &r)) return 1;
        cli.Out(QStringLiteral("Output%1: Input%2").arg(out).arg(r.P2Lo()));
        cli.JsonAt(QStringLiteral("routing"), QString::number(out), r.P2Lo());
    }
    return 0;
}

int CmdCore(TCli& cli, const QString& command, const QStringList& args)
{
    if (command == QLatin1String("send")) return Send(cli, args);
    if (command == QLatin1String("power")) return Power(cli, args);
    if (command == QLatin1String("status")) return Status(cli, args);
    if (command == QLatin1String("route")) return Route(cli, args);
    return Routing(cli, args);
}
