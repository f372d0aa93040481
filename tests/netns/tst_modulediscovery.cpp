// Module discovery, configuration and ping over real UDP and ICMP between two
// network namespaces: the simulated module in one, the link controller in the
// other.
#include "NetnsPair.h"
#include "SimModule.h"
#include "link/ModuleRecords.h"
#include "link/QMCOMControl.h"
#include "transport/NMUDP.h"
#include "transport/QMPing.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <memory>

class TstModuleDiscovery : public QObject
{
    Q_OBJECT

    TNetnsPair Net;
    std::unique_ptr<TSimModule> Sim;
    std::unique_ptr<TQMCOMControl> Link;
    TProcessFlags Flags;
    QList<QPair<qintptr, QString>> Progress;

    static TTiming Timing()
    {
        TTiming t = TTiming::Fast();
        t.SearchStepMs = 5;
        t.SearchSteps = 20; // 100 ms a pass: answers have long arrived
        t.ConfigPasses = 3;
        t.PingTimeOutMs = 300;
        t.PingAttemptMs = 400;
        return t;
    }

    QByteArray Request(const TSimModuleInfo& m, bool autoIP, std::array<uint8_t, 4> ip,
                       const QString& tag = QStringLiteral("Hall"))
    {
        return ModuleRecord::BuildConfigRequest(m.Mac, autoIP, ip, {10, 77, 0, 254},
                                                {255, 255, 255, 0}, tag);
    }

private slots:
    void initTestCase()
    {
        QString why;
        if (!Net.Setup(&why)) QSKIP(qPrintable(why));
        QVERIFY(Net.Enter(Net.NsA));
        Sim = std::make_unique<TSimModule>();
        QVERIFY2(Sim->Start(QHostAddress::AnyIPv4, &why), qPrintable(why));
        QVERIFY(Net.Enter(Net.NsB));
        Link = std::make_unique<TQMCOMControl>(&Flags, Timing());
        Link->SetLocalHostIP(QString::fromLatin1(TNetnsPair::AddressB));
        connect(Link.get(), &TQMCOMControl::Notify, this,
                [this](int code, qintptr, qintptr l, const QString& text) {
                    if (code == ntModule) Progress << qMakePair(l, text);
                });
    }
    void cleanupTestCase()
    {
        Link.reset();
        Sim.reset();
        Net.TearDown();
    }
    void init()
    {
        Sim->Modules() = {TSimModuleInfo()};
        Sim->Together = true;
        Sim->Repeat = 1;
        Sim->Junk = 0;
        Sim->SilentSearch = false;
        Sim->ConfigAnswer = TSimModule::caAccept;
        Sim->ConfigEcho = Sim->ConfigOther = false;
        Sim->Probes = Sim->ConfigRequests = 0;
        Link->FoundModules.clear();
        Link->SetUDPMode(umBROADCAST);
        Progress.clear();
    }

    void broadcastSearchListsEveryModuleOnce()
    {
        TSimModuleInfo second;
        second.Mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x51};
        second.Ip = {10, 77, 0, 2};
        second.Dhcp = true;
        // A tag that would shift the fields of a device entry, a control
        // character, and a character cut by the end of the 32-byte field.
        second.Tag = QByteArray("Hall] - [1.2.3.4\x01") + QByteArray(14, 'x') + "\xC3\xA9";
        Sim->Modules() << second;
        Sim->Repeat = 2; // every answer twice: one 110-byte datagram each time
        Sim->Junk = 56;  // and a 56-byte datagram before each
        QVERIFY(Link->SearchModules());
        QCOMPARE(Sim->Probes, 1);
        QCOMPARE(Link->ModuleCount(), 2);
        QCOMPARE(Link->ModuleField(1, 0), QStringLiteral("00-1A-2B-3C-4D-50"));
        QCOMPARE(Link->ModuleField(1, 1), QStringLiteral("192.168.0.100"));
        QCOMPARE(Link->ModuleField(1, 4), QStringLiteral("8000"));
        QCOMPARE(Link->ModuleField(1, 6), QStringLiteral("TCP Module"));
        QCOMPARE(Link->ModuleField(1, 7), QStringLiteral("0"));
        QCOMPARE(Link->ModuleField(2, 1), QStringLiteral("10.77.0.2"));
        QCOMPARE(Link->ModuleField(2, 6), QStringLiteral("Hall) - (1.2.3.4xxxxxxxxxxxxxx"));
        QCOMPARE(Link->ModuleField(2, 7), QStringLiteral("1"));
        QCOMPARE(Link->ModuleField(3, 6), QStringLiteral("TCP Module"));
        QCOMPARE(Link->ModuleField(0, 0), QStringLiteral("00-00-00-00-00-00"));
        QVERIFY(!Link->Searching && !Link->Listening);
        QVERIFY(!Progress.isEmpty());
        QCOMPARE(Progress.first(),
                 qMakePair(qintptr(0), QStringLiteral("Searching TCP control device .../")));
        QCOMPARE(Progress.value(1).second, QStringLiteral("Searching TCP control device ...-"));

        // A second search appends: modules already known stay once.
        QVERIFY(Link->SearchModules());
        QCOMPARE(Link->ModuleCount(), 2);
    }

    void badDatagramsDoNotEndTheSearch()
    {
        TTiming t = Timing();
        t.SearchPasses = 2;
        Link->SetTiming(t);
        Sim->SilentSearch = true;
        QVERIFY(!Link->SearchModules());
        QCOMPARE(Sim->Probes, 2); // a probe per pass
        Sim->SilentSearch = false;
        Sim->Modules() = {};
        Sim->Junk = 56; // only a 56-byte datagram (and an empty answer)
        Sim->Probes = 0;
        QVERIFY(!Link->SearchModules());
        QCOMPARE(Sim->Probes, 2);
        QCOMPARE(Link->ModuleCount(), 0);
        Link->SetTiming(Timing());

        // A search while one runs is refused at once and sends nothing.
        Link->Searching = true;
        QVERIFY(!Link->SearchModules());
        QCOMPARE(Sim->Probes, 2);
        Link->Searching = false;
    }

    void manualSearchAsksTheAddressDirectly()
    {
        Sim->Together = false;
        TSimModuleInfo second;
        second.Mac[5] = 0x52;
        Sim->Modules() << second;
        Link->SetUDPMode(umNORMAL);
        Link->SetDeviceIP(QString::fromLatin1(TNetnsPair::AddressA));
        QVERIFY(Link->SearchModules());
        QCOMPARE(Link->ModuleCount(), 2);
        Link->SetDeviceIP(QStringLiteral("10.77.0.99")); // nobody there
        Link->FoundModules.clear();
        TTiming t = Timing();
        t.SearchPasses = 1;
        Link->SetTiming(t);
        QVERIFY(!Link->SearchModules());
        Link->SetTiming(Timing());
    }

    void pingTellsSameFromCrossSubnet()
    {
        TQMPing ping;
        ping.SetTimeOut(300);
        ping.SetAttemptMs(400);
        QStringList log;
        connect(&ping, &TQMPing::Log, this, [&](const QString& s) { log << s; });
        ping.Host = QString::fromLatin1(TNetnsPair::AddressA);
        QVERIFY(ping.PingHost());
        QCOMPARE(ping.PingState, int(TQMPing::psAnswered));
        QVERIFY(log.last() == QStringLiteral("ping ok -> 10.77.0.2"));
        QVERIFY(log.first().startsWith(QStringLiteral("Reply from 10.77.0.2: size=32 time=")));

        log.clear();
        ping.Host = QStringLiteral("10.77.0.99");
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!ping.PingHost());
        QCOMPARE(log.size(), 3); // three attempts, each logged
        QVERIFY(clock.elapsed() >= 3 * 300);

        // Stop ends the attempts at once.
        bool stop = false;
        ping.SetCancelled([&] { return stop; });
        QTimer::singleShot(50, this, [&] { stop = true; });
        clock.restart();
        QVERIFY(!ping.PingHost());
        QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
    }

    void configurationOutcomes()
    {
        const TSimModuleInfo m = Sim->Modules().first();
        Link->SetDeviceIP(QString::fromLatin1(TNetnsPair::AddressA));
        // Accepted; an echo of the request and another module's answer come first.
        Sim->ConfigEcho = true;
        Sim->ConfigOther = true;
        QCOMPARE(Link->ConfigureModule(Request(m, false, {10, 77, 0, 50})), 0);
        QCOMPARE(ModuleRecord::IpText(Link->ConfigBuffer + 6), QStringLiteral("10.77.0.50"));
        QCOMPARE(ModuleRecord::MacText(Link->ConfigBuffer + 19),
                 QStringLiteral("00-1A-2B-3C-4D-50"));
        QVERIFY(Sim->ConfigRequests >= 1);
        const auto* req = reinterpret_cast<const uint8_t*>(Sim->LastConfigRequest.constData());
        QCOMPARE(req[74], uint8_t(0xFF));
        QCOMPARE(req[25], uint8_t(0x15));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(req + 42)), QByteArray("Hall"));
        QVERIFY(!Link->Configuring && !Link->Listening);
        QVERIFY(!Progress.isEmpty());
        QCOMPARE(Progress.first(),
                 qMakePair(qintptr(1), QStringLiteral("Setting TCP control configuration .../")));

        Sim->ConfigEcho = Sim->ConfigOther = false;
        Sim->ConfigAnswer = TSimModule::caConflict;
        QCOMPARE(Link->ConfigureModule(Request(m, false, {10, 77, 0, 51})), 2);
        Sim->ConfigAnswer = TSimModule::caRefuse;
        QCOMPARE(Link->ConfigureModule(Request(m, false, {10, 77, 0, 52})), 1);
        Sim->ConfigAnswer = TSimModule::caSilent;
        QCOMPARE(Link->ConfigureModule(Request(m, true, {0, 0, 0, 0})), 1);
        QVERIFY(!Link->Configuring);

        // A module without a lease (0.0.0.0) is not sent to directly: the
        // answer to the broadcast decides.
        Sim->ConfigAnswer = TSimModule::caAccept;
        Sim->ConfigRequests = 0;
        Link->SetDeviceIP(QStringLiteral("0.0.0.0"));
        QCOMPARE(Link->ConfigureModule(Request(m, true, {0, 0, 0, 0})), 0);
        QCOMPARE(Sim->ConfigRequests, 1);

        // This computer's own address: refused before anything is sent.
        Sim->ConfigRequests = 0;
        QCOMPARE(Link->ConfigureModule(Request(m, false, {10, 77, 0, 1})), 2);
        QTest::qWait(50);
        QCOMPARE(Sim->ConfigRequests, 0);
        // One configuration at a time.
        Link->Configuring = true;
        QCOMPARE(Link->ConfigureModule(Request(m, false, {10, 77, 0, 53})), 1);
        Link->Configuring = false;
        QTest::qWait(50);
        QCOMPARE(Sim->ConfigRequests, 0);
    }

    // Only the running operation's records count, and nothing sent from an
    // address of this computer: a real datagram of each kind during the wait.
    void foreignAndOwnRecordsAreDropped()
    {
        Link->SetLocalHostIP(QStringLiteral("127.0.1.1")); // what the lookup gives on Linux
        TTiming t = Timing();
        t.SearchPasses = t.ConfigPasses = 1;
        Link->SetTiming(t);
        const TSimModuleInfo m = Sim->Modules().first();
        auto sendSoon = [this](const QString& ns, const char* from, quint16 fromPort,
                               const QByteArray& bytes, const char* to, quint16 toPort) {
            auto* s = new QUdpSocket;
            QVERIFY(Net.Enter(ns));
            QVERIFY(s->bind(QHostAddress(QString::fromLatin1(from)), fromPort,
                            QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
            QVERIFY(Net.Enter(Net.NsB));
            QTimer::singleShot(20, [s, bytes, to, toPort] {
                s->writeDatagram(bytes, QHostAddress(QString::fromLatin1(to)), toPort);
                s->deleteLater();
            });
        };
        QByteArray answer = Request(m, false, {10, 77, 0, 60});
        answer[74] = 0; // an accepting configuration answer
        QByteArray found(55, '\0');
        found[5] = char(0x60);

        // A search: a configuration answer from the module's address, and a
        // search answer from this computer's LAN address.
        Sim->SilentSearch = true;
        sendSoon(Net.NsA, TNetnsPair::AddressA, 30601, answer, TNetnsPair::AddressB, 30600);
        QVERIFY(!Link->SearchModules());
        sendSoon(Net.NsB, TNetnsPair::AddressB, 30600, found, "127.0.0.1", 30600);
        QVERIFY(!Link->SearchModules());
        QCOMPARE(Link->ModuleCount(), 0);
        // A configuration: a search answer from the module's address.
        Sim->ConfigAnswer = TSimModule::caSilent;
        sendSoon(Net.NsA, TNetnsPair::AddressA, 30600, found, TNetnsPair::AddressB, 30601);
        QCOMPARE(Link->ConfigureModule(Request(m, false, {10, 77, 0, 61})), 1);
        QCOMPARE(Link->ModuleCount(), 0);
        // The PC's LAN address is its own although the lookup says 127.0.1.1.
        Sim->ConfigRequests = 0;
        QCOMPARE(Link->ConfigureModule(Request(m, false, {10, 77, 0, 1})), 2);
        QTest::qWait(50);
        QCOMPARE(Sim->ConfigRequests, 0);
        Link->SetLocalHostIP(QString::fromLatin1(TNetnsPair::AddressB));
        Link->SetTiming(Timing());
    }

    // matrix-sim --module in one namespace, matrixctl in the other, as a
    // script would run them.
    void toolsAcrossNamespaces()
    {
        const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
        QProcess sim;
        sim.start(
            QStringLiteral("ip"),
            TNetnsPair::ExecArgs(Net.NsA, bin + QStringLiteral("/sim/matrix-sim"),
                                 {QStringLiteral("--module"), QStringLiteral("0.0.0.0"),
                                  QStringLiteral("--modules"), QStringLiteral("2"),
                                  QStringLiteral("--module-fault"), QStringLiteral("together=0")}));
        QVERIFY(sim.waitForReadyRead(10000));
        QVERIFY(sim.readAllStandardOutput().contains("ready"));
        auto ctl = [&](const QStringList& args, QString* out, QString* err) {
            QProcess p;
            p.start(QStringLiteral("ip"),
                    TNetnsPair::ExecArgs(Net.NsB, bin + QStringLiteral("/cli/matrixctl"), args));
            p.waitForFinished(60000);
            *out = QString::fromUtf8(p.readAllStandardOutput());
            *err = QString::fromUtf8(p.readAllStandardError());
            return p.exitCode();
        };
        QString out, err;
        QCOMPARE(
            ctl({QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("10.77.0.2")},
                &out, &err),
            0);
        QCOMPARE(out, QStringLiteral("[TCP Module] - [Static IP] - [10.77.0.2] - [192.168.0.1] - "
                                     "[255.255.255.0] - [00-1A-2B-3C-4D-50] - [Same Subnet]\n"
                                     "[TCP Module 2] - [Static IP] - [10.77.0.2] - [192.168.0.1] - "
                                     "[255.255.255.0] - [00-1A-2B-3C-4D-51] - [Same Subnet]\n"));
        QCOMPARE(ctl({QStringLiteral("--json"), QStringLiteral("discover"), QStringLiteral("--to"),
                      QStringLiteral("10.77.0.2")},
                     &out, &err),
                 0);
        const QJsonArray modules = QJsonDocument::fromJson(out.toUtf8())
                                       .object()
                                       .value(QStringLiteral("modules"))
                                       .toArray();
        QCOMPARE(modules.size(), 2);
        QCOMPARE(modules[1].toObject(),
                 QJsonDocument::fromJson(R"({"tag": "TCP Module 2", "ipMode": "Static IP",
                     "ip": "10.77.0.2", "gateway": "192.168.0.1", "mask": "255.255.255.0",
                     "mac": "00-1A-2B-3C-4D-51", "subnet": "Same Subnet"})")
                     .object());
        QCOMPARE(ctl({QStringLiteral("module"), QStringLiteral("config"),
                      QStringLiteral("00-1A-2B-3C-4D-51"), QStringLiteral("--static"),
                      QStringLiteral("10.77.0.2"), QStringLiteral("10.77.0.254"),
                      QStringLiteral("255.255.255.0"), QStringLiteral("--tag"),
                      QStringLiteral("Hall"), QStringLiteral("--to"), QStringLiteral("10.77.0.2")},
                     &out, &err),
                 0);
        QCOMPARE(out, QStringLiteral("Modify TCP configuration ok\n[Hall] - [Static IP] - "
                                     "[10.77.0.2] - [10.77.0.254] - [255.255.255.0] - "
                                     "[00-1A-2B-3C-4D-51] - [Same Subnet]\n"));
        QCOMPARE(ctl({QStringLiteral("module"), QStringLiteral("config"),
                      QStringLiteral("00-1A-2B-3C-4D"), QStringLiteral("--auto"),
                      QStringLiteral("--tag"), QStringLiteral("x"), QStringLiteral("--to"),
                      QStringLiteral("10.77.0.2")},
                     &out, &err),
                 2);
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(
            ctl({QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("10.77.0.2")},
                &out, &err),
            1);
        QCOMPARE(err, QStringLiteral("No Matrix found.\n"));
    }

    void takenPortEndsTheOperationWithAMessage()
    {
        QUdpSocket squatter;
        QVERIFY(squatter.bind(QHostAddress::AnyIPv4, 30600, QUdpSocket::DontShareAddress));
        QVERIFY(!Link->SearchModules());
        QVERIFY(!Link->Searching && !Link->Listening);
        QVERIFY2(Link->ModuleError().contains(QStringLiteral("30600")),
                 qPrintable(Link->ModuleError()));
        squatter.close();
        QVERIFY(Link->SearchModules());
        QVERIFY(Link->ModuleError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstModuleDiscovery)
#include "tst_modulediscovery.moc"
