// The TCP client on loopback: time-outs, refusals and queued bytes.
#include "DeadPort.h"
#include "SimHarness.h"
#include "transport/Powersock.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class TstPowersock : public QObject
{
    Q_OBJECT
private slots:
    void ConnectTimesOut()
    {
        TDeadPort dead;
        TPowersock sock;
        sock.SetHost(QStringLiteral("127.0.0.1"));
        sock.SetPort(dead.Port);
        sock.SetTimeOut(200);
        QString error;
        try {
            sock.Connect();
        } catch (const ESockError& e) {
            error = e.Text();
        }
        QCOMPARE(error, QStringLiteral("Connection Timed out"));
        QVERIFY(!sock.Connected());
        // Ready for the next connect, to a peer that answers.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        sock.SetPort(server.serverPort());
        sock.Connect();
        QVERIFY(sock.Connected());
    }

    void CancelAndAbortEndAConnectAtOnce()
    {
        TDeadPort dead;
        TPowersock sock;
        sock.SetHost(QStringLiteral("127.0.0.1"));
        sock.SetPort(dead.Port);
        sock.SetTimeOut(5000);
        QTimer::singleShot(30, &sock, [&] { sock.Cancel(); });
        QString error;
        try {
            sock.Connect();
        } catch (const ESockError& e) {
            error = e.Text();
        }
        QCOMPARE(error, QStringLiteral("Connection Canceled"));

        // The window's abort flag ends the link's connect the same way.
        TTiming t = TTiming::Fast();
        t.ConnectTimeoutMs = 5000;
        TSimHarness h(t);
        h.Link->SetDeviceIP(QStringLiteral("127.0.0.1"));
        h.Link->SetDevicePort(dead.Port);
        QTimer::singleShot(30, [&] { h.Flags.Abort = true; });
        QVERIFY(!h.Link->Connect());
        QCOMPARE(h.Link->LastErrorText(), QStringLiteral("Connection Canceled"));
        QVERIFY(!h.Link->FConnecting);
    }

    void LinkReportsTimeOut()
    {
        TDeadPort dead;
        TTiming t = TTiming::Fast();
        t.ConnectTimeoutMs = 200;
        TSimHarness h(t);
        h.Link->SetControlMode(cmLAN);
        h.Link->SetDeviceIP(QStringLiteral("127.0.0.1"));
        h.Link->SetDevicePort(dead.Port);
        bool connectingSeen = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] { connectingSeen |= h.Link->FConnecting; });
        probe.start(20);
        QVERIFY(!h.Link->Connect());
        QVERIFY(connectingSeen); // the window stays alive and sees the flag meanwhile
        QVERIFY(!h.Link->FConnecting);
        QCOMPARE(h.Count(ntConnectFailed), 1);
        QCOMPARE(h.Of(ntConnectFailed).first().WParam, qintptr(0));
        QCOMPARE(h.Link->TcpClient()->TimeOut(), 0);
    }

    void NullAddressAndErrors()
    {
        TPowersock sock;
        sock.SetHost(QStringLiteral("0.0.0.0"));
        QString error;
        try {
            sock.Connect();
        } catch (const ESockError& e) {
            error = e.Text();
        }
        QCOMPARE(error, QStringLiteral("Null Remote Address"));
        QCOMPARE(TPowersock::SocketErrorText(10061), QStringLiteral("10061:Connection refused"));
        QCOMPARE(TPowersock::SocketErrorText(11001), QStringLiteral("11001:Host not found"));
        QCOMPARE(TPowersock::SocketErrorText(12345), QStringLiteral("Unknown Error No. 12345"));
        try {
            sock.SendBuffer(QByteArray("x"));
            QFAIL("sending on a closed client must fail");
        } catch (const ESockError& e) {
            QCOMPARE(e.Text(), QStringLiteral("10057:Socket is not connected"));
        }
    }

    void BackToBackRepliesQueued()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        TPowersock sock;
        sock.SetHost(QStringLiteral("127.0.0.1"));
        sock.SetPort(server.serverPort());
        sock.Connect();
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket* peer = server.nextPendingConnection();
        peer->write(QByteArray(13, 'a'));
        peer->flush();
        peer->write(QByteArray(13, 'b'));
        peer->flush();
        QByteArray got;
        QTRY_VERIFY((got += sock.ReadAvailable()).size() == 26);
        QCOMPARE(got, QByteArray(13, 'a') + QByteArray(13, 'b'));
        QCOMPARE(sock.ReadAvailable(), QByteArray()); // never waits
        // The peer going away is noticed.
        peer->disconnectFromHost();
        QTRY_VERIFY(!sock.Connected());
    }
};

QTEST_MAIN(TstPowersock)
#include "tst_powersock.moc"
