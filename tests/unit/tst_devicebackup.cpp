// The backup file: what a restore accepts, what it refuses, and in which
// order it sends.
#include "link/DeviceBackup.h"

#include <QtTest>

namespace
{
TDeviceState Sample()
{
    TDeviceState s;
    s.Power = true;
    s.Device = QStringLiteral("4x4");
    s.Version = QStringLiteral("2.07");
    s.Routing = {3, 3, 1, 2};
    s.Audio = {2, 3, 1, 2};
    s.Ir = false;
    s.Keys = true;
    s.Apm = true;
    s.Beeper = false;
    return s;
}
} // namespace

class tst_devicebackup : public QObject
{
    Q_OBJECT
private slots:
    void roundTripAndOrder()
    {
        const QByteArray doc =
            TDeviceBackup::ToJson(Sample(), QDateTime(QDate(2026, 12, 8), QTime(20, 45), Qt::UTC));
        QVERIFY(doc.contains("\"created\": \"2026-12-08T20:45:00Z\""));
        TDeviceState back;
        QString error;
        QVERIFY2(TDeviceBackup::FromJson(doc, &back, &error), qPrintable(error));
        QVERIFY(back == Sample());

        const QList<TRestoreStep> steps = TDeviceBackup::RestoreSteps(back);
        QStringList sent;
        for (const TRestoreStep& s : steps)
            sent << QStringLiteral("%1,%2,%3,%4")
                        .arg(s.Command.Packet.Group)
                        .arg(s.Command.Packet.Code)
                        .arg(s.Command.Packet.P1)
                        .arg(s.Command.Packet.P2);
        QCOMPARE(sent, QStringList({"4,3,240,0", "1,15,15,0", "1,11,15,0", "1,13,240,0", "6,5,1,2",
                                    "6,5,2,3", "6,5,3,1", "6,5,4,2", "2,3,3,1", "2,3,3,2",
                                    "2,3,1,3", "2,3,2,4"}));
        QCOMPARE(steps[1].Description, QStringLiteral("Keys on panel: ON"));
        QCOMPARE(steps[4].Description, QStringLiteral("Input1 audio: Analog L/R In embeded"));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("error");
        QTest::newRow("truncated") << QByteArray("\"switches\"") << QByteArray("\"swi")
                                   << QString("not a whole JSON document");
        QTest::newRow("list") << QByteArray("{\n    \"audio\"") << QByteArray("[{\n    \"audio\"")
                              << QString("not a whole JSON document");
        QTest::newRow("format") << QByteArray("hdmi-matrix-backup") << QByteArray("other")
                                << QString("\"format\" is not \"hdmi-matrix-backup\"");
        QTest::newRow("newer") << QByteArray("\"formatVersion\": 1")
                               << QByteArray("\"formatVersion\": 2")
                               << QString("format version 2; this program reads version 1");
        QTest::newRow("route 5") << QByteArray("\"4\": 2\n    },\n    \"switches\"")
                                 << QByteArray("\"4\": 5\n    },\n    \"switches\"")
                                 << QString("\"routing\": output 4 has 5, want a number 1..4");
        QTest::newRow("audio 0") << QByteArray("\"audio\": {\n        \"1\": 2")
                                 << QByteArray("\"audio\": {\n        \"1\": 0")
                                 << QString("\"audio\": input 1 has 0, want a number 1..3");
        QTest::newRow("audio text") << QByteArray("\"audio\": {\n        \"1\": 2")
                                    << QByteArray("\"audio\": {\n        \"1\": \"2\"")
                                    << QString("\"audio\": input 1 has \"2\", want a number 1..3");
        QTest::newRow("audio 1.5") << QByteArray("\"audio\": {\n        \"1\": 2")
                                   << QByteArray("\"audio\": {\n        \"1\": 1.5")
                                   << QString("\"audio\": input 1 has 1.5, want a number 1..3");
        QTest::newRow("output 5") << QByteArray("\"routing\": {")
                                  << QByteArray("\"routing\": {\"5\": 1,")
                                  << QString("\"routing\" has \"5\", which is not a port 1..4");
        QTest::newRow("missing input")
            << QByteArray("\"audio\": {\n        \"1\": 2,") << QByteArray("\"audio\": {")
            << QString("\"audio\" has no entry for input 1");
        QTest::newRow("switch") << QByteArray("\"ir\": false") << QByteArray("\"ir\": 0")
                                << QString("\"switches\": \"ir\" is missing or not true/false");
        QTest::newRow("device")
            << QByteArray("\"4x4\"") << QByteArray("\"four\"")
            << QString("\"device\" is \"four\", want inputs x outputs like \"4x4\"");
        QTest::newRow("power") << QByteArray("\"power\": true") << QByteArray("\"power\": 1")
                               << QString("\"power\" is missing or not true/false");
    }
    void refusals()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, error);
        QByteArray doc = TDeviceBackup::ToJson(Sample());
        QVERIFY2(doc.contains(from), doc.constData());
        doc.replace(from, to);
        TDeviceState untouched = Sample();
        untouched.Version = QStringLiteral("untouched");
        TDeviceState state = untouched;
        QString why;
        QVERIFY(!TDeviceBackup::FromJson(doc, &state, &why));
        QVERIFY2(why.startsWith(QStringLiteral("Bad backup file: ") + error), qPrintable(why));
        QVERIFY(state == untouched);
    }

    void restoreStopsAtTheFirstFailureAndRefusesWhenOff()
    {
        QStringList sent;
        int failAt = 3;
        TDeviceBackup backup([&](const TCatalogueCommand& c, TCommandReply* r) {
            sent << QStringLiteral("%1,%2").arg(c.Packet.Group).arg(c.Packet.Code);
            r->Ok = sent.size() != failAt;
            r->Packet.P2 = 0xFF; // power on
            return r->Ok != 0;
        });
        int done = 0;
        QVERIFY(!backup.Restore(Sample(), [&](const TRestoreStep&) { ++done; }));
        QCOMPARE(sent, QStringList({"16,1", "4,3", "1,15"}));
        QCOMPARE(done, 1);
        QVERIFY(backup.Error().isEmpty()); // the runner reported it

        backup.PowerState = [] { return 0; };
        sent.clear();
        QVERIFY(!backup.Restore(Sample()));
        TDeviceState state;
        QVERIFY(!backup.Read(&state));
        QCOMPARE(sent, QStringList());
        QCOMPARE(backup.Error(), QLatin1String(TDeviceBackup::PowerOffText));
    }

    void tooBigFileIsRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.json"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(TDeviceBackup::ToJson(Sample()) + QByteArray(TDeviceBackup::MaxFileSize, ' '));
        f.close();
        TDeviceState s;
        QString why;
        QVERIFY(!TDeviceBackup::Load(path, &s, &why));
        QVERIFY2(why.contains(QLatin1String("larger than")), qPrintable(why));
    }
};

QTEST_MAIN(tst_devicebackup)
#include "tst_devicebackup.moc"
