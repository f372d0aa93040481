#include "Cli.h"

#include "link/EdidData.h"

#include <QFile>
#include <QSaveFile>

QString EdidUsage()
{
    return QStringLiteral(
        "  edid read OUT FILE                    read the EDID of the display on OUT into FILE\n"
        "  edid write TARGET FILE                download the EDID in FILE; TARGET: 1..4, all,\n"
        "                                        user1, user2\n"
        "  edid mode TARGET NAME                 set the EDID mode NAME (as the window lists it,\n"
        "                                        e.g. \"User2\", \"Default EDID\"); TARGET: 1..4, "
        "all\n"
        "  edid copy OUT TARGET                  copy the EDID of the display on OUT; TARGET: "
        "1..4,\n"
        "                                        all\n");
}

static int ParseOutput(const QString& text)
{
    return TCli::ParseNumber(text, 1, PortCount, "output");
}

// An input number as a TARGET, in the syntax of every number.
static int ParseTargetNumber(const QString& text, const char* choices)
{
    try {
        return TCli::ParseNumber(text, 1, PortCount, "target");
    } catch (const EUsage&) {
        throw EUsage(QStringLiteral("bad target '%1' (want %2)").arg(text, QLatin1String(choices)));
    }
}

// The opening command of a download to TARGET.
static TCommandPacket DownloadPacket(const QString& target)
{
    const QString t = target.toLower();
    if (t == QLatin1String("all")) return Cmd::EdidWriteAll.Packet(EdidAllInputsParam);
    if (t == QLatin1String("user1")) return Cmd::EdidWrite.Packet(0xF100);
    if (t == QLatin1String("user2")) return Cmd::EdidWrite.Packet(0xF200);
    const int n = ParseTargetNumber(target, "1..4, all, user1 or user2");
    return Cmd::EdidWrite.Packet(uint16_t(0xF000 + n));
}

// TARGET of a mode or copy: an input 1..4, or 0 for all inputs.
static int ParseInputTarget(const QString& text)
{
    if (text.toLower() == QLatin1String("all")) return 0;
    return ParseTargetNumber(text, "1..4 or all");
}

static int Done(TCli& cli, const TOpStatus& st)
{
    if (!st.Ok()) return 1;
    cli.Out(QStringLiteral("Done"));
    cli.Doc(OpsJson::Done());
    return 0;
}

static int Mode(TCli& cli, const QStringList& args)
{
    if (args.size() != 2) throw EUsage(QStringLiteral("edid mode takes TARGET NAME"));
    const int input = ParseInputTarget(args[0]);
    const QStringList names = EdidData::ModeListNames();
    const int index = int(names.indexOf(args[1]));
    if (index <= 0)
        throw EUsage(QStringLiteral("unknown EDID mode '%1' (want one of: %2)")
                         .arg(args[1], names.mid(1).join(QStringLiteral("; "))));
    return Done(cli, cli.Ops().EdidMode(input, index));
}

static int Copy(TCli& cli, const QStringList& args)
{
    if (args.size() != 2) throw EUsage(QStringLiteral("edid copy takes OUT TARGET"));
    const int output = ParseOutput(args[0]);
    const int input = ParseInputTarget(args[1]);
    return Done(cli, cli.Ops().EdidCopy(output, input));
}

static int Read(TCli& cli, const QStringList& args)
{
    if (args.size() != 2) throw EUsage(QStringLiteral("edid read takes OUT FILE"));
    const int output = ParseOutput(args[0]);
    const QString path = args[1];
    TEdidRead read;
    if (!cli.Ops().EdidRead(output, &read).Ok()) return 1;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(read.Edid) != read.Edid.size() || !f.commit()) {
        cli.Err(QStringLiteral("cannot write %1: %2").arg(path, f.errorString()));
        return 1;
    }
    cli.Out(QStringLiteral("Done"));
    cli.Doc(OpsJson::EdidRead(read, path));
    return 0;
}

static int Write(TCli& cli, const QStringList& args)
{
    if (args.size() != 2) throw EUsage(QStringLiteral("edid write takes TARGET FILE"));
    const TCommandPacket opening = DownloadPacket(args[0]);
    const QString path = args[1];
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        cli.Err(QStringLiteral("cannot read %1: %2").arg(path, f.errorString()));
        return 1;
    }
    // Anything longer than 257 bytes fails the content test; no need to read on.
    return Done(cli, cli.Ops().EdidWrite(opening, f.read(EdidData::Size + 2)));
}

int CmdEdid(TCli& cli, const QStringList& args)
{
    if (args.isEmpty()) throw EUsage(QStringLiteral("edid takes read, write, mode or copy"));
    const QString sub = args[0];
    if (sub == QLatin1String("read")) return Read(cli, args.mid(1));
    if (sub == QLatin1String("write")) return Write(cli, args.mid(1));
    if (sub == QLatin1String("mode")) return Mode(cli, args.mid(1));
    if (sub == QLatin1String("copy")) return Copy(cli, args.mid(1));
    throw EUsage(QStringLiteral("unknown edid command '%1'").arg(sub));
}
