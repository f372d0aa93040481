#include "link/Packet.h"
#include "link/QMCOMControl.h"

#include <QtTest>

static QByteArray Hex(const char* text) { return QByteArray::fromHex(text); }

class TstPacket : public QObject {
    Q_OBJECT
private slots:
    void KnownFrames_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("p1");
        QTest::addColumn<int>("p2");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("IR status query") << 4 << 4 << 254 << 0 << Hex("A55B0404FE00000000000000FA");
        QTest::newRow("reboot probe") << 1 << 1 << 0 << 0 << Hex("A55B010100000000000000" "00FE");
        QTest::newRow("route 2 to 3") << 2 << 3 << 2 << 3 << Hex("A55B0203020003000000" "0000F6");
        // A parameter of 256 contributes both of its bytes.
        QTest::newRow("p2 = 0x0100") << 3 << 5 << 0 << 0x100 << Hex("A55B030500000001000000" "00F7");
    }
    void KnownFrames()
    {
        QFETCH(int, group);
        QFETCH(int, code);
        QFETCH(int, p1);
        QFETCH(int, p2);
        QFETCH(QByteArray, frame);
        TCommandPacket p = TCommandPacket::Make(uint8_t(group), uint8_t(code), uint16_t(p1), uint16_t(p2));
        QCOMPARE(p.ToByteArray().toHex(' '), frame.toHex(' '));
        // The frame built for sending ignores the caller's own header and checksum.
        p.Header1 = 0;
        p.Checksum = 0x77;
        auto built = BuildCommandFrame(p);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(built.data()), 13).toHex(), frame.toHex());
        // The 8-bit sum of a whole frame is 0.
        uint8_t sum = 0;
        for (char c : frame)
            sum = uint8_t(sum + uint8_t(c));
        QCOMPARE(sum, uint8_t(0));
    }

    void DataChecksum()
    {
        QCOMPARE(SumCheck(QByteArray("abc")), uint8_t(0xDA));
        QCOMPARE(SumCheck(QByteArray(1, '\0')), uint8_t(0));
        QCOMPARE(SumCheck(QByteArray(1, '\x10')), uint8_t(0xF0));
    }

    void ReplyChecksInOrder()
    {
        auto good = TCommandPacket::Make(4, 4, 254, 0xFF).Bytes();
        QCOMPARE(CheckReply(good.data(), 4, 4), rcOk);

        // Right checksum but 0xFF in p1 low byte: refused before anything else.
        auto refused = TCommandPacket::Make(4, 4, 0xFF, 0).Bytes();
        QCOMPARE(CheckReply(refused.data(), 4, 4), rcRefused);
        QCOMPARE(CheckReply(refused.data(), 4, 4, false), rcOk);

        auto offByOne = good;
        offByOne[12] = uint8_t(offByOne[12] + 1);
        QCOMPARE(CheckReply(offByOne.data(), 4, 4), rcBadChecksum);

        auto otherCode = TCommandPacket::Make(4, 3, 254, 0xFF).Bytes();
        QCOMPARE(CheckReply(otherCode.data(), 4, 4), rcWrongCommand);

        auto badHeader = good;
        badHeader[0] = 0xA4;
        badHeader[12] = CommandChecksum(badHeader.data());
        QCOMPARE(CheckReply(badHeader.data(), 4, 4), rcBadHeader);
    }

    void DataBlockFrames()
    {
        const QByteArray data(44, '\x11');
        QByteArray padded = TDataBlockFrame::Build(3, 7, true, 0, 0,
                                                   reinterpret_cast<const uint8_t*>(data.constData()), 44, true);
        QCOMPARE(padded.size(), 270);
        QCOMPARE(uint8_t(padded[4]), uint8_t(0x56));
        QCOMPARE(uint8_t(padded[6]), uint8_t(44));
        QCOMPARE(uint8_t(padded[13]), SumCheck(data));
        QCOMPARE(padded.mid(14 + 44), QByteArray(270 - 58, '\0'));
        QByteArray plain = TDataBlockFrame::Build(0x20, 2, false, 3, 7,
                                                  reinterpret_cast<const uint8_t*>(data.constData()), 44, false);
        QCOMPARE(plain.size(), 58);
        QCOMPARE(uint8_t(plain[4]), uint8_t(0xAA));

        // A frame from the matrix: accepted with its data, refused when the data
        // checksum is off or when p2 claims more than a frame can hold.
        QByteArray got;
        QVERIFY(TDataBlockFrame::Accept(reinterpret_cast<const uint8_t*>(padded.constData()), 3, 7, &got));
        QCOMPARE(got, data);
        QByteArray bad = padded;
        bad[13] = char(bad[13] + 1);
        QVERIFY(!TDataBlockFrame::Accept(reinterpret_cast<const uint8_t*>(bad.constData()), 3, 7, nullptr));
        QByteArray tooLong(270, '\0');
        auto header = TCommandPacket::Make(3, 5, 0x56, 257).Bytes();
        std::memcpy(tooLong.data(), header.data(), 13);
        QVERIFY(!TDataBlockFrame::Accept(reinterpret_cast<const uint8_t*>(tooLong.constData()), 3, 5, nullptr));
    }

    void CommandLogLine()
    {
        auto ir = TCommandPacket::Make(4, 4, 254).Bytes();
        QCOMPARE(TQMCOMControl::CommandLogLine(QStringLiteral("[1] snd cmd PPP:   "), ir.data(), 0),
                 QStringLiteral("[1] snd cmd PPP:   \r\nA5 5B 04 04 [00 UU FE] [00 00] [00 00] [00 00] FA, RC=0"));
        auto power = TCommandPacket::Make(16, 1, 254, 0, 38731, 27659).Bytes();
        QCOMPARE(TQMCOMControl::CommandLogLine(QStringLiteral("t"), power.data(), 8888),
                 QStringLiteral("t\r\nA5 5B 10 01 [00 UU FE] [00 00] [97 4B] [6C 0B] 98, RC=8888"));
    }

    void Dumps()
    {
        QByteArray bytes;
        for (int i = 0; i < 17; ++i)
            bytes.append(char(0x41 + i));
        const QString stars(48, QLatin1Char('*'));
        QString dump = TQMCOMControl::ReceivedDump(reinterpret_cast<const uint8_t*>(bytes.constData()), 17,
                                                   QStringLiteral("cmLAN:::"));
        QVERIFY(dump.startsWith(stars + QStringLiteral("\r\ncmLAN:::0x41A, 0x42B, ")));
        QVERIFY(dump.contains(QStringLiteral("0x50P, \r\n0x51Q, \r\n")));
        QVERIFY(dump.endsWith(QStringLiteral("\r\n") + stars + QStringLiteral("\r\n")));
        // The text travels zero-terminated: a zero data byte ends it.
        const uint8_t withZero[] = {0xA5, 0x00, 0x5B};
        QCOMPARE(TQMCOMControl::ReceivedDump(withZero, 3, QString()),
                 stars + QStringLiteral("\r\n0xA5\u00A5, 0x00"));

        auto frame = TCommandPacket::Make(3, 7, 0xAA, 256).Bytes();
        QString sent = TQMCOMControl::SentDump(QStringLiteral("send data:\r\n"), frame.data(), 13);
        QCOMPARE(sent, QStringLiteral("send data:\r\n0xA5, 0x5B, 0x03, 0x07, |0xAA, 0x00, |0x00, 0x01, "
                                      "|0x00, 0x00, |0x00, 0x00, |0x4B, "));
    }

    void ScrambleKnownAnswer()
    {
        // 34 bytes 0, 5, 10, ...: the key wraps at byte 32.
        QByteArray b = QByteArray::fromHex("00050a0f14191e23282d32373c41464b50555a5f64696e7378"
                                           "7d82878c91969ba0a5");
        TQMCOMControl::ScrambleBuffer(reinterpret_cast<uint8_t*>(b.data()), int(b.size()));
        QCOMPARE(b.toHex(), QByteArray("6e896c8f54619e53b0513cb740b146b35a955a9f8a7190737a"
                                       "8104e710e1d823ce29"));
    }
};

QTEST_MAIN(TstPacket)
#include "tst_packet.moc"
