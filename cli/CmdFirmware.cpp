#include "Cli.h"

#include "link/FirmwareFile.h"
#include "link/FirmwareMerge.h"
#include "link/FirmwareUpgrade.h"
#include "transport/Console.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdio>

QString FirmwareUsage()
{
    return QStringLiteral(
        "  fw upgrade FILE                       send the firmware file to the matrix and reboot "
        "it\n"
        "  fw merge [--main FILE:V1.V2] [--slave1 FILE:V1.V2] [--slave2 ...] [--slave3 ...]\n"
        "           [--slave4 ...] --out DIR [--force]\n"
        "                                        merge processor images into one firmware file\n"
        "  fw info FILE                          list the parts of a firmware file\n");
}

namespace
{

// Progress and reboot texts: rewritten in place on a terminal, one line per
// part (and per reboot wait) otherwise.
class TLinePrinter
{
public:
    // `json`: stdout carries one JSON document; the texts go to Lines.
    explicit TLinePrinter(bool json = false)
        : FTty(!json && Console::IsTerminal(stdout)),
          FErase(FTty && Console::EraseLineWorks(stdout)), FJson(json)
    {
    }
    QJsonArray Lines;
    ~TLinePrinter() { EndLine(); }

    void Progress(const QString& caption, int position)
    {
        if (position == 0 && caption == QLatin1String("Upgrade progress")) {
            EndLine();
            return;
        }
        if (FWaiting) EndLine();
        Show(QStringLiteral("%1 %2%").arg(caption).arg(position));
    }
    // The spinner changes only the last character: off a terminal the wait is one line.
    void Waiting(const QString& text)
    {
        if (!FWaiting)
            EndLine();
        else if (!FTty)
            return;
        FWaiting = true;
        Show(text);
    }
    void Line(const QString& text)
    {
        EndLine();
        if (FJson) {
            Lines.append(text);
            return;
        }
        Console::Write(stdout, text + QLatin1Char('\n'));
        std::fflush(stdout);
    }
    void EndLine()
    {
        if (FPending.isEmpty()) return;
        if (FJson) {
            Lines.append(FPending);
            FPending.clear();
            FWaiting = false;
            return;
        }
        Console::Write(stdout, FTty ? QStringLiteral("\n") : FPending + QLatin1Char('\n'));
        std::fflush(stdout);
        FPending.clear();
        FWaiting = false;
        FShown = 0;
    }

private:
    void Show(const QString& text)
    {
        FPending = text;
        if (!FTty) return;
        // Without the erase sequence, blanks cover what the last text left over.
        const qsizetype blanks = FErase ? 0 : qMax<qsizetype>(0, FShown - text.size());
        Console::Write(stdout, QLatin1Char('\r') + text +
                                   (FErase ? QStringLiteral("\033[K")
                                           : QString(blanks, QLatin1Char(' ')) +
                                                 QString(blanks, QLatin1Char('\b'))));
        std::fflush(stdout);
        FShown = text.size();
    }
    bool FTty;
    bool FErase;
    bool FJson;
    bool FWaiting = false;
    QString FPending;
    qsizetype FShown = 0; // characters on the terminal's line now
};

int Upgrade(TCli& cli, const QStringList& args)
{
    if (args.size() != 1) throw EUsage(QStringLiteral("fw upgrade takes FILE"));
    const QString path = args[0];
    TLinePrinter printer(cli.JsonMode());
    TFirmwareUpgrade::THooks hooks;
    hooks.Memo = [&](const QString& line) { printer.Line(line); };
    // Failure texts go to stderr (through the operation), like every failure
    // of matrixctl.
    hooks.Failure = [&](const QString&) { printer.EndLine(); };
    hooks.Gauge = [&](const QString& caption, int position) {
        printer.Progress(caption, position);
    };
    hooks.RebootText = [&](const QString& text, bool waiting) {
        if (waiting) {
            printer.Waiting(text);
        } else if (text == QLatin1String("System reboot failed")) {
            printer.EndLine();
            cli.Err(text);
        } else {
            printer.Line(text);
        }
    };
    hooks.Status = [&](int panel, const QString& text, bool blink) {
        if (panel == 2 && blink) {
            printer.EndLine();
            cli.Err(text);
        }
    };
    const TOpStatus st = cli.Ops().FirmwareUpgrade(path, hooks);
    printer.EndLine();
    cli.Json(QStringLiteral("messages"), printer.Lines);
    return TCli::Rc(st);
}

// FILE:V1.V2 -> the row's input. Versions are digits, normalised by the merge.
TMergeInput ParseMergeInput(const QString& option, const QString& value)
{
    const int colon = int(value.lastIndexOf(QLatin1Char(':')));
    static const QRegularExpression versionPattern(QStringLiteral("^(\\d*)\\.(\\d*)$"));
    const QRegularExpressionMatch m =
        colon > 0 ? versionPattern.match(value.mid(colon + 1)) : QRegularExpressionMatch();
    if (!m.hasMatch())
        throw EUsage(QStringLiteral("%1 takes FILE:V1.V2 (versions 0..255)").arg(option));
    return {value.left(colon), m.captured(1), m.captured(2)};
}

int Merge(TCli& cli, const QStringList& args)
{
    static const char* const rowOptions[] = {"--main", "--slave1", "--slave2", "--slave3",
                                             "--slave4"};
    TFirmwareMerge merge;
    QString outDir;
    bool force = false;
    bool any = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString opt = args[i];
        auto value = [&]() {
            if (i + 1 >= args.size()) throw EUsage(QStringLiteral("%1 needs a value").arg(opt));
            return args[++i];
        };
        if (opt == QLatin1String("--out")) {
            outDir = value();
        } else if (opt == QLatin1String("--force")) {
            force = true;
        } else {
            bool known = false;
            for (size_t row = 0; row < 5; ++row) {
                if (opt == QLatin1String(rowOptions[row])) {
                    merge.Inputs[row] = ParseMergeInput(opt, value());
                    known = any = true;
                }
            }
            if (!known) throw EUsage(QStringLiteral("unknown fw merge argument '%1'").arg(opt));
        }
    }
    if (outDir.isEmpty()) throw EUsage(QStringLiteral("fw merge needs --out DIR"));
    if (!any)
        throw EUsage(QStringLiteral("fw merge needs at least one of --main, --slave1 .. --slave4"));
    if (!QFileInfo(outDir).isDir()) {
        cli.Err(QStringLiteral("no such folder: %1").arg(outDir));
        return 1;
    }
    merge.LastFolder = QDir(outDir).absolutePath() + QLatin1Char('/');
    QJsonArray messages;
    merge.Memo = [&](const QString& line) {
        cli.Out(line);
        messages.append(line);
    };
    merge.Failure = [&](const QString& line) { cli.Err(line); };
    merge.ConfirmOverwrite = [&](const QString&) {
        if (!force)
            cli.Err(
                QStringLiteral("%1 exists; give --force to overwrite it").arg(merge.OutputPath()));
        return force;
    };
    if (!merge.Build()) {
        cli.Json(QStringLiteral("messages"), messages);
        cli.Err(QStringLiteral("Nothing merged"));
        return 1;
    }
    const QString path = merge.OutputPath();
    const bool saved = merge.Save(path);
    cli.Json(QStringLiteral("messages"), messages);
    if (!saved) return 1;
    cli.Out(path);
    cli.Json(QStringLiteral("file"), path);
    return 0;
}

int Info(TCli& cli, const QStringList& args)
{
    if (args.size() != 1) throw EUsage(QStringLiteral("fw info takes FILE"));
    const TFirmwareFile file = TFirmwareFile::Load(args[0]);
    QJsonArray parts;
    for (const TFirmwarePart& part : file.Parts) {
        parts.append(QJsonObject{{QStringLiteral("number"), part.Number},
                                 {QStringLiteral("name"), part.Name()},
                                 {QStringLiteral("bytes"), qint64(part.DataLength)},
                                 {QStringLiteral("headerChecksumOk"), part.ChecksumOk},
                                 {QStringLiteral("dataComplete"), part.DataComplete}});
        QString state = part.ChecksumOk ? QStringLiteral("header checksum ok")
                                        : QStringLiteral("header checksum wrong");
        if (part.ChecksumOk && !part.DataComplete) state += QStringLiteral(", data incomplete");
        cli.Out(QStringLiteral("%1  %2  %3 bytes  %4")
                    .arg(part.Number)
                    .arg(part.Name())
                    .arg(part.DataLength)
                    .arg(state));
    }
    cli.Json(QStringLiteral("parts"), parts);
    if (!file.Ok()) {
        cli.Err(file.Problem == TFirmwareFile::fpUnreadable
                    ? file.ProblemText()
                    : QStringLiteral("Bad FW file! ") + file.ProblemText());
        return 1;
    }
    return 0;
}

} // namespace

int CmdFirmware(TCli& cli, const QStringList& args)
{
    if (args.isEmpty()) throw EUsage(QStringLiteral("fw takes upgrade, merge or info"));
    const QString sub = args[0];
    if (sub == QLatin1String("upgrade")) return Upgrade(cli, args.mid(1));
    if (sub == QLatin1String("merge")) return Merge(cli, args.mid(1));
    if (sub == QLatin1String("info")) return Info(cli, args.mid(1));
    throw EUsage(QStringLiteral("unknown fw command '%1'").arg(sub));
}
