#include "SimLine.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <memory>

TSimLine::TSimLine(TMatrixDevice* device, TFaultPlan* faults, QObject* parent)
    : QObject(parent), FDevice(device), FFaults(faults)
{
    FClock.start();
}

void TSimLine::Restart()
{
    ++FGeneration;
    FDevice->ResetLine();
    FRxBusyNs = FTxBusyNs = 0;
    FFramesSinceStart = 0;
    FOutQueue.clear();
}

qint64 TSimLine::WireNs(qint64 bytes) const
{
    return FBaud > 0 ? bytes * 10 * 1000000000LL / FBaud : 0;
}

void TSimLine::At(qint64 dueNs, std::function<void()> f)
{
    const int generation = FGeneration;
    auto guarded = [this, generation, f] {
        if (generation == FGeneration) f();
    };
    const qint64 left = dueNs - FClock.nsecsElapsed();
    if (left <= 0) {
        guarded();
        return;
    }
    // Sleep most of the way on a timer, then finish on zero timers so that the
    // line keeps its baud rate to well under a millisecond.
    // Only the pending timer holds the step: a line deleted before it is due
    // frees it with the timer.
    auto finish = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> self = finish;
    *finish = [this, dueNs, guarded, self] {
        if (FClock.nsecsElapsed() >= dueNs) {
            guarded();
            return;
        }
        if (auto again = self.lock()) QTimer::singleShot(0, this, [again] { (*again)(); });
    };
    const int ms = int(left / 1000000) - 1;
    QTimer::singleShot(qMax(0, ms), Qt::PreciseTimer, this, [finish] { (*finish)(); });
}

void TSimLine::Receive(const QByteArray& bytes)
{
    FBytesIn += bytes.size();
    const qint64 at = FClock.nsecsElapsed();
    if (FRecordTurnarounds && FLastTxNs >= 0 && FOutQueue.isEmpty())
        FTurnarounds.append(at - FLastTxNs);
    FLastTxNs = -1;
    if (FBaud <= 0) {
        Deliver(bytes);
        return;
    }
    const qint64 now = FClock.nsecsElapsed();
    FRxBusyNs = qMax(now, FRxBusyNs) + WireNs(bytes.size());
    At(FRxBusyNs, [this, bytes] { Deliver(bytes); });
}

void TSimLine::Deliver(const QByteArray& bytes)
{
    Log("rx", bytes);
    FDevice->SetNow(FClock.elapsed());
    const int before = FDevice->FramesReceived();
    const QList<QByteArray> replies = FDevice->Feed(bytes);
    FFramesSinceStart += FDevice->FramesReceived() - before;
    for (const QByteArray& reply : replies) {
        const QList<TFaultPlan::TPiece> pieces = FFaults->Apply(reply);
        for (int i = 0; i < pieces.size(); ++i) {
            const auto& piece = pieces[i];
            // A delayed reply is due that long after its command came in, like
            // a slow matrix, not after the replies still queued before it; the
            // pieces of a split reply follow each other with their gap.
            const qint64 delayNs = qint64(piece.DelayMs) * 1000000;
            const qint64 now = FClock.nsecsElapsed();
            const qint64 start =
                i == 0 ? qMax(now + delayNs, FTxBusyNs) : qMax(now, FTxBusyNs) + delayNs;
            FTxBusyNs = start + WireNs(piece.Bytes.size());
            FOutQueue.append({FTxBusyNs, piece.Bytes});
            At(FTxBusyNs, [this] { SendDue(); });
        }
    }
    const int closeAfter = FFaults->CloseAfter();
    if (closeAfter >= 0 && FFramesSinceStart >= closeAfter && FCloser)
        At(FTxBusyNs, [this] {
            SendDue();
            if (FCloser) FCloser();
        });
    if (FDevice->FramesReceived() != before) emit FrameHandled();
}

void TSimLine::SendDue()
{
    // Due times only grow along the queue, and timers that fall due together
    // may fire in any order: always send from the front.
    const qint64 now = FClock.nsecsElapsed();
    while (!FOutQueue.isEmpty() && FOutQueue.first().first <= now)
        Send(FOutQueue.takeFirst().second);
}

void TSimLine::Send(const QByteArray& bytes)
{
    Log("tx", bytes);
    FBytesOut += bytes.size();
    FLastTxNs = FClock.nsecsElapsed();
    if (FWriter) FWriter(bytes);
}

void TSimLine::Log(const char* dir, const QByteArray& bytes)
{
    if (!FLog || !FLog->isOpen()) return;
    QJsonObject o;
    o[QStringLiteral("t")] = double(FClock.nsecsElapsed()) / 1e9;
    o[QStringLiteral("dir")] = QLatin1String(dir);
    o[QStringLiteral("hex")] = QString::fromLatin1(bytes.toHex(' ').toUpper());
    FLog->write(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
    FLog->flush();
}
