#include "ServerOptions.h"

#include "OpsTypes.h"

#include <QHostAddress>

TServerCommandLine::TServerCommandLine() = default;

void TServerCommandLine::AddOption(const QString& name, bool takesValue, const QString& usage)
{
    FExtra.append({name, takesValue, usage});
}

void TServerCommandLine::AddCheck(std::function<void(const TServerOptions&)> check)
{
    FChecks.append(std::move(check));
}

QString TServerCommandLine::Usage() const
{
    QString text = QStringLiteral(
        "usage: matrix-server (--tcp HOST[:PORT] | --serial DEVICE) [--listen ADDR:PORT|none]\n"
        "                     [--token-file FILE] [--settings FILE] [--refresh-s N]\n"
        "                     [--timeout-ms N] [--tls-cert FILE --tls-key FILE]\n"
        "                     [--allow-host NAME]... [--max-per-address N]");
    for (const TExtra& e : FExtra)
        if (!e.Usage.isEmpty()) text += QStringLiteral("\n                     ") + e.Usage;
    return text + QLatin1Char('\n');
}

static void ParseListen(const QString& text, TServerOptions* o)
{
    if (text == QLatin1String("none")) {
        o->ListenNone = true;
        return;
    }
    const int colon = int(text.lastIndexOf(QLatin1Char(':')));
    if (colon <= 0) throw EUsage(QStringLiteral("--listen takes ADDR:PORT or none"));
    QString address = text.left(colon);
    if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
        address = address.mid(1, address.size() - 2);
    if (QHostAddress(address).isNull())
        throw EUsage(QStringLiteral("--listen: '%1' is not an IP address").arg(address));
    o->ListenAddress = address;
    o->ListenPort = ParseNumber(text.mid(colon + 1), 0, 65535, "listen port");
    o->ListenNone = false;
}

TServerOptions TServerCommandLine::Parse(const QStringList& arguments, bool* help) const
{
    TServerOptions o;
    QStringList args = arguments;
    if (help) *help = false;
    while (!args.isEmpty()) {
        const QString opt = args.takeFirst();
        auto value = [&]() {
            if (args.isEmpty()) throw EUsage(QStringLiteral("%1 needs a value").arg(opt));
            return args.takeFirst();
        };
        if (opt == QLatin1String("--tcp"))
            o.Tcp = value();
        else if (opt == QLatin1String("--serial"))
            o.Serial = value();
        else if (opt == QLatin1String("--listen"))
            ParseListen(value(), &o);
        else if (opt == QLatin1String("--token-file"))
            o.TokenFile = value();
        else if (opt == QLatin1String("--settings"))
            o.SettingsPath = value();
        else if (opt == QLatin1String("--refresh-s"))
            o.RefreshS = ParseNumber(value(), 0, 86400, "refresh interval");
        else if (opt == QLatin1String("--timeout-ms"))
            o.TimeoutMs = ParseNumber(value(), 1, 65535, "time-out");
        else if (opt == QLatin1String("--tls-cert"))
            o.TlsCert = value();
        else if (opt == QLatin1String("--tls-key"))
            o.TlsKey = value();
        else if (opt == QLatin1String("--allow-host")) {
            const QString name = value().trimmed().toLower();
            const QString bare = name.startsWith(QLatin1String("*.")) ? name.mid(2) : name;
            if (bare.isEmpty() || bare.contains(QLatin1Char('*')) ||
                bare.contains(QLatin1Char('/')) || bare.contains(QLatin1Char(' ')))
                throw EUsage(QStringLiteral("--allow-host takes a host name, or *.NAME for the "
                                            "names under NAME"));
            o.AllowHosts << name;
        } else if (opt == QLatin1String("--max-per-address"))
            o.MaxPerAddress = ParseNumber(value(), 1, 512, "connections per address");
        else if (opt == QLatin1String("--help")) {
            if (help) *help = true;
            return o;
        } else {
            bool known = false;
            for (const TExtra& e : FExtra) {
                if (e.Name != opt) continue;
                o.Extra.insert(opt, e.TakesValue ? value() : QStringLiteral("1"));
                known = true;
            }
            if (!known) throw EUsage(QStringLiteral("unknown option %1").arg(opt));
        }
    }
    if (o.Tcp.isEmpty() == o.Serial.isEmpty())
        throw EUsage(QStringLiteral("give exactly one of --tcp HOST[:PORT] and --serial DEVICE"));
    if (o.TlsCert.isEmpty() != o.TlsKey.isEmpty())
        throw EUsage(QStringLiteral("--tls-cert and --tls-key go together"));
    for (const auto& check : FChecks)
        check(o);
    return o;
}
