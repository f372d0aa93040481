#include "SimHarness.h"
#include "link/Commands.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

using TRecord = TMatrixDevice::TBlockRecord;

static std::unique_ptr<TSimHarness> Harness(bool tcp)
{
    auto h = std::make_unique<TSimHarness>();
    const bool ok = tcp ? h->UseTcp() : h->UsePty();
    return ok && h->Link->Connect() ? std::move(h) : nullptr;
}

static QList<int> ReadRequests(TSimHarness& h)
{
    QList<int> p1s;
    for (const TRecord& r : h.Sim.Device().BlockLog())
        if (!r.Data && r.Header.Code == Cmd::EdidRead.Code && (r.Header.P1 >> 8) != 0xF0)
            p1s << r.Header.P1;
    return p1s;
}

static QList<TRecord> DataFrames(TSimHarness& h)
{
    QList<TRecord> frames;
    for (const TRecord& r : h.Sim.Device().BlockLog())
        if (r.Data) frames << r;
    return frames;
}

class TstBlockTransfer : public QObject
{
    Q_OBJECT
private slots:
    void ReadEdid_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QList<int>>("requests");
        QTest::newRow("tcp, one block") << true << 256 << QList<int>{0xAA};
        QTest::newRow("pty, one block") << false << 256 << QList<int>{0xAA};
        QTest::newRow("tcp, two blocks") << true << 128 << QList<int>{0xAA, 0x00};
        QTest::newRow("pty, two blocks") << false << 128 << QList<int>{0xAA, 0x00};
    }
    void ReadEdid()
    {
        QFETCH(bool, tcp);
        QFETCH(int, blockSize);
        QFETCH(QList<int>, requests);
        auto h = Harness(tcp);
        QVERIFY(h);
        h->Sim.Device().State().EdidBlockSize = blockSize;
        QFile f(QFINDTESTDATA("../../testdata/edid/DEL-DELL_U2719DC-6156DC19.bin"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        h->Sim.Device().State().OutputEdid[1] = f.readAll();
        h->Link->EdidReadBuffer() = "stale";
        TCommandReply reply;
        h->Link->ReadBlocks(Cmd::EdidRead.Packet(0xF002), reply);
        QCOMPARE(reply.Ok, uint8_t(1));
        QCOMPARE(reply.P1Lo(), uint8_t(rsLastBlock));
        QCOMPARE(h->Link->EdidReadBuffer(), h->Sim.Device().State().OutputEdid[1]);
        QCOMPARE(ReadRequests(*h), requests);
        QCOMPARE(h->Count(ntTransferDone), 1);
        QCOMPARE(h->Count(ntSendFailed) + h->Count(ntTimeOut), 0);
    }

    // A corrupted block is asked for from the start while none has been
    // accepted, and again by itself afterwards.
    void ReadReRequests_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<int>("after");
        QTest::addColumn<QList<int>>("requests");
        QTest::newRow("tcp, first block") << true << 1 << QList<int>{0xAA, 0xAA, 0x00};
        QTest::newRow("pty, first block") << false << 1 << QList<int>{0xAA, 0xAA, 0x00};
        QTest::newRow("tcp, second block") << true << 2 << QList<int>{0xAA, 0x00, 0xFF};
        QTest::newRow("pty, second block") << false << 2 << QList<int>{0xAA, 0x00, 0xFF};
    }
    void ReadReRequests()
    {
        QFETCH(bool, tcp);
        QFETCH(int, after);
        QFETCH(QList<int>, requests);
        auto h = Harness(tcp);
        QVERIFY(h);
        h->Sim.Device().State().EdidBlockSize = 128;
        QVERIFY(h->Sim.Faults().Add(QStringLiteral("badsum/after=%1/count=1").arg(after)));
        TCommandReply reply;
        h->Link->ReadBlocks(Cmd::EdidRead.Packet(0xF001), reply);
        QCOMPARE(reply.Ok, uint8_t(1));
        QCOMPARE(ReadRequests(*h), requests);
        QCOMPARE(h->Link->EdidReadBuffer(), h->Sim.Device().State().OutputEdid[0]);
        QCOMPARE(h->Count(ntTransferDone), 1);
    }

    void ReadFailures()
    {
        // Every block corrupted: five requests, one 2037, no 2030.
        auto h = Harness(true);
        QVERIFY(h);
        QVERIFY(h->Sim.Faults().Add(QStringLiteral("badsum/after=1")));
        TCommandReply reply;
        h->Link->ReadBlocks(Cmd::EdidRead.Packet(0xF001), reply);
        QCOMPARE(reply.Ok, uint8_t(0));
        QCOMPARE(ReadRequests(*h), (QList<int>{0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));
        QCOMPARE(h->Count(ntSendFailed), 1);
        QCOMPARE(h->Count(ntTransferDone), 0);

        // Blocks never come: 2026 after the fifth request.
        auto s = Harness(false);
        QVERIFY(s);
        QVERIFY(s->Sim.Faults().Add(QStringLiteral("silence/after=1")));
        s->Link->ReadBlocks(Cmd::EdidRead.Packet(0xF001), reply);
        QCOMPARE(reply.Ok, uint8_t(0));
        QCOMPARE(ReadRequests(*s).size(), 5);
        QCOMPARE(s->Count(ntTimeOut), 1);
        QCOMPARE(s->Count(ntSendFailed), 0);
    }

    // A block claiming more than 256 bytes cannot be in the frame; it is a
    // failed try, never copied.
    void ReadOversizedBlock()
    {
        TProcessFlags flags;
        TQMCOMControl link(&flags, TTiming::Fast());
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QList<int> requests;
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* s = server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s, &requests] {
                while (s->bytesAvailable() >= 13) {
                    const TCommandPacket in = TCommandPacket::FromBytes(s->read(13));
                    if (in.P1 == 0xF001) {
                        s->write(TMatrixDevice::Reply(3, 5, 0xF001));
                        continue;
                    }
                    requests << in.P1;
                    QByteArray block = TDataBlockFrame::Build(3, 5, true, 0, 0, nullptr, 0, true);
                    block[6] = char(0x2C), block[7] = char(0x01); // p2 = 300
                    block[12] =
                        char(CommandChecksum(reinterpret_cast<const uint8_t*>(block.constData())));
                    s->write(block);
                }
            });
        });
        link.SetControlMode(cmLAN);
        link.SetDeviceIP(QStringLiteral("127.0.0.1"));
        link.SetDevicePort(server.serverPort());
        QList<int> codes;
        connect(&link, &TQMCOMControl::Notify, &link,
                [&](int code, qintptr, qintptr, const QString&) { codes << code; });
        QVERIFY(link.Connect());
        TCommandReply reply;
        link.ReadBlocks(Cmd::EdidRead.Packet(0xF001), reply);
        QCOMPARE(reply.Ok, uint8_t(0));
        QCOMPARE(requests, (QList<int>{0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));
        QVERIFY(link.EdidReadBuffer().isEmpty());
        QVERIFY(codes.contains(ntSendFailed));
    }

    void Download_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("lengths");
        QTest::newRow("tcp, 256") << true << 256 << QList<int>{256};
        QTest::newRow("pty, 256") << false << 256 << QList<int>{256};
        QTest::newRow("tcp, 300") << true << 300 << QList<int>{256, 44};
        QTest::newRow("pty, 300") << false << 300 << QList<int>{256, 44};
    }
    void Download()
    {
        QFETCH(bool, tcp);
        QFETCH(int, size);
        QFETCH(QList<int>, lengths);
        auto h = Harness(tcp);
        QVERIFY(h);
        QByteArray data(size, '\0');
        for (int i = 0; i < size; ++i)
            data[i] = char(i * 7 + 3);
        h->Link->EdidDownloadBuffer() = data;
        TSimLine* line = tcp ? h->Sim.TcpLine() : h->Sim.PtyLine();
        const qint64 before = line->BytesIn();
        TCommandReply reply;
        h->Link->WriteBlocks(Cmd::EdidWrite.Packet(0xF002), reply);
        QCOMPARE(reply.Ok, uint8_t(1));
        const QList<TRecord> frames = DataFrames(*h);
        QCOMPARE(frames.size(), lengths.size());
        for (int i = 0; i < frames.size(); ++i) {
            const bool last = i == frames.size() - 1;
            QCOMPARE(frames[i].Header.P1, uint16_t(last ? 0x56 : 0xAA));
            QCOMPARE(int(frames[i].Header.P2), lengths[i]);
            // As received: full size, zero filler after the data.
            const QByteArray& raw = frames[i].Raw;
            QCOMPARE(raw.size(), 270);
            QCOMPARE(raw.mid(14 + lengths[i]), QByteArray(270 - 14 - lengths[i], '\0'));
        }
        // The opening and every frame padded to 270 bytes, nothing else.
        QCOMPARE(line->BytesIn() - before, qint64(13 + 270 * lengths.size()));
        QCOMPARE(h->Sim.Device().State().InputEdid[1], data);
        QCOMPARE(h->Count(ntTransferDone), 1);
        // The sent-data dump shows the frame up to its data.
        const QList<TNote> dumps = h->Of(ntDump);
        QVERIFY(std::any_of(dumps.begin(), dumps.end(), [](const TNote& n) {
                    return n.Text.startsWith(
                        QStringLiteral("0xA5, 0x5B, 0x03, 0x07, |0x56, 0x00, |0x00, 0x01"));
                }) == (size == 256));
    }

    void DownloadTargetsAndRepeats()
    {
        auto h = Harness(true);
        QVERIFY(h);
        const QByteArray a(256, 'a');
        h->Link->EdidDownloadBuffer() = a;
        TCommandReply reply;
        h->Link->WriteBlocks(Cmd::EdidWrite.Packet(0xF200), reply);
        QCOMPARE(reply.Ok, uint8_t(1));
        QCOMPARE(h->Sim.Device().State().UserEdid[1], a);
        // A lost acknowledgement makes the frame go again; it is stored once.
        QVERIFY(h->Sim.Faults().Add(QStringLiteral("badsum/after=1/count=1")));
        const QByteArray b = QByteArray(256, 'b') + QByteArray(10, 'c');
        h->Link->EdidDownloadBuffer() = b;
        h->Sim.Device().ClearBlockLog();
        h->Link->WriteBlocks(Cmd::EdidWriteAll.Packet(EdidAllInputsParam), reply);
        QCOMPARE(reply.Ok, uint8_t(1));
        QCOMPARE(DataFrames(*h).size(), 3);
        for (const QByteArray& input : h->Sim.Device().State().InputEdid)
            QCOMPARE(input, b);
    }

    void DownloadNotReady()
    {
        auto h = Harness(false);
        QVERIFY(h);
        h->Sim.Device().State().EdidWriteNotReady = true;
        h->Link->EdidDownloadBuffer() = QByteArray(256, 'x');
        const qint64 before = h->Sim.PtyLine()->BytesIn();
        TCommandReply reply;
        h->Link->WriteBlocks(Cmd::EdidWrite.Packet(0xF001), reply);
        QCOMPARE(reply.Ok, uint8_t(0));
        QCOMPARE(h->Count(ntDataInvalid), 1);
        QCOMPARE(h->Sim.PtyLine()->BytesIn() - before, qint64(13)); // no data frame
        QVERIFY(DataFrames(*h).isEmpty());
        QCOMPARE(h->Count(ntTransferDone), 0);
    }
};

QTEST_MAIN(TstBlockTransfer)
#include "tst_blocktransfer.moc"
