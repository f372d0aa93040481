#include "SimHarness.h"
#include "link/Commands.h"
#include "link/FirmwareMerge.h"
#include "link/FirmwareUpgrade.h"

#include <QRandomGenerator>
#include <QtTest>
#include <memory>

using TRecord = TMatrixDevice::TBlockRecord;

static std::unique_ptr<TSimHarness> Harness(bool tcp)
{
    auto h = std::make_unique<TSimHarness>();
    h->Sim.Device().State().RebootSilenceMs = 20;
    const bool ok = tcp ? h->UseTcp() : h->UsePty();
    return ok && h->Link->Connect() ? std::move(h) : nullptr;
}

static QByteArray RandomBytes(int n, quint32 seed)
{
    QRandomGenerator g(seed);
    QByteArray b(n, '\0');
    for (char& c : b)
        c = char(g.bounded(256));
    return b;
}

static QList<TRecord> DataFrames(TSimHarness& h)
{
    QList<TRecord> frames;
    for (const TRecord& r : h.Sim.Device().BlockLog())
        if (r.Data) frames << r;
    return frames;
}

static QList<qintptr> LParams(const TSimHarness& h, int code)
{
    QList<qintptr> values;
    for (const TNote& n : h.Of(code))
        values << n.LParam;
    return values;
}

// The runner with every hook recorded.
struct TUpgradeRun {
    explicit TUpgradeRun(TSimHarness& h) : Upgrade(h.Link, &h.Flags)
    {
        Upgrade.Hooks.Memo = [this](const QString& line) { Memo << line; };
        Upgrade.Hooks.Status = [this](int panel, const QString& text, bool blink) {
            if (panel == 2 && blink) Blinks << text;
            if (panel == 3 && !text.isEmpty()) Hints << text;
        };
    }
    TFirmwareUpgrade Upgrade;
    QStringList Memo;
    QStringList Blinks;
    QStringList Hints;
};

class TstFirmwareTransfer : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir FDir;
    QList<QByteArray> FImages;
    QString FFile;

private slots:
    void initTestCase()
    {
        const int sizes[5] = {600, 70000, 0, 256, 1000};
        TFirmwareMerge merge;
        merge.LastFolder = FDir.path();
        for (int i = 0; i < 5; ++i) {
            FImages << RandomBytes(sizes[i], quint32(100 + i));
            const QString path = FDir.filePath(QStringLiteral("mcu%1.bin").arg(i));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(FImages.last());
            merge.Inputs[size_t(i)] = {path, QString::number(i + 1), QStringLiteral("0")};
        }
        FFile = merge.Run();
        QVERIFY(!FFile.isEmpty());
    }

    void PartFrames_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("lengths");
        QTest::addColumn<QList<qintptr>>("progress");
        QTest::newRow("tcp, 600") << true << 600 << QList<int>{256, 256, 88}
                                  << QList<qintptr>{42, 85, 100};
        QTest::newRow("pty, 600") << false << 600 << QList<int>{256, 256, 88}
                                  << QList<qintptr>{42, 85, 100};
        QTest::newRow("pty, 256") << false << 256 << QList<int>{256} << QList<qintptr>{100};
        QTest::newRow("tcp, empty") << true << 0 << QList<int>{0} << QList<qintptr>{100};
    }
    void PartFrames()
    {
        QFETCH(bool, tcp);
        QFETCH(int, size);
        QFETCH(QList<int>, lengths);
        QFETCH(QList<qintptr>, progress);
        auto h = Harness(tcp);
        QVERIFY(h);
        const QByteArray data = RandomBytes(size, 7);
        h->Link->EdidDownloadBuffer() = data;
        TSimLine* line = tcp ? h->Sim.TcpLine() : h->Sim.PtyLine();
        const qint64 before = line->BytesIn();
        TCommandReply reply;
        h->Link->WriteFirmwarePart(TCommandPacket::Make(0x20, 2, 3, 0, 1, 7), reply);
        QCOMPARE(reply.Ok, uint8_t(1));
        const QList<TRecord> frames = DataFrames(*h);
        QCOMPARE(frames.size(), lengths.size());
        qint64 wire = 13;
        for (int i = 0; i < frames.size(); ++i) {
            const auto& f = frames[i].Header;
            QCOMPARE(f.P1, uint16_t(i == frames.size() - 1 ? 0x56 : 0xAA));
            QCOMPARE(int(f.P2), lengths[i]);
            QCOMPARE(f.P3, uint16_t(3));
            QCOMPARE(f.P4, uint16_t(i));
            QCOMPARE(frames[i].Raw.size(), 14 + lengths[i]);
            wire += 14 + lengths[i];
        }
        QCOMPARE(line->BytesIn() - before, wire); // frames not padded
        QCOMPARE(LParams(*h, ntPartProgress), progress);
        QCOMPARE(h->Of(ntPartProgress).first().WParam, qintptr(0x0203));
        QCOMPARE(h->Sim.Device().State().FirmwareParts.value(0x0203), data);
        QCOMPARE(h->Count(ntTransferDone), 1);
        QCOMPARE(h->Of(ntTransferDone).first().WParam, qintptr(0));
    }

    void ErasedMainPart()
    {
        auto h = Harness(false);
        QVERIFY(h);
        h->Sim.Device().State().RebootSilenceMs = 0; // the first probe is answered
        const QByteArray data = RandomBytes(300, 9);
        h->Link->EdidDownloadBuffer() = data;
        const qint64 before = h->Sim.PtyLine()->BytesIn();
        TCommandReply reply;
        h->Link->WriteFirmwarePartErased(TCommandPacket::Make(0x20, 1, 1, 0, 2, 15), reply);
        QCOMPARE(reply.Ok, uint8_t(1)); // the reboot wait's result
        const QList<TRecord> frames = DataFrames(*h);
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0].Raw.size(), 270);
        QCOMPARE(frames[1].Raw.size(), 270);
        QCOMPARE(frames[1].Raw.mid(14 + 44), QByteArray(270 - 14 - 44, '\0'));
        // Part command, two preparations, two full frames, the reboot probe.
        QCOMPARE(h->Sim.PtyLine()->BytesIn() - before, qint64(3 * 13 + 2 * 270 + 13));
        QCOMPARE(h->Sim.Device().State().FirmwareParts.value(0x0101), data);
        QCOMPARE(h->Sim.Device().State().Reboots, 1);
        const TNote done = h->Of(ntTransferDone).first();
        QCOMPARE(done.WParam, qintptr(0x0101));
        QCOMPARE(done.LParam, qintptr(0x020F));
        const QList<TNote> reboot = h->Of(ntReboot);
        QCOMPARE(reboot.first().Text, QStringLiteral("System rebooting, please wait .../"));
        QCOMPARE(reboot[1].Text, QStringLiteral("System rebooting, please wait ...-"));
        QCOMPARE(reboot[2].Text, QStringLiteral("System rebooting, please wait ...\\"));
        QCOMPARE(reboot.first().LParam, qintptr(1));
        QCOMPARE(reboot.last().Text, QStringLiteral("System reboot ok"));
        QCOMPARE(reboot.last().LParam, qintptr(0));
        const QList<TNote> dumps = h->Of(ntDump);
        QVERIFY(std::any_of(dumps.begin(), dumps.end(), [](const TNote& n) {
            return n.Text.startsWith(
                QStringLiteral("[1]send data:\r\n0xA5, 0x5B, 0x20, 0x01, |0xAA"));
        }));
    }

    void RefusedFrameGoesAgain()
    {
        auto h = Harness(true);
        QVERIFY(h);
        const QByteArray data = RandomBytes(600, 11);
        h->Link->EdidDownloadBuffer() = data;
        QVERIFY(h->Sim.Faults().Add(QStringLiteral("refuse/after=2/count=1")));
        TCommandReply reply;
        h->Link->WriteFirmwarePart(TCommandPacket::Make(0x20, 2, 1, 0, 1, 3), reply);
        QCOMPARE(reply.Ok, uint8_t(1));
        QList<int> indexes;
        for (const TRecord& r : DataFrames(*h))
            indexes << r.Header.P4;
        QCOMPARE(indexes, (QList<int>{0, 1, 1, 2}));
        QCOMPARE(h->Sim.Device().State().FirmwareParts.value(0x0201), data);
    }

    void Declines()
    {
        // Declined at the part command: no frame at all.
        auto h = Harness(true);
        QVERIFY(h);
        auto& s = h->Sim.Device().State();
        s.DeclineSameOrOlder = true;
        s.FirmwareVersions[0x0202] = 0x0105;
        h->Link->EdidDownloadBuffer() = RandomBytes(600, 1);
        TCommandReply reply;
        h->Link->WriteFirmwarePart(TCommandPacket::Make(0x20, 2, 2, 0, 1, 5), reply);
        QCOMPARE(reply.Ok, uint8_t(1));
        QVERIFY(DataFrames(*h).isEmpty());
        QCOMPARE(h->Count(ntPartDeclined), 1);
        QCOMPARE(h->Of(ntPartDeclined).first().WParam, qintptr(0x0202));
        QCOMPARE(h->Of(ntPartDeclined).first().LParam, qintptr(0x0105));

        // Declined in the middle of the data: one 2034, no 2030.
        s.DeclineSameOrOlder = false;
        s.DeclineAfterFrames = 1;
        h->Notes.clear();
        h->Link->WriteFirmwarePart(TCommandPacket::Make(0x20, 2, 2, 0, 1, 6), reply);
        QCOMPARE(reply.Ok, uint8_t(1));
        QCOMPARE(DataFrames(*h).size(), 2);
        QCOMPARE(h->Count(ntPartDeclined), 1);
        QCOMPARE(h->Count(ntTransferDone), 0);
        QCOMPARE(s.FirmwareVersions.value(0x0202), 0x0105);
    }

    // Stopped between two frames, the part is not reported as sent.
    void AbortBetweenFrames()
    {
        auto h = Harness(false);
        QVERIFY(h);
        h->Link->EdidDownloadBuffer() = RandomBytes(600, 3);
        QObject::connect(h->Link, &TQMCOMControl::Notify, h->Link,
                         [&](int code, qintptr, qintptr, const QString&) {
                             if (code == ntPartProgress) h->Flags.Abort = true;
                         });
        TCommandReply reply;
        h->Link->WriteFirmwarePart(TCommandPacket::Make(0x20, 2, 1, 0, 1, 1), reply);
        QCOMPARE(reply.Ok, uint8_t(0));
        QCOMPARE(DataFrames(*h).size(), 1);
        QCOMPARE(h->Count(ntTransferDone), 0);
        QVERIFY(h->Sim.Device().State().FirmwareParts.isEmpty());
    }

    void RebootWaitFailures()
    {
        // Silent matrix: five probes, then 2026 only.
        auto h = Harness(true);
        QVERIFY(h);
        h->Sim.Device().State().RebootSilenceMs = 60000;
        QCOMPARE(h->Run(Cmd::Reboot.Packet(RebootParam)).Ok, uint8_t(1));
        const qint64 before = h->Sim.TcpLine()->BytesIn();
        TCommandReply reply;
        h->Link->WaitForReboot(reply);
        QCOMPARE(reply.Ok, uint8_t(0));
        QCOMPARE(h->Sim.TcpLine()->BytesIn() - before, qint64(5 * 13));
        QCOMPARE(h->Count(ntTimeOut), 1);
        QCOMPARE(h->Of(ntReboot).last().LParam, qintptr(1));

        // Only refused answers: ten probes and "System reboot failed".
        auto r = Harness(false);
        QVERIFY(r);
        QVERIFY(r->Sim.Faults().Add(QStringLiteral("refuse")));
        const qint64 start = r->Sim.PtyLine()->BytesIn();
        r->Link->WaitForReboot(reply);
        QCOMPARE(reply.Ok, uint8_t(0));
        QCOMPARE(r->Sim.PtyLine()->BytesIn() - start, qint64(10 * 13));
        QCOMPARE(r->Of(ntReboot).last().Text, QStringLiteral("System reboot failed"));
        QCOMPARE(r->Of(ntReboot).last().LParam, qintptr(0));
        QCOMPARE(r->Count(ntTimeOut), 0);
    }

    void UpgradeEndToEnd_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("tcp") << true;
        QTest::newRow("pty") << false;
    }
    void UpgradeEndToEnd()
    {
        QFETCH(bool, tcp);
        auto h = Harness(tcp);
        QVERIFY(h);
        TUpgradeRun run(*h);
        QVERIFY(run.Upgrade.Run(FFile));
        const QStringList names = {"Part_1.1.1.0", "Part_2.1.2.0", "Part_2.2.3.0", "Part_2.3.4.0",
                                   "Part_2.4.5.0"};
        QStringList expected;
        for (int i = 0; i < 5; ++i) {
            expected << QStringLiteral("Upgrading %1 ...").arg(names[i]);
            if (i == 0) expected << QStringLiteral("System reboot ok");
            expected << names[i] + QStringLiteral(" upgrading complete");
        }
        expected << QStringLiteral("System reboot ok")
                 << QStringLiteral("Firmware upgrade successfully!");
        QCOMPARE(run.Memo, expected);
        const auto& s = h->Sim.Device().State();
        const int identities[5] = {0x0101, 0x0201, 0x0202, 0x0203, 0x0204};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(s.FirmwareParts.value(identities[i]), FImages[i]);
        QCOMPARE(s.Reboots, 2); // after the main MCU part and after the reboot command
        QVERIFY(h->Flags.Idle);
    }

    void UpgradeWithDeclines()
    {
        // A declined part in the middle does not stop the upgrade.
        auto h = Harness(true);
        QVERIFY(h);
        auto& s = h->Sim.Device().State();
        s.DeclineSameOrOlder = true;
        s.FirmwareVersions[0x0202] = 0x0300;
        TUpgradeRun run(*h);
        QVERIFY(run.Upgrade.Run(FFile));
        QVERIFY(run.Memo.contains(QStringLiteral("Write to Part_2.2.3.0 failed")));
        QVERIFY(!run.Memo.contains(QStringLiteral("Part_2.2.3.0 upgrading complete")));
        QCOMPARE(run.Blinks, QStringList{QStringLiteral("Write Part_2.2.3.0 failed")});
        QCOMPARE(run.Memo.last(), QStringLiteral("Firmware upgrade successfully!"));

        // A declined last part prevents the reboot.
        auto l = Harness(false);
        QVERIFY(l);
        l->Sim.Device().State().DeclineSameOrOlder = true;
        l->Sim.Device().State().FirmwareVersions[0x0204] = 0x0500;
        TUpgradeRun last(*l);
        QVERIFY(!last.Upgrade.Run(FFile));
        QCOMPARE(last.Memo.last(), QStringLiteral("Write to Part_2.4.5.0 failed"));
        QCOMPARE(l->Sim.Device().State().Reboots, 1); // the main MCU part's own
    }

    void UpgradeSilentReboot()
    {
        auto h = Harness(false);
        QVERIFY(h);
        TUpgradeRun run(*h);
        h->Sim.Device().State().RebootSilenceMs = 60000;
        QVERIFY(!run.Upgrade.Run(FFile));
        QCOMPARE(run.Memo, (QStringList{QStringLiteral("Upgrading Part_1.1.1.0 ..."),
                                        QStringLiteral("Upgrading Part_1.1.1.0 failed")}));
        QCOMPARE(h->Sim.Device().State().FirmwareParts.size(), 1);
    }

    // Broken files are refused before the first byte goes out.
    void UpgradeRefusesBrokenFiles()
    {
        QFile f(FFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray good = f.readAll();
        const qint64 second = 143 + 600;
        QByteArray badSum = good;
        badSum[second + 140] = char(badSum[second + 140] ^ 1);
        const QList<QByteArray> broken = {badSum, good.left(good.size() - 1),
                                          good + QByteArray(20, '\x7F')};
        for (const QByteArray& bytes : broken) {
            auto h = Harness(true);
            QVERIFY(h);
            const QString path = FDir.filePath(QStringLiteral("broken.fw"));
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(bytes);
            out.close();
            TUpgradeRun run(*h);
            QVERIFY(!run.Upgrade.Run(path));
            QCOMPARE(run.Memo.size(), 2);
            QCOMPARE(run.Memo.first(), QStringLiteral("Bad FW file!"));
            QVERIFY(run.Memo[1].startsWith(QStringLiteral("Part ")));
            QCOMPARE(h->Sim.TcpLine()->BytesIn(), qint64(0));
            QVERIFY(h->Flags.Idle);
        }
    }

    void UpgradeRefusals()
    {
        auto h = Harness(true);
        QVERIFY(h);
        TUpgradeRun run(*h);
        const QString missing = FDir.filePath(QStringLiteral("none.fw"));
        QVERIFY(!run.Upgrade.Run(missing));
        QCOMPARE(run.Memo, QStringList{QStringLiteral("Firmware file: ") + missing +
                                       QStringLiteral(" does not exist")});
        h->Flags.Idle = false;
        QVERIFY(!run.Upgrade.Run(FFile));
        QCOMPARE(run.Hints, QStringList{QStringLiteral("In processing, command ignored")});
        QCOMPARE(h->Sim.TcpLine()->BytesIn(), qint64(0));
    }

    // A part code the upgrade does not know sends nothing and keeps the
    // previous part's result.
    void UnknownPartCode()
    {
        const QByteArray slave = TFirmwareFile::BuildPart(2, 1, 1, 0, RandomBytes(100, 5));
        const QByteArray other = TFirmwareFile::BuildPart(3, 1, 1, 0, RandomBytes(100, 6));
        const QString first = FDir.filePath(QStringLiteral("code3first.fw"));
        const QString after = FDir.filePath(QStringLiteral("code3after.fw"));
        for (const auto& [path, bytes] : {std::pair{first, QByteArray(other + slave)},
                                          std::pair{after, QByteArray(slave + other)}}) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(bytes);
        }
        auto h = Harness(true);
        QVERIFY(h);
        TUpgradeRun a(*h);
        QVERIFY(!a.Upgrade.Run(first));
        QCOMPARE(a.Memo, (QStringList{QStringLiteral("Upgrading Part_3.1.1.0 ..."),
                                      QStringLiteral("Upgrading Part_3.1.1.0 failed")}));
        TUpgradeRun b(*h);
        QVERIFY(b.Upgrade.Run(after));
        QVERIFY(b.Memo.contains(QStringLiteral("Part_3.1.1.0 upgrading complete")));
    }
};

QTEST_MAIN(TstFirmwareTransfer)
#include "tst_firmwaretransfer.moc"
