#include "link/EdidData.h"
#include "link/FirmwareFile.h"
#include "link/FirmwareMerge.h"
#include "link/QMCOMControl.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

static QByteArray RandomBytes(int n, quint32 seed)
{
    QRandomGenerator g(seed);
    QByteArray b(n, '\0');
    for (char& c : b)
        c = char(g.bounded(256));
    return b;
}

static void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class TstFirmwareFile : public QObject
{
    Q_OBJECT
private slots:
    void ScrambleIsInvertible()
    {
        for (int n : {0, 1, 31, 32, 33, 600, 4096}) {
            const QByteArray original = RandomBytes(n, quint32(n + 7));
            QByteArray b = original;
            TQMCOMControl::ScrambleBuffer(reinterpret_cast<uint8_t*>(b.data()), n);
            if (n > 32) QVERIFY(b != original);
            TQMCOMControl::UnscrambleBuffer(reinterpret_cast<uint8_t*>(b.data()), n);
            QCOMPARE(b, original);
        }
        // A byte equal to its key character scrambles to itself; the key index
        // runs over the whole buffer.
        QByteArray key(TQMCOMControl::ScrambleKey);
        QByteArray twice = key + key;
        TQMCOMControl::ScrambleBuffer(reinterpret_cast<uint8_t*>(twice.data()), int(twice.size()));
        QCOMPARE(twice, key + key);
    }

    void HeaderLayout()
    {
        const QByteArray h = TFirmwareFile::BuildHeader(2, 3, 1, 7, 0x01020304);
        QCOMPARE(h.size(), 143);
        QCOMPARE(h.left(64),
                 QByteArray("DON'T MODIFY THIS FILE MANNUALLY!") + QByteArray(31, '\0'));
        QCOMPARE(h.mid(64, 64), QByteArray("FIRMWARE FOR Korvelan") + QByteArray(43, '\0'));
        QCOMPARE(h.mid(128, 14).toHex(), QByteArray("2002030000000100070004030201"));
        QCOMPARE(SumCheck(h), uint8_t(0)); // byte 142 completes the sum to 0

        TFirmwarePart p;
        p.Code = 2, p.P1 = 3, p.P2 = 9, p.P3 = 1, p.P4 = 7;
        QCOMPARE(p.Name(), QStringLiteral("Part_2.3.1.7")); // p2 is not in the name
        QCOMPARE(p.Identity(), uint16_t(0x0203));
        QCOMPARE(p.Version(), uint16_t(0x0107));
    }

    void MergeThenParse()
    {
        QTemporaryDir dir;
        const int sizes[5] = {600, 70000, 0, 256, 1000};
        const char* versions[5][2] = {{"2", "15"}, {"1", "3"}, {"1", "0"}, {"4", "2"}, {"1", "1"}};
        QList<QByteArray> images;
        TFirmwareMerge merge;
        for (int i = 0; i < 5; ++i) {
            images << RandomBytes(sizes[i], quint32(i + 1));
            const QString path = dir.filePath(QStringLiteral("img%1.bin").arg(i));
            WriteFile(path, images.last());
            merge.Inputs[size_t(i)] = {QStringLiteral("  ") + path + QStringLiteral("\t"),
                                       QLatin1String(versions[i][0]),
                                       QLatin1String(versions[i][1])};
        }
        QStringList memo;
        merge.Memo = [&](const QString& line) { memo << line; };
        const QString written = merge.Run();
        const QString expected =
            QDir(dir.path())
                .filePath(QStringLiteral("Korvelan_MM2.15_MS1.3_ir1.0_PNL4.2_idir1.1.fw"));
        QCOMPARE(written, expected);
        QCOMPARE(merge.Inputs[0].Path, dir.filePath(QStringLiteral("img0.bin"))); // trimmed
        QCOMPARE(memo.size(), 11);
        QCOMPARE(memo[1], QStringLiteral("Main MCU firmware merged, ver2.15"));
        QCOMPARE(memo[4], QStringLiteral("Slave MCU2 firmware: ") + merge.Inputs[2].Path +
                              QStringLiteral(" loaded"));
        QCOMPARE(memo.last(),
                 QStringLiteral("Firmware merged complete, save to file: ") + expected);

        const TFirmwareFile file = TFirmwareFile::Load(written);
        QVERIFY2(file.Ok(), qPrintable(file.ProblemText()));
        QCOMPARE(file.Parts.size(), 5);
        const QStringList names = {"Part_1.1.2.15", "Part_2.1.1.3", "Part_2.2.1.0", "Part_2.3.4.2",
                                   "Part_2.4.1.1"};
        qint64 offset = 0;
        for (int i = 0; i < 5; ++i) {
            const TFirmwarePart& p = file.Parts[i];
            QCOMPARE(p.Name(), names[i]);
            QCOMPARE(p.Group, uint8_t(0x20));
            QCOMPARE(p.Offset, offset);
            QCOMPARE(p.Data, images[i]);
            offset += 143 + sizes[i];
        }
        // The file holds the data scrambled.
        QFile f(written);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        QVERIFY(whole.mid(143, 600) != images[0]);
        // Zero padding too short for a header is no part and no fault.
        const TFirmwareFile padded = TFirmwareFile::Parse(whole + QByteArray(142, '\0'));
        QVERIFY2(padded.Ok(), qPrintable(padded.ProblemText()));
        QCOMPARE(padded.Parts.size(), 5);

        // The same merge again asks before overwriting; No writes nothing.
        QString asked;
        merge.ConfirmOverwrite = [&](const QString& q) {
            asked = q;
            return false;
        };
        QVERIFY(merge.Run().isEmpty());
        QCOMPARE(asked, QStringLiteral("Firmware file: ") + expected +
                            QStringLiteral(" exists, overwrite it?"));
        QCOMPARE(memo.last(), QStringLiteral("Save canceled"));
    }

    void MergeRowsAndVersions()
    {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("panel.bin"));
        WriteFile(image, QByteArray());
        TFirmwareMerge merge;
        QStringList memo;
        merge.Memo = [&](const QString& line) { memo << line; };
        merge.Inputs[TFirmwareMerge::mrSlave3] = {image, QStringLiteral("4"), QStringLiteral("2")};
        merge.Inputs[TFirmwareMerge::mrSlave1] = {dir.filePath(QStringLiteral("missing.bin")),
                                                  QString(), QStringLiteral("300")};
        QVERIFY(merge.Build());
        QCOMPARE(merge.FileName(), QStringLiteral("Korvelan_PNL4.2.fw"));
        QCOMPARE(memo.first(), QStringLiteral("Slave MCU1 firmware file: ") +
                                   dir.filePath(QStringLiteral("missing.bin")) +
                                   QStringLiteral(" does not exist"));
        QCOMPARE(merge.LastFolder, QDir(dir.path()).absolutePath() + QLatin1Char('/'));
        // A 0-byte image is a header with length 0 and nothing after it.
        QCOMPARE(merge.Bytes.size(), 143);
        QCOMPARE(merge.Bytes.mid(129, 13).toHex(), QByteArray("02030000000400020000000000"));

        struct {
            const char* in;
            const char* out;
            int value;
        } cases[] = {{"", "0", 0},        {"007", "7", 7},      {"300", "255", 255},
                     {"999", "255", 255}, {"1234", "123", 123}, {"a1", "0", 0},
                     {"15", "15", 15}};
        for (const auto& c : cases) {
            QString t = QLatin1String(c.in);
            QCOMPARE(TFirmwareMerge::NormaliseVersion(&t), c.value);
            QCOMPARE(t, QLatin1String(c.out));
        }

        TFirmwareMerge nothing;
        bool spoke = false;
        nothing.Memo = [&](const QString&) { spoke = true; };
        QVERIFY(nothing.Run().isEmpty());
        QVERIFY(!spoke);
    }

    void BrokenFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("problem");
        QTest::addColumn<int>("part");
        QTest::addColumn<qint64>("offset");
        const QByteArray one = TFirmwareFile::BuildPart(1, 1, 2, 15, RandomBytes(300, 1));
        const QByteArray two = TFirmwareFile::BuildPart(2, 1, 1, 3, RandomBytes(40, 2));
        QByteArray badSum = one + two;
        badSum[one.size() + 135] = char(badSum[one.size() + 135] + 1);
        QTest::newRow("bad checksum")
            << badSum << int(TFirmwareFile::fpBadChecksum) << 2 << qint64(one.size());
        QTest::newRow("truncated data")
            << (one + two).left(one.size() + 143 + 39) << int(TFirmwareFile::fpDataPastEnd) << 2
            << qint64(one.size());
        QTest::newRow("trailing bytes")
            << one + two + QByteArray(10, '\x11') << int(TFirmwareFile::fpTrailingBytes) << 3
            << qint64(one.size() + two.size());
        QTest::newRow("trailing zeros, one not")
            << one + QByteArray(99, '\0') + '\x01' << int(TFirmwareFile::fpTrailingBytes) << 2
            << qint64(one.size());
        QTest::newRow("trailing garbage header")
            << one + QByteArray(150, '\x42') << int(TFirmwareFile::fpBadChecksum) << 2
            << qint64(one.size());
        QTest::newRow("empty") << QByteArray() << int(TFirmwareFile::fpEmpty) << 1 << qint64(0);
    }
    void BrokenFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, problem);
        QFETCH(int, part);
        QFETCH(qint64, offset);
        const TFirmwareFile f = TFirmwareFile::Parse(bytes);
        QVERIFY(!f.Ok());
        QCOMPARE(int(f.Problem), problem);
        QCOMPARE(f.ProblemPart, part);
        QCOMPARE(f.ProblemOffset, offset);
        if (problem != TFirmwareFile::fpEmpty)
            QVERIFY(f.ProblemText().startsWith(
                QStringLiteral("Part %1 at byte %2: ").arg(part).arg(offset)));
    }

    void EdidContentTest()
    {
        QFile f(QFINDTESTDATA("../../testdata/edid/DEL-DELL_U2719DC-6156DC19.bin"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray edid = f.readAll();
        QByteArray out;
        QVERIFY(EdidData::ContentOk(edid, &out));
        QCOMPARE(out, edid);
        QVERIFY(EdidData::ContentOk(edid + 'x', &out)); // the 257th byte is dropped
        QCOMPARE(out, edid);
        QVERIFY(!EdidData::ContentOk(edid.left(128)));
        QVERIFY(!EdidData::ContentOk(edid + "xy"));
        QByteArray badSum = edid;
        badSum[100] = char(badSum[100] + 1);
        QVERIFY(!EdidData::ContentOk(badSum));
        QByteArray badHeader = edid;
        badHeader[1] = char(0xFE), badHeader[2] = char(0x00); // same sum, wrong header
        QVERIFY(!EdidData::ContentOk(badHeader));
    }
};

QTEST_MAIN(TstFirmwareFile)
#include "tst_firmwarefile.moc"
