// The command transaction against the simulated matrix, over loopback TCP and
// over a pseudo-terminal, with the faults a real line produces.
#include "SimHarness.h"
#include "link/Commands.h"
#include "transport/Powersock.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

class TstTransaction : public QObject
{
    Q_OBJECT

    bool Start(TSimHarness& h)
    {
        QFETCH_GLOBAL(bool, serial);
        return serial ? h.UsePty() : h.UseTcp();
    }

    static TCommandPacket IrQuery() { return Catalogue::IrQuery().Packet; }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("tcp") << false;
        QTest::newRow("pty") << true;
    }

    void AcceptedReply()
    {
        TSimHarness h;
        QVERIFY(Start(h));
        h.Sim.Device().State().Ir = true;
        TCommandReply r = h.Run(IrQuery());
        QCOMPARE(r.Ok, uint8_t(1));
        QCOMPARE(r.P2Lo(), uint8_t(0xFF));
        QCOMPARE(h.Sim.Device().FramesReceived(), 1);
        // The log line of the first try and of the reply went out, then the
        // bytes were reported.
        QCOMPARE(
            h.Of(ntCommandLog).first().Text,
            QStringLiteral(
                "[1] snd cmd PPP:   \r\nA5 5B 04 04 [00 UU FE] [00 00] [00 00] [00 00] FA, RC=0"));
        QVERIFY(h.Of(ntCommandLog)
                    .last()
                    .Text.startsWith(QStringLiteral("rcv cmd PPP:   \r\nA5 5B 04 04")));
        QCOMPARE(h.Count(ntTimeOut) + h.Count(ntSendFailed) + h.Count(ntPortError), 0);
    }

    void ReplyInPieces()
    {
        TSimHarness h;
        QVERIFY(Start(h));
        QVERIFY(h.Sim.Faults().Add(QStringLiteral("split:5+8")));
        TCommandReply r = h.Run(Catalogue::Version().Packet);
        QCOMPARE(r.Ok, uint8_t(1));
        QCOMPARE(Catalogue::VersionText(r), QStringLiteral("Version: 2.07"));
        QCOMPARE(h.Sim.Device().FramesReceived(), 1);
        QVERIFY(h.Count(ntBytesReceived) >= 2);
    }

    void ExtraBytesDropped()
    {
        TSimHarness h;
        QVERIFY(Start(h));
        QVERIFY(h.Sim.Faults().Add(QStringLiteral("pad:3")));
        TCommandReply r = h.Run(IrQuery());
        QCOMPARE(r.Ok, uint8_t(1));
        // All 16 bytes are counted, 13 taken.
        int delivered = 0;
        for (const TNote& n : h.Of(ntBytesReceived))
            delivered += int(n.WParam);
        QCOMPARE(delivered, 16);
        QCOMPARE(h.Link->FRxPos, 0);
        // The next command is not confused by the dropped bytes.
        TCommandReply again = h.Run(Catalogue::Version().Packet);
        QCOMPARE(again.Ok, uint8_t(1));
        QCOMPARE(again.Packet.Group, uint8_t(1));
    }

    void LateRepliesSkipped()
    {
        // Each reply comes about 1.3 tries late, so every query but the first
        // meets the late answer of the one before it inside its own wait.
        TTiming t = TTiming::Fast();
        t.PollTickMs = 2;
        TSimHarness h(t);
        QVERIFY(Start(h));
        h.Sim.Device().State().Route = {3, 1, 4, 2};
        QVERIFY(h.Sim.Faults().Add(QStringLiteral("delay:130")));
        QVERIFY(h.Link->Connect());
        for (int out = 1; out <= 4; ++out) {
            TCommandReply r;
            h.Link->ExecuteCommand(Catalogue::RouteQuery(out).Packet, r);
            QCOMPARE(r.Ok, uint8_t(1));
            QCOMPARE(int(r.P2Lo()), h.Sim.Device().State().Route[size_t(out - 1)]);
        }
        // Without late replies not a frame more goes out: one per query.
        h.Sim.Faults().Clear();
        QTest::qWait(300);
        const int before = h.Sim.Device().FramesReceived();
        for (int out = 1; out <= 4; ++out)
            QCOMPARE(int(h.Run(Catalogue::RouteQuery(out).Packet).P2Lo()),
                     h.Sim.Device().State().Route[size_t(out - 1)]);
        QCOMPARE(h.Sim.Device().FramesReceived() - before, 4);
    }

    void SilentMatrix()
    {
        TSimHarness h;
        QVERIFY(Start(h));
        QVERIFY(h.Sim.Faults().Add(QStringLiteral("silence")));
        TCommandReply r;
        r.Packet = TCommandPacket::Make(9, 9, 9); // must be overwritten
        r.Ok = 1;
        QVERIFY(h.Link->Connect());
        h.Link->ExecuteCommand(IrQuery(), r);
        QCOMPARE(r.Ok, uint8_t(0));
        QCOMPARE(h.Sim.Device().FramesReceived(), 5);
        QCOMPARE(h.Count(ntTimeOut), 1);
        QCOMPARE(h.Count(ntSendFailed), 0);
        QCOMPARE(h.Link->FPollCount, h.Link->Timing().PollLimit);
        QCOMPARE(r.Packet.Group, uint8_t(9)); // no reply: the record's bytes are left alone
    }

    void WrongChecksumEveryTry()
    {
        TSimHarness h;
        QVERIFY(Start(h));
        QVERIFY(h.Sim.Faults().Add(QStringLiteral("badsum")));
        TCommandReply r = h.Run(IrQuery());
        QCOMPARE(r.Ok, uint8_t(0));
        QCOMPARE(h.Sim.Device().FramesReceived(), 5);
        QCOMPARE(h.Count(ntSendFailed), 1);
        QCOMPARE(h.Count(ntTimeOut), 0);
        // The last (rejected) reply is handed back.
        QCOMPARE(r.Packet.Group, uint8_t(4));
        QCOMPARE(r.Packet.Code, uint8_t(4));
        QVERIFY(CommandChecksum(r.Packet.Bytes().data()) != r.Packet.Checksum);
    }

    void RefusalRetried()
    {
        TSimHarness h;
        QVERIFY(Start(h));
        QVERIFY(h.Sim.Faults().Add(QStringLiteral("refuse/count=2")));
        TCommandReply r = h.Run(IrQuery());
        QCOMPARE(r.Ok, uint8_t(1));
        QCOMPARE(h.Sim.Device().FramesReceived(), 3);
        QCOMPARE(h.Count(ntSendFailed), 0);
    }

    void AbortDuringWait()
    {
        TTiming t = TTiming::Fast();
        t.PollLimit = 100000; // a wait that would never end by itself
        TSimHarness h(t);
        QVERIFY(Start(h));
        QVERIFY(h.Sim.Faults().Add(QStringLiteral("silence")));
        QVERIFY(h.Link->Connect());
        QTimer::singleShot(30, [&] { h.Flags.Abort = true; });
        TCommandReply r;
        r.Ok = 1;
        const int before = h.Notes.size();
        h.Link->ExecuteCommand(IrQuery(), r);
        QCOMPARE(r.Ok, uint8_t(0));
        QCOMPARE(h.Sim.Device().FramesReceived(), 1);
        QCOMPARE(h.Count(ntTimeOut) + h.Count(ntSendFailed), 0);
        QVERIFY(h.Link->FPollCount < 100000);
        // While the flag stays set, commands return at once and touch nothing.
        TCommandReply untouched;
        untouched.Ok = 1;
        const int notes = h.Notes.size();
        h.Link->ExecuteCommand(IrQuery(), untouched);
        QCOMPARE(untouched.Ok, uint8_t(1));
        QCOMPARE(h.Notes.size(), notes);
        QVERIFY(notes > before);
    }

    void ReplyTakenAtOnce()
    {
        // With a poll tick far longer than the reply takes, a reply must still
        // be taken the moment it arrives.
        TTiming t = TTiming::Fast();
        t.PollTickMs = 2000;
        TSimHarness h(t);
        QVERIFY(Start(h));
        TCommandReply r = h.Run(IrQuery());
        QCOMPARE(r.Ok, uint8_t(1));
        QCOMPARE(h.Link->FPollCount, 0);
    }
};

// Failures of the link itself, by transport.
class TstLinkFailures : public QObject
{
    Q_OBJECT
private slots:
    void ConnectRefused()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close(); // nothing listens there now
        TSimHarness h;
        h.Link->SetControlMode(cmLAN);
        h.Link->SetDeviceIP(QStringLiteral("127.0.0.1"));
        h.Link->SetDevicePort(port);
        QVERIFY(!h.Link->Connect());
        QCOMPARE(h.Count(ntConnectFailed), 1);
        QCOMPARE(h.Of(ntConnectFailed).first().WParam, qintptr(0));
        QCOMPARE(h.Link->LastErrorText(), QStringLiteral("Connection Failed"));
        QVERIFY(!h.Link->Connected());
        QVERIFY(!h.Link->FConnecting);
    }

    void NullAddress()
    {
        TSimHarness h;
        h.Link->SetControlMode(cmLAN);
        QVERIFY(!h.Link->Connect()); // DeviceIP defaults to 0.0.0.0
        QCOMPARE(h.Link->LastErrorText(), QStringLiteral("Null Remote Address"));
        QCOMPARE(h.Count(ntConnectFailed), 1);
    }

    void MissingSerialDevice()
    {
        TSimHarness h;
        h.Link->SetControlMode(cmCOM);
        h.Link->SetComPort(QStringLiteral("/nonexistent/ttyNOPE"));
        QVERIFY(!h.Link->Connect());
        QCOMPARE(h.Count(ntConnectFailed), 1);
        QVERIFY(h.Link->LastErrorText().startsWith(
            QStringLiteral("Unable to open com port (win error code: ")));
        TCommandReply r;
        h.Link->ExecuteCommand(Catalogue::IrQuery().Packet, r); // never connected
        QCOMPARE(r.Ok, uint8_t(0));
        QCOMPARE(h.Count(ntPortError), 1);
    }

    void PeerClosesThenCallerReconnects()
    {
        TSimHarness h;
        QVERIFY(h.UseTcp());
        QVERIFY(h.Sim.Faults().Add(QStringLiteral("close:1")));
        TCommandReply first = h.Run(Catalogue::IrQuery().Packet);
        QCOMPARE(first.Ok, uint8_t(1));
        QTRY_VERIFY(!h.Link->Connected());
        // The next command finds the link down and fails cleanly...
        TCommandReply failed;
        h.Link->ExecuteCommand(Catalogue::IrQuery().Packet, failed);
        QCOMPARE(failed.Ok, uint8_t(0));
        QCOMPARE(h.Count(ntPortError), 1);
        // ...and a caller that connects again gets through.
        TCommandReply again = h.Run(Catalogue::Version().Packet);
        QCOMPARE(again.Ok, uint8_t(1));
    }

    void SerialDeviceVanishes()
    {
        TSimHarness h;
        auto* sim = new TMatrixSim;
        QTemporaryDir dir;
        QVERIFY(sim->OpenPty(dir.filePath(QStringLiteral("tty"))));
        h.Link->SetControlMode(cmCOM);
        h.Link->SetComPort(sim->PtyLink());
        QVERIFY(h.Link->Connect());
        TCommandReply r;
        h.Link->ExecuteCommand(Catalogue::IrQuery().Packet, r);
        QCOMPARE(r.Ok, uint8_t(1));
        delete sim; // the pseudo-terminal goes away under the open port
        TCommandReply after;
        h.Link->ExecuteCommand(Catalogue::IrQuery().Packet, after);
        QCOMPARE(after.Ok, uint8_t(0));
        QVERIFY(h.Count(ntPortError) + h.Count(ntTimeOut) + h.Count(ntSendFailed) >= 1);
        // Reopening a port that is gone fails with the connect notification.
        h.Link->Disconnect();
        QVERIFY(!h.Link->Connect());
        QVERIFY(h.Count(ntConnectFailed) >= 1);
    }

    void OverlongReplies()
    {
        // Hundreds of bytes after each reply are dropped; every reply is still taken.
        TSimHarness h;
        QVERIFY(h.UseTcp());
        QVERIFY(h.Link->Connect());
        QVERIFY(h.Sim.Faults().Add(QStringLiteral("pad:300")));
        for (int i = 0; i < 3; ++i) {
            TCommandReply r;
            h.Link->ExecuteCommand(Catalogue::IrQuery().Packet, r);
            QCOMPARE(r.Ok, uint8_t(1));
        }
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rc = 0;
    {
        TstTransaction t;
        rc |= QTest::qExec(&t, argc, argv);
    }
    {
        TstLinkFailures t;
        rc |= QTest::qExec(&t, argc, argv);
    }
    return rc;
}
#include "tst_transaction.moc"
