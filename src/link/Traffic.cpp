#include "Traffic.h"

#include "Commands.h"
#include "Notifications.h"
#include "QMCOMControl.h"

#include <QDateTime>

namespace Traffic
{

static QString Stamp(const QTime& at)
{
    return at.toString(QStringLiteral("hh:mm:ss.zzz"));
}

QString FrameName(const QByteArray& bytes)
{
    if (bytes.size() < 4 || uint8_t(bytes[0]) != 0xA5 || uint8_t(bytes[1]) != 0x5B) {
        return bytes.size() == FrameSizeModule ? QStringLiteral("module packet") : QString();
    }
    const uint8_t group = uint8_t(bytes[2]);
    const uint8_t code = uint8_t(bytes[3]);
    const QString numbers = QStringLiteral("(%1, %2)").arg(group).arg(code);
    QString name = Catalogue::CommandName(group, code);
    if (bytes.size() == FrameSizeBlock)
        name = name.isEmpty() ? QStringLiteral("data block") : name + QStringLiteral(" data block");
    else if (bytes.size() == FrameSizeModule && name.isEmpty())
        name = QStringLiteral("module packet");
    return name.isEmpty() ? numbers : name + QLatin1Char(' ') + numbers;
}

QString FrameLine(const QTime& at, int direction, const QByteArray& bytes)
{
    static const char* const tags[] = {"TX", "RX", "RX?"};
    const char* tag = direction >= fdSent && direction <= fdPartial ? tags[direction] : "??";
    QString line = Stamp(at) + QLatin1Char(' ') + QLatin1String(tag) + QLatin1Char(' ') +
                   QString::fromLatin1(bytes.toHex(' ').toUpper());
    if (direction == fdPartial) line += QStringLiteral("  incomplete, %1 bytes").arg(bytes.size());
    const QString name = FrameName(bytes);
    if (!name.isEmpty()) line += QStringLiteral("  ") + name;
    return line;
}

static const char* NotificationName(int code)
{
    switch (code) {
    case ntBytesReceived:
        return "bytes received";
    case ntCommandLog:
        return "command log";
    case ntTimeOut:
        return "time out";
    case ntDump:
        return "dump";
    case ntDataInvalid:
        return "data invalid";
    case ntTransferDone:
        return "transfer done";
    case ntPortError:
        return "port error";
    case ntConnectFailed:
        return "connect failed";
    case ntPartDeclined:
        return "part declined";
    case ntPartProgress:
        return "part progress";
    case ntSendFailed:
        return "send failed";
    case ntReboot:
        return "reboot";
    case ntModule:
        return "module";
    case ntSearchWizard:
        return "search wizard";
    default:
        return "notification";
    }
}

QString NotificationLine(const QTime& at, int code, qintptr wParam, qintptr lParam,
                         const QString& text)
{
    QString line =
        Stamp(at) + QStringLiteral(" NT %1 ").arg(code) + QLatin1String(NotificationName(code));
    if (wParam || lParam) line += QStringLiteral(" (%1, %2)").arg(wParam).arg(lParam);
    // Dumps and log lines are several lines with frames of asterisks: one
    // line here, without the frames.
    QStringList parts;
    for (const QString& line : text.split(QLatin1Char('\n')))
        for (const QString& part : line.split(QLatin1Char('\r'))) {
            const QString t = part.trimmed();
            if (!t.isEmpty() && t != QString(t.size(), QLatin1Char('*'))) parts << part;
        }
    if (!parts.isEmpty()) line += QStringLiteral(": ") + parts.join(QStringLiteral(" | "));
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    // Dumps show data bytes as characters: control characters would garble
    // the view and the saved file.
    for (QChar& c : line)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0)) c = QLatin1Char('.');
    return line;
}

} // namespace Traffic

QTime TTrafficRecorder::LocalTime()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now / 1000 != FOffsetSecond) {
        FOffsetSecond = now / 1000;
        FOffsetMs = qint64(QDateTime::currentDateTime().offsetFromUtc()) * 1000;
    }
    constexpr qint64 DayMs = 24 * 3600 * 1000;
    return QTime::fromMSecsSinceStartOfDay(int((((now + FOffsetMs) % DayMs) + DayMs) % DayMs));
}

TTrafficRecorder::TTrafficRecorder(TQMCOMControl* link, QObject* parent) : QObject(parent)
{
    // Direct: a line is out before the link goes on, as the notifications are.
    connect(
        link, &TQMCOMControl::Frame, this,
        [this](int direction, const QByteArray& bytes) {
            emit Line(Traffic::FrameLine(Clock(), direction, bytes));
        },
        Qt::DirectConnection);
    connect(
        link, &TQMCOMControl::Notify, this,
        [this](int code, qintptr w, qintptr l, const QString& text) {
            emit Line(Traffic::NotificationLine(Clock(), code, w, l, text));
        },
        Qt::DirectConnection);
}
