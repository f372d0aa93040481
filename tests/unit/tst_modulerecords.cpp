// The TCP module's records: what a configuration request carries, how tags
// from the network are made safe for a device entry, and the LDCD packet.
#include "link/ModuleRecords.h"

#include <QTest>

class TstModuleRecords : public QObject
{
    Q_OBJECT
private slots:
    void configurationRequest()
    {
        const std::array<uint8_t, 6> mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
        // Automatic address: zero addresses, mode byte 0x14.
        QByteArray r = ModuleRecord::BuildConfigRequest(mac, true, {1, 2, 3, 4}, {5, 6, 7, 8},
                                                        {9, 9, 9, 9}, QStringLiteral("Hall"));
        auto* b = reinterpret_cast<uint8_t*>(r.data());
        QCOMPARE(r.size(), 76);
        QCOMPARE(QByteArray(r.constData(), 6), QByteArray("\x00\x1A\x2B\x3C\x4D\x5E", 6));
        QCOMPARE(r.mid(6, 12), QByteArray(12, '\0'));
        QCOMPARE(b[18], uint8_t(1));
        QCOMPARE(b[25], uint8_t(0x14));
        QCOMPARE(r.mid(42, 5), QByteArray("Hall\0", 5));
        ModuleRecord::SealConfigRequest(b);
        unsigned sum = 0;
        for (int i = 0; i < 75; ++i)
            sum += b[i];
        QCOMPARE(b[74], uint8_t(0xFF));
        QCOMPARE(b[75], uint8_t(sum));

        // Static, with a 32-character tag filling the field without a terminator;
        // a longer one is cut.
        r = ModuleRecord::BuildConfigRequest(mac, false, {192, 168, 0, 100}, {192, 168, 0, 1},
                                             {255, 255, 255, 0}, QString(40, QLatin1Char('T')));
        b = reinterpret_cast<uint8_t*>(r.data());
        QCOMPARE(b[18], uint8_t(0));
        QCOMPARE(b[25], uint8_t(0x15));
        QCOMPARE(r.mid(6, 12), QByteArray("\xC0\xA8\x00\x64\xC0\xA8\x00\x01\xFF\xFF\xFF\x00", 12));
        QCOMPARE(r.mid(42, 33), QByteArray(32, 'T') + QByteArray(1, '\0'));
    }

    void tagsCannotShiftEntryFields()
    {
        using ModuleRecord::CleanTag;
        QCOMPARE(CleanTag(QStringLiteral("Hall] - [10.0.0.9")),
                 QStringLiteral("Hall) - (10.0.0.9"));
        QCOMPARE(CleanTag(QStringLiteral("a\tb\r\nc")), QStringLiteral("abc"));
        // 32 bytes at most, whole characters only: 15 x "é" (2 bytes) + "ab" fits, "c" not.
        const QString accents = QString(15, QChar(0xE9)) + QStringLiteral("abc");
        QCOMPARE(CleanTag(accents), QString(15, QChar(0xE9)) + QStringLiteral("ab"));
        QCOMPARE(CleanTag(QString(16, QChar(0xE9)) + QStringLiteral("x")),
                 QString(16, QChar(0xE9)));
        uint8_t field[32];
        std::memset(field, 'x', 32);
        field[30] = 0xC3; // first byte of a character the field end cuts
        field[31] = 0xA9;
        QCOMPARE(ModuleRecord::TagFromField(field), QString(30, QLatin1Char('x')) + QChar(0xE9));
        field[31] = 'x';
        field[30] = 0xC3;
        QCOMPARE(ModuleRecord::TagFromField(field),
                 QString(30, QLatin1Char('x')) + QLatin1Char('x'));
    }

    void ldcdPacket()
    {
        uint8_t p[32] = {};
        p[16] = 1;
        LDCD::Seal(p);
        QCOMPARE(p[0], uint8_t(0x9C));
        QCOMPARE(p[15], uint8_t(0xF0));
        QCOMPARE(p[30], uint8_t(0xFF));
        QVERIFY(LDCD::ChecksumGood(p));
        // An echo of the request is not an answer.
        QVERIFY(!LDCD::AnswerGood(p, p));
        uint8_t a[32];
        std::memcpy(a, p, 32);
        a[30] = 0;
        a[17] = 1;
        a[18] = 5;
        a[31] = LDCD::Checksum(a);
        QVERIFY(LDCD::AnswerGood(a, p));
        a[3] ^= 1;
        a[31] = LDCD::Checksum(a);
        QVERIFY(!LDCD::AnswerGood(a, p));
        const QString dump = LDCD::Dump(QStringLiteral("send LDCD:   "), p);
        QVERIFY(dump.startsWith(
            QStringLiteral("send LDCD:   \r\nheader:9C E1 B7 A2 D4 8F C3 E6 A9 B5 F2 "
                           "C7 8E D9 B1 F0 \r\ncommand:01\r\nparam1:00; param2:00\r\n"
                           "DHCP:00\r\nIPAddr:00 00 00 00\r\nReveiveOK:FF\r\nCheckSum:")));
        QVERIFY(dump.endsWith(QStringLiteral("\r\n") + QString(39, QLatin1Char('/'))));
    }
};

QTEST_GUILESS_MAIN(TstModuleRecords)
#include "tst_modulerecords.moc"
