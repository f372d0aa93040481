#include "FaultPlan.h"

#include "SimFrame.h"

#include <QStringList>

QString TFaultPlan::Help()
{
    return QStringLiteral(
        "Fault plans (--fault, repeatable): KIND[:ARG][/cmd=G.C][/p2=N][/after=N][/count=N]\n"
        "  silence          answer nothing\n"
        "  drop:P           drop each reply with probability P (0..1, seeded)\n"
        "  badsum           corrupt the checksum (data checksum for data blocks)\n"
        "  refuse           answer with 0xFF in p1 low byte and a right checksum\n"
        "  split:A+B+...    write each reply in pieces of A, B, ... bytes\n"
        "  pad:N            append N extra bytes to each reply\n"
        "  delay:MS         delay each reply by MS milliseconds\n"
        "  close:N          close the TCP connection after N frames\n"
        "  /cmd=G.C         only replies to command group G, code C (e.g. 2.3: routing)\n"
        "  /p2=N            only replies whose p2 is N (routing: the output)\n"
        "  /after=N         leave the first N replies alone\n"
        "  /count=N         apply to N replies only\n"
        "Example: --fault badsum/count=2 --fault split:5+8 --fault silence/cmd=2.3/p2=3\n");
}

bool TFaultPlan::Add(const QString& text, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error) *error = QStringLiteral("bad fault plan '%1': %2").arg(text, why);
        return false;
    };
    QStringList parts = text.split(QLatin1Char('/'));
    QString head = parts.takeFirst();
    QString kind = head.section(QLatin1Char(':'), 0, 0).trimmed().toLower();
    QString arg = head.section(QLatin1Char(':'), 1);
    TFault f;
    bool ok = true;
    if (kind == QLatin1String("silence"))
        f.Kind = fkSilence;
    else if (kind == QLatin1String("drop"))
        f.Kind = fkDrop, f.Arg = arg.toDouble(&ok);
    else if (kind == QLatin1String("badsum"))
        f.Kind = fkBadSum;
    else if (kind == QLatin1String("refuse"))
        f.Kind = fkRefuse;
    else if (kind == QLatin1String("split")) {
        f.Kind = fkSplit;
        for (const QString& p : arg.split(QLatin1Char('+'))) {
            int n = p.toInt(&ok);
            if (!ok || n <= 0) return fail(QStringLiteral("split sizes must be positive numbers"));
            f.Pieces << n;
        }
    } else if (kind == QLatin1String("pad"))
        f.Kind = fkPad, f.Arg = arg.toInt(&ok);
    else if (kind == QLatin1String("delay"))
        f.Kind = fkDelay, f.Arg = arg.toInt(&ok);
    else if (kind == QLatin1String("close"))
        f.Kind = fkClose, f.Arg = arg.toInt(&ok);
    else
        return fail(QStringLiteral("unknown kind"));
    if (!ok || f.Arg < 0) return fail(QStringLiteral("bad argument"));
    for (const QString& p : parts) {
        QString key = p.section(QLatin1Char('='), 0, 0).trimmed();
        if (key == QLatin1String("cmd")) {
            const QStringList gc = p.section(QLatin1Char('='), 1).split(QLatin1Char('.'));
            bool gok = false, cok = false;
            f.Group = gc.value(0).toInt(&gok);
            f.Code = gc.value(1).toInt(&cok);
            if (gc.size() != 2 || !gok || !cok || f.Group < 0 || f.Group > 255 || f.Code < 0 ||
                f.Code > 255)
                return fail(QStringLiteral("cmd wants GROUP.CODE"));
            continue;
        }
        int value = p.section(QLatin1Char('='), 1).toInt(&ok);
        if (!ok || value < 0) return fail(QStringLiteral("bad number in '%1'").arg(p));
        if (key == QLatin1String("after"))
            f.After = value;
        else if (key == QLatin1String("count"))
            f.Count = value;
        else if (key == QLatin1String("p2"))
            f.P2 = value;
        else
            return fail(QStringLiteral("unknown option '%1'").arg(key));
    }
    FFaults << f;
    return true;
}

int TFaultPlan::CloseAfter() const
{
    for (const TFault& f : FFaults)
        if (f.Kind == fkClose) return int(f.Arg);
    return -1;
}

QList<TFaultPlan::TPiece> TFaultPlan::Apply(const QByteArray& reply)
{
    QByteArray bytes = reply;
    ++FReplies;
    // A reply to a command frame with 0xFF status is the device's own refusal.
    FLast = bytes.size() == 13 && uint8_t(bytes[4]) == 0xFF ? fvRefused : fvIntact;
    int delay = 0;
    QList<int> pieces;
    for (TFault& f : FFaults) {
        if (f.Kind == fkClose) continue;
        if (f.Group >= 0 &&
            (bytes.size() < 4 || uint8_t(bytes[2]) != f.Group || uint8_t(bytes[3]) != f.Code))
            continue;
        if (f.P2 >= 0 &&
            (bytes.size() < 8 || (uint8_t(bytes[6]) | (uint8_t(bytes[7]) << 8)) != f.P2))
            continue;
        ++f.Seen;
        if (f.Seen <= f.After || (f.Count >= 0 && f.Seen > f.After + f.Count)) continue;
        switch (f.Kind) {
        case fkSilence:
            FLast = fvDropped;
            return {};
        case fkDrop:
            if (FRandom.generateDouble() < f.Arg) {
                FLast = fvDropped;
                return {};
            }
            break;
        case fkBadSum:
            FLast = fvCorrupted;
            if (bytes.size() > 14)
                bytes[13] = char(bytes[13] + 1);
            else if (bytes.size() >= 13)
                bytes[12] = char(bytes[12] + 1);
            break;
        case fkRefuse:
            if (bytes.size() >= 13) {
                FLast = fvRefused;
                bytes[4] = char(0xFF);
                bytes[12] = char(SimWire::NegSum(bytes.constData(), 12));
            }
            break;
        case fkSplit:
            pieces = f.Pieces;
            break;
        case fkPad:
            for (int i = 0; i < int(f.Arg); ++i)
                bytes.append(char(0x5A + i));
            break;
        case fkDelay:
            delay += int(f.Arg);
            break;
        case fkClose:
            break;
        }
    }
    QList<TPiece> out;
    int pos = 0;
    for (int size : pieces) {
        if (pos >= bytes.size()) break;
        out << TPiece{out.isEmpty() ? delay : 2, bytes.mid(pos, size)};
        pos += size;
    }
    if (pos < bytes.size()) out << TPiece{out.isEmpty() ? delay : 2, bytes.mid(pos)};
    return out;
}
