#pragma once

#include <QObject>
#include <QString>
#include <QTime>
#include <functional>

class TQMCOMControl;

// One text line per frame and per notification, the same for the window's
// traffic view and matrixctl --trace:
//   20:45:29.123 TX A5 5B 02 03 02 00 03 00 00 00 00 00 F6  RouteSet (2, 3)
//   20:45:29.131 RX A5 5B 02 03 02 00 03 00 00 00 00 00 F6  RouteSet (2, 3)
//   20:45:34.140 NT 2026 time out
namespace Traffic
{
// "RouteSet (2, 3)", "(9, 9)" for a command the catalogue does not know,
// "EdidRead data block (3, 5)" for a 270-byte frame, "module packet" for a
// 32-byte one; empty for bytes without the frame header.
QString FrameName(const QByteArray& bytes);
// `direction` is a TFrameDirection.
QString FrameLine(const QTime& at, int direction, const QByteArray& bytes);
QString NotificationLine(const QTime& at, int code, qintptr wParam, qintptr lParam,
                         const QString& text);
} // namespace Traffic

// Turns a link controller's frames and notifications into traffic lines.
class TTrafficRecorder : public QObject
{
    Q_OBJECT
public:
    explicit TTrafficRecorder(TQMCOMControl* link, QObject* parent = nullptr);
    // The time stamp source; tests fix it.
    std::function<QTime()> Clock = [this] { return LocalTime(); };

private:
    // The wall clock in local time. Asking the system for local time looks
    // the time zone up each time (a file check per line, several lines per
    // exchange): the zone's offset is asked once a second instead.
    QTime LocalTime();
    qint64 FOffsetSecond = -1;
    qint64 FOffsetMs = 0;

signals:
    void Line(const QString& line);
};
