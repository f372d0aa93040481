// The simulated matrix as a pure function of bytes, and its fault plans.
#include "FaultPlan.h"
#include "MatrixDevice.h"
#include "link/Commands.h"

#include <QtTest>

class TstSimDevice : public QObject
{
    Q_OBJECT
private slots:
    void FramesInAnyPieces()
    {
        TMatrixDevice d;
        const QByteArray a = Catalogue::IrQuery().Packet.ToByteArray();
        const QByteArray b = Catalogue::Version().Packet.ToByteArray();
        // Noise before, a frame split across calls, two frames in one call.
        QCOMPARE(d.Feed(QByteArray("\x00\x13\xA5", 3) + a.left(4)).size(), 0);
        QList<QByteArray> r = d.Feed(a.mid(4) + b);
        QCOMPARE(r.size(), 2);
        QCOMPARE(uint8_t(r[0][2]), uint8_t(4));
        QCOMPARE(uint8_t(r[1][2]), uint8_t(1));
        // A frame with a wrong checksum is ignored, as the line noise it is.
        QByteArray bad = a;
        bad[12] = char(bad[12] + 1);
        QCOMPARE(d.Feed(bad).size(), 0);
        QCOMPARE(d.FramesReceived(), 3);
    }

    void PowerNeedsGuardWords()
    {
        TMatrixDevice d;
        auto reply = [&](const TCommandPacket& p) {
            return TCommandPacket::FromBytes(d.Feed(p.ToByteArray()).value(0));
        };
        QCOMPARE(reply(Cmd::PowerSet.Packet(SwitchOn)).P1Lo(), uint8_t(0xFF));
        QVERIFY(!d.State().Power);
        QCOMPARE(reply(Catalogue::PowerSet(true).Packet).P1Lo(), uint8_t(SwitchOn));
        QVERIFY(d.State().Power);
        QCOMPARE(reply(Catalogue::PowerStatus().Packet).P2Lo(), uint8_t(0xFF));
        QCOMPARE(reply(Catalogue::RouteSet(3, 2).Packet).P2Lo(), uint8_t(2));
        QCOMPARE(d.State().Route[1], 3);
        QCOMPARE(reply(Catalogue::RouteSet(5, 2).Packet).P1Lo(), uint8_t(0xFF));
        QCOMPARE(reply(TCommandPacket::Make(77, 1)).P1Lo(), uint8_t(0xFF));
    }

    void StateRoundTrip()
    {
        TMatrixState s;
        s.Power = true;
        s.Route = {4, 3, 2, 1};
        s.AudioSource[2] = 3;
        s.EdidDipSwitch = true;
        TMatrixState t;
        t.FromJson(s.ToJson());
        QCOMPARE(t.Power, true);
        QVERIFY(t.Route == s.Route);
        QCOMPARE(t.AudioSource[2], 3);
        QCOMPARE(t.EdidDipSwitch, true);
        // Junk keeps the defaults instead of crashing.
        TMatrixState u;
        u.FromJson(QJsonObject{{QStringLiteral("route"), QStringLiteral("nonsense")},
                               {QStringLiteral("version"), QJsonArray{1}}});
        QCOMPARE(u.Route[0], 1);
        QCOMPARE(u.VersionMajor, 2);
    }

    void FaultPlans()
    {
        TFaultPlan plan(7);
        QString error;
        QVERIFY(!plan.Add(QStringLiteral("split:5+x"), &error));
        QVERIFY(error.contains(QStringLiteral("split:5+x")));
        QVERIFY(!plan.Add(QStringLiteral("badsum/often=2"), &error));
        QVERIFY(!plan.Add(QStringLiteral("drop:-1"), &error));
        QVERIFY(plan.IsEmpty());

        const QByteArray reply = TMatrixDevice::Reply(4, 4, 254, 0xFF);
        QVERIFY(plan.Add(QStringLiteral("badsum/after=1/count=1")));
        QVERIFY(plan.Add(QStringLiteral("split:5+8")));
        auto first = plan.Apply(reply);
        QCOMPARE(first.size(), 2);
        QCOMPARE(first[0].Bytes + first[1].Bytes, reply);
        auto second = plan.Apply(reply);
        QCOMPARE(uint8_t(second[1].Bytes[7]), uint8_t(reply[12] + 1));
        QCOMPARE(plan.LastVerdict(), TFaultPlan::fvCorrupted);
        auto third = plan.Apply(reply);
        QCOMPARE(third[0].Bytes + third[1].Bytes, reply);
        QCOMPARE(plan.LastVerdict(), TFaultPlan::fvIntact);
        QCOMPARE(plan.Replies(), 3);

        TFaultPlan refuse;
        QVERIFY(refuse.Add(QStringLiteral("refuse")));
        const QByteArray refused = refuse.Apply(reply).first().Bytes;
        QCOMPARE(uint8_t(refused[4]), uint8_t(0xFF));
        QCOMPARE(CommandChecksum(reinterpret_cast<const uint8_t*>(refused.constData())),
                 uint8_t(refused[12]));
        QCOMPARE(refuse.LastVerdict(), TFaultPlan::fvRefused);
        // The device's own refusal counts as one, with or without a plan.
        TFaultPlan none;
        none.Apply(refused);
        QCOMPARE(none.LastVerdict(), TFaultPlan::fvRefused);

        // The same seed drops the same replies.
        TFaultPlan a(42), b(42);
        QVERIFY(a.Add(QStringLiteral("drop:0.5")));
        QVERIFY(b.Add(QStringLiteral("drop:0.5")));
        int dropped = 0;
        for (int i = 0; i < 200; ++i) {
            const bool da = a.Apply(reply).isEmpty();
            QCOMPARE(b.Apply(reply).isEmpty(), da);
            dropped += da;
        }
        QVERIFY(dropped > 50 && dropped < 150);

        // Aimed at one command and one p2 (the routing of output 3), counted
        // among those replies only.
        TFaultPlan aimed;
        QVERIFY(!aimed.Add(QStringLiteral("silence/cmd=2"), &error));
        QVERIFY(aimed.Add(QStringLiteral("silence/cmd=2.3/p2=3/after=1")));
        const QByteArray out3 = TMatrixDevice::Reply(2, 3, 1, 3);
        QVERIFY(!aimed.Apply(TMatrixDevice::Reply(2, 3, 1, 2)).isEmpty());
        QVERIFY(!aimed.Apply(TMatrixDevice::Reply(2, 1, 3, 3)).isEmpty());
        QVERIFY(!aimed.Apply(out3).isEmpty());
        QVERIFY(aimed.Apply(out3).isEmpty());
        QCOMPARE(aimed.LastVerdict(), TFaultPlan::fvDropped);
        QVERIFY(!aimed.Apply(reply).isEmpty());
    }
};

QTEST_MAIN(TstSimDevice)
#include "tst_simdevice.moc"
