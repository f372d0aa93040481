// The shared operations against the fault-injecting simulator: each failure
// has the kind of where it happened and the system's own text, and a result
// holds only what the matrix confirmed.
#include "FreePort.h"
#include "MatrixOps.h"
#include "SimFrameLog.h"
#include "SimHarness.h"

#include <QtTest>

class TstOps : public QObject
{
    Q_OBJECT

    static int RouteSets(const TSimFrameLog& frames)
    {
        int n = 0;
        for (const TCommandPacket& p : frames.Commands())
            n += p.Group == 2 && p.Code == 3;
        return n;
    }

private slots:
    // Silence on output 3: outputs 1 and 2 stay routed and are named; a
    // refused reply is the link's "Send data failed!".
    void timeOutAndRefusalByTheMatrix()
    {
        TSimHarness h;
        h.Sim.Device().State().Power = true;
        QVERIFY(h.UseTcp());
        TMatrixOps ops(h.Link, &h.Flags);
        h.Sim.Faults().Add(QStringLiteral("silence/cmd=2.3/p2=3"));
        TRouting r;
        TOpStatus st = ops.Route(4, 0, &r);
        QCOMPARE(st.Kind, oeTimeOut);
        QCOMPARE(st.Errors, QStringList{"Time out!"});
        QCOMPARE(r.Input, (std::array<int, 4>{4, 4, 0, 0}));

        h.Sim.Faults().Clear();
        h.Sim.Faults().Add(QStringLiteral("refuse/cmd=6.5"));
        TAudio a;
        st = ops.Audio(2, 3, &a);
        QCOMPARE(st.Kind, oeLinkFailed);
        QCOMPARE(st.Errors, QStringList{"Send data failed!"});
        QCOMPARE(a.Source, (std::array<int, 4>{}));
        h.Sim.Faults().Clear();
        QVERIFY(ops.Audio(2, 3, &a).Ok());
        QCOMPARE(a.Source[1], 3);
    }

    // The power check and the window's own checks refuse before anything
    // is changed on the matrix.
    void powerOffAndRefusingChecks()
    {
        TSimHarness h;
        QVERIFY(h.UseTcp());
        TSimFrameLog frames(h.Sim);
        TMatrixOps ops(h.Link, &h.Flags);
        TRouting r;
        TOpStatus st = ops.Route(2, 1, &r);
        QCOMPARE(st.Kind, oePowerOff);
        QCOMPARE(st.Errors, QStringList{"System is power off, please turn it on first."});
        QCOMPARE(RouteSets(frames), 0);
        TDeviceStatus s;
        st = ops.Status(&s);
        QCOMPARE(st.Kind, oePowerOff);
        QCOMPARE(s.Power, 0);
        TDeviceState backup;
        int power = -1;
        QCOMPARE(ops.Backup(&backup, &power).Kind, oePowerOff);
        QCOMPARE(power, 0);

        h.Sim.Device().State().Power = true;
        st = ops.EdidCopy(4, 0); // the display on output 4 is not connected
        QCOMPARE(st.Kind, oeRefused);
        QCOMPARE(st.Errors,
                 QStringList({"EDID can not be read because output not connected.", "Output4"}));
        h.Sim.Device().State().EdidDipSwitch = true;
        QCOMPARE(ops.EdidMode(1, 1).Kind, oeRefused);
        QCOMPARE(ops.Route(5, 1, &r).Kind, oeBadInput);
        QCOMPARE(RouteSets(frames), 0);
    }

    // A matrix that is not there, and one whose TCP peer goes away.
    void linkFailures()
    {
        TSimHarness h;
        h.Sim.Device().State().Power = true;
        QVERIFY(h.UseTcp());
        TMatrixOps ops(h.Link, &h.Flags);
        int power = -1;
        QVERIFY(ops.Power(-1, &power).Ok());
        QCOMPARE(power, 1);
        h.Sim.Faults().Add(QStringLiteral("close:1")); // the peer goes away mid-exchange
        TRouting r;
        TOpStatus st = ops.Routing(&r);
        QCOMPARE(st.Kind, oeLinkFailed);
        QCOMPARE(st.Errors, QStringList{"TCP control failed!"});
        QCOMPARE(r.Input, (std::array<int, 4>{}));

        h.Link->Disconnect();
        h.Link->SetDevicePort(FreePort());
        st = ops.Power(1, &power);
        QCOMPARE(st.Kind, oeLinkFailed);
        QCOMPARE(st.Errors.value(0), QStringLiteral("Connect 127.0.0.1 failed"));
        QCOMPARE(power, -1);
    }
};

QTEST_MAIN(TstOps)
#include "tst_ops.moc"
