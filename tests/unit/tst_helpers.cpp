#include "link/Commands.h"
#include "link/Constants.h"
#include "transport/Console.h"
#include "transport/QMPing.h"
#include "transport/SerialPorts.h"
#include "ui/main/SerialPortLister.h"

#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QtTest>

class TstHelpers : public QObject
{
    Q_OBJECT
private slots:
    void Bytes()
    {
        QCOMPARE(LowByte(0xF0FE), uint8_t(0xFE));
        QCOMPARE(HighByte(0xF0FE), uint8_t(0xF0));
        QCOMPARE(MakeWord16(0xF2, 0x00), uint16_t(0xF200));
    }

    void IPv4_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("plain") << "192.168.0.100" << true << QStringList{"192", "168", "0", "100"};
        QTest::newRow("clamped") << "192.168.0.300" << true
                                 << QStringList{"192", "168", "0", "255"};
        QTest::newRow("leading zeros kept")
            << "010.001.0.7" << true << QStringList{"010", "001", "0", "7"};
        QTest::newRow("three fields") << "192.168.1" << false << QStringList{"192", "168", "0"};
        QTest::newRow("bad character") << "10.0.0.x" << false << QStringList{};
        QTest::newRow("empty field") << "10..0.1" << false << QStringList{"10", "0"};
        QTest::newRow("fifth field") << "1.2.3.4.5" << false << QStringList{"1", "2", "3", "0"};
        QTest::newRow("empty") << "" << false << QStringList{"0"};
        QTest::newRow("huge") << "99999999999999999999.1.1.1" << false << QStringList{"0"};
    }
    void IPv4()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QStringList, fields);
        QStringList got;
        QCOMPARE(ParseIPv4(text, &got), ok);
        QCOMPARE(got, fields);
    }

    void MAC_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("formatted");
        QTest::newRow("spaces and lower case") << " 0-1-2-a-b-c " << true << "00-01-02-0A-0B-0C";
        QTest::newRow("colons") << "0:1:2:3:4:5" << false << "00-00-00-00-00-00";
        QTest::newRow("five fields") << "00-11-22-33-44" << false << "00-11-22-33-00-00";
        QTest::newRow("extra dashes in field 6") << "1-2-3-4-5-6F-7" << true << "01-02-03-04-05-6F";
        QTest::newRow("long field") << "123-4-5-6-7-8" << true << "12-04-05-06-07-08";
        QTest::newRow("empty fields") << "-----" << true << "00-00-00-00-00-00";
    }
    void MAC()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, formatted);
        QStringList parts;
        QCOMPARE(FormatMAC(text, &parts), ok);
        QCOMPARE(parts.join(QLatin1Char('-')), formatted);
    }

    void ClampByte()
    {
        QCOMPARE(ClampEditByte(QString()), QStringLiteral("0"));
        QCOMPARE(ClampEditByte(QStringLiteral("300")), QStringLiteral("255"));
        QCOMPARE(ClampEditByte(QStringLiteral("255")), QStringLiteral("255"));
        QCOMPARE(ClampEditByte(QStringLiteral("254")), QStringLiteral("254"));
        QCOMPARE(ClampEditByte(QStringLiteral("000")), QStringLiteral("0"));
        QCOMPARE(ClampEditByte(QStringLiteral("99999999999999999999999")), QStringLiteral("255"));
    }

    void FolderProbe()
    {
        QTemporaryDir dir;
        QVERIFY(IsFolderWritable(dir.path()));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty()); // the probe cleans up
        QVERIFY(!IsFolderWritable(dir.filePath(QStringLiteral("missing"))));
        // A path of 240 characters or more has only one candidate name; when a
        // file of that name exists the folder counts as not writable.
        QString deep = dir.path();
        while (deep.size() < 250)
            deep += QStringLiteral("/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
        QVERIFY(QDir().mkpath(deep));
        QVERIFY(IsFolderWritable(deep));
        QFile blocker(deep + QStringLiteral("/.tmp"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!IsFolderWritable(deep));
    }

    void SerialPortList()
    {
        // Read on a thread of its own (as on Windows): the first list at once,
        // the next ones by a queued call, announced only when they differ.
        {
            TSystemSerialPortLister background(true);
            int changes = 0;
            background.Changed = [&] { ++changes; };
            const QStringList names = SerialPorts::Names();
            QCOMPARE(background.PortNames(), names);
            QTRY_COMPARE(background.PortNames(), names);
            QCoreApplication::processEvents();
            QCOMPARE(changes, 0);
        }

        if (!SerialPorts::FromSysfs()) QSKIP("this platform lists its ports through Qt");
        // What the window showed when the list came from QSerialPortInfo.
        QStringList qt;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            if (!qt.contains(info.portName())) qt << info.portName();
        QCOMPARE(SerialPorts::Names(), qt);

        // A made-up sysfs: a USB adapter, a legacy UART and an empty 8250
        // slot, a Bluetooth line, and a virtual console.
        QTemporaryDir root;
        auto dir = [&](const QString& path) { QVERIFY(QDir().mkpath(root.filePath(path))); };
        auto link = [&](const QString& target, const QString& at) {
            QVERIFY(QFile::link(root.filePath(target), root.filePath(at)));
        };
        auto write = [&](const QString& path, const QByteArray& bytes) {
            QFile f(root.filePath(path));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        dir(QStringLiteral("class/tty"));
        dir(QStringLiteral("drivers/serial8250"));
        dir(QStringLiteral("devices/virtual/tty/tty0"));
        dir(QStringLiteral("devices/virtual/tty/rfcomm1"));
        dir(QStringLiteral("devices/pci0000:00/usb1/1-1/ttyUSB0"));
        link(QStringLiteral("devices/pci0000:00/usb1/1-1"),
             QStringLiteral("devices/pci0000:00/usb1/1-1/ttyUSB0/device"));
        for (const QString& n : {QStringLiteral("ttyS0"), QStringLiteral("ttyS1")}) {
            dir(QStringLiteral("devices/platform/serial8250/tty/") + n);
            link(QStringLiteral("devices/platform/serial8250"),
                 QStringLiteral("devices/platform/serial8250/tty/") + n +
                     QStringLiteral("/device"));
        }
        link(QStringLiteral("drivers/serial8250"),
             QStringLiteral("devices/platform/serial8250/driver"));
        write(QStringLiteral("devices/platform/serial8250/tty/ttyS0/type"), "4\n");
        write(QStringLiteral("devices/platform/serial8250/tty/ttyS1/type"), "0\n");
        for (const QString& n :
             {QStringLiteral("virtual/tty/tty0"), QStringLiteral("virtual/tty/rfcomm1"),
              QStringLiteral("pci0000:00/usb1/1-1/ttyUSB0"),
              QStringLiteral("platform/serial8250/tty/ttyS0"),
              QStringLiteral("platform/serial8250/tty/ttyS1")})
            link(QStringLiteral("devices/") + n,
                 QStringLiteral("class/tty/") + n.section(QLatin1Char('/'), -1));
        QCOMPARE(SerialPorts::NamesFromSysfs(root.filePath(QStringLiteral("class/tty"))),
                 QStringList({QStringLiteral("ttyUSB0"), QStringLiteral("ttyS0"),
                              QStringLiteral("rfcomm1")}));
    }

    // The echo through the system's own means (an ICMP socket, the ICMP API on
    // Windows): loopback answers. A closed address is pinged only when the run
    // names one it owns (MATRIX_PING_CLOSED, e.g. on a dummy interface in a
    // namespace of its own): the window keeps working during the wait and
    // Stop ends it at once.
    void PingOutcomes()
    {
        TQMPing ping;
        ping.SetTimeOut(300);
        ping.SetAttemptMs(400);
        QStringList log;
        connect(&ping, &TQMPing::Log, this, [&](const QString& s) { log << s; });
        ping.Host = QStringLiteral("127.0.0.1");
        const bool answered = ping.PingHost();
        if (log.value(0).startsWith(QLatin1String("no ICMP socket")))
            QSKIP(qPrintable(log.value(0)));
        QVERIFY2(answered, qPrintable(log.join(QLatin1Char('\n'))));
        QVERIFY(log.first().startsWith(QStringLiteral("Reply from 127.0.0.1: size=32 time=")));
        QCOMPARE(log.last(), QStringLiteral("ping ok -> 127.0.0.1"));

        const QString closed = qEnvironmentVariable("MATRIX_PING_CLOSED");
        if (closed.isEmpty()) return;
        log.clear();
        ping.Host = closed;
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
        tick.start(10);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!ping.PingHost());
        QCOMPARE(log, QStringList(3, QStringLiteral("time out -> ") + closed));
        QVERIFY(clock.elapsed() >= 3 * 300);
        QVERIFY2(ticks >= 3 * 300 / 10 / 2, qPrintable(QString::number(ticks)));

        bool stop = false;
        ping.SetCancelled([&] { return stop; });
        QTimer::singleShot(50, this, [&] { stop = true; });
        clock.restart();
        QVERIFY(!ping.PingHost());
        QVERIFY2(clock.elapsed() < 250, qPrintable(QString::number(clock.elapsed())));
    }

    // The null device is a character device but no console (the C library's
    // _isatty says yes to it on Windows): no progress line rewriting there,
    // and text goes out as UTF-8 bytes.
    void ConsoleTest()
    {
#ifdef Q_OS_WIN
        std::FILE* null = std::fopen("NUL", "w");
#else
        std::FILE* null = std::fopen("/dev/null", "w");
#endif
        QVERIFY(null);
        QVERIFY(!Console::IsTerminal(null));
        QVERIFY(!Console::EraseLineWorks(null));
        Console::Write(null, QStringLiteral("Eingang 1 - [Beamer S\u00FCd]\n"));
        std::fclose(null);
    }

    void EdidModes()
    {
        QCOMPARE(int(::EdidModes.size()), 20);
        QCOMPARE(EdidModeCode(QStringLiteral("1080p, HD Audio 7.1")), uint8_t(6));
        QCOMPARE(EdidModeCode(QStringLiteral("Auto EDID")), uint8_t(19));
        QCOMPARE(EdidModeCode(QStringLiteral("user1")), uint8_t(255)); // exact, case-sensitive
    }

    void CatalogueTexts()
    {
        TCommandReply r;
        r.Ok = 1;
        r.Packet = TCommandPacket::Make(1, 3, 2, 7);
        QCOMPARE(Catalogue::VersionText(r), QStringLiteral("Version: 2.07"));
        r.Packet = TCommandPacket::Make(1, 3, 1, 12);
        QCOMPARE(Catalogue::VersionText(r), QStringLiteral("Version: 1.12"));
        r.Packet = TCommandPacket::Make(1, 2, 4, 4);
        QCOMPARE(Catalogue::DeviceText(r), QStringLiteral("Device: HDMI Matrix, 4x4"));

        // Only 0xFF means on.
        r.Packet = TCommandPacket::Make(4, 4, 254, 0x0F);
        QVERIFY(!Catalogue::SwitchIsOn(r));
        r.Packet = TCommandPacket::Make(4, 4, 254, 0xFF);
        QVERIFY(Catalogue::SwitchIsOn(r));

        r.Packet = TCommandPacket::Make(1, 4, 2, 0x01);
        QCOMPARE(Catalogue::ConnectionText(QStringLiteral("Input"), 2, r), QString());
        r.Packet = TCommandPacket::Make(1, 4, 2, 0x00);
        QCOMPARE(Catalogue::ConnectionText(QStringLiteral("Input"), 2, r),
                 QStringLiteral("Input2: Connected"));
        r.Ok = 0;
        QCOMPARE(Catalogue::ConnectionText(QStringLiteral("HDMI Output"), 3, r),
                 QStringLiteral("HDMI Output3: Not known"));

        auto on = Catalogue::PowerSet(true);
        QCOMPARE(on.Packet.P1, uint16_t(0x0F));
        QCOMPARE(on.Packet.P3, uint16_t(38731));
        QCOMPARE(on.Packet.P4, uint16_t(27659));
        QCOMPARE(on.StatusText, QStringLiteral("Matrix booting ..."));
        QCOMPARE(Catalogue::KeysSet(true).StatusText, QStringLiteral("Unlock Keys on panel ..."));
        QCOMPARE(Catalogue::BeeperSet(false).StatusText,
                 QStringLiteral("Disable Beeper control ..."));
        QCOMPARE(Catalogue::ApmSet(true).StatusText, QStringLiteral("Set APM ON ..."));
        QCOMPARE(Catalogue::OutputConnection(2, true).StatusText,
                 QStringLiteral("Getting Output2 connection ..."));
    }
};

QTEST_MAIN(TstHelpers)
#include "tst_helpers.moc"
