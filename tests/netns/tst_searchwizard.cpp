// The main window's "Search ..." wizard and "Config ..." flow against the
// simulated module in another network namespace, clicked through real widgets
// while the searches, pings and configurations wait.
#include "NetnsPair.h"
#include "SimModule.h"
#include "WindowFixture.h"
#include "settings/SettingsFile.h"
#include "ui/dialogs/EditLAN.h"
#include "ui/dialogs/Search.h"
#include "ui/main/ConnectionPanel.h"
#include "ui/main/TcpDeviceActions.h"
#include "widgets/QMGauge.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QUdpSocket>

namespace
{
// Runs `action` once `ready` holds, polling while modal loops run.
void When(std::function<bool()> ready, std::function<void()> action)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, ready, action] {
        if (!ready()) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

void Type(QLineEdit* e, const QString& text)
{
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
    emit e->editingFinished();
}
} // namespace

class TstSearchWizard : public QObject
{
    Q_OBJECT

    TNetnsPair Net;
    std::unique_ptr<TSimModule> Sim;
    std::unique_ptr<TWindowFixture> Fx;

    static TTiming Timing()
    {
        TTiming t = TTiming::Fast();
        t.SearchStepMs = 5;
        t.SearchSteps = 20;
        t.SearchPasses = 2;
        t.ConfigPasses = 2;
        t.PingTimeOutMs = 150;
        t.PingAttemptMs = 200;
        t.PingAttempts = 2;
        return t;
    }
    TfrmSearch* Wizard() const { return Fx->Form->Dialogs().Search; }
    TConnectionPanel* Conn() const { return Fx->Form->Connection(); }

    TSimModuleInfo Module(uint8_t last, std::array<uint8_t, 4> ip, const char* tag)
    {
        TSimModuleInfo m;
        m.Mac[5] = last;
        m.Ip = ip;
        m.Gateway = {10, 77, 0, 254};
        m.Tag = tag;
        return m;
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
    }
    void cleanupTestCase()
    {
        Fx.reset();
        Sim.reset();
        Net.TearDown();
    }
    void init()
    {
        Sim->Modules() = {Module(0x50, {10, 77, 0, 2}, "Hall"),
                          Module(0x51, {10, 77, 0, 99}, "Stage")};
        Sim->SilentSearch = false;
        Sim->ConfigAnswer = TSimModule::caAccept;
        Fx = std::make_unique<TWindowFixture>();
        Fx->WriteFile("[Control mode]\r\nMode=1\r\n");
        Fx->Show(Timing());
        Fx->Form->Link()->SetLocalHostIP(QString::fromLatin1(TNetnsPair::AddressB));
    }

    void automaticSearchAddsEachModuleOnce()
    {
        const QString hall =
            QStringLiteral("[Hall] - [Static IP] - [10.77.0.2] - [10.77.0.254] - "
                           "[255.255.255.0] - [00-1A-2B-3C-4D-50] - [Same Subnet]");
        const QString stage =
            QStringLiteral("[Stage] - [Static IP] - [10.77.0.99] - [10.77.0.254] - "
                           "[255.255.255.0] - [00-1A-2B-3C-4D-51] - [Cross Subnet]");
        Conn()->AddDevice(hall); // already known: not added twice
        int shownStep = -1;
        When([&] { return Wizard()->isVisible() && Wizard()->Step() == 1; },
             [&] {
                 shownStep = Wizard()->Step();
                 QTest::mouseClick(Wizard()->btnYes, Qt::LeftButton);
             });
        QTest::mouseClick(Conn()->btnSearch, Qt::LeftButton);
        QCOMPARE(shownStep, 1);
        QCOMPARE(Wizard()->windowTitle(), QStringLiteral("Matrix found"));
        QCOMPARE(Wizard()->ResultList, QStringList({hall, stage}));
        QCOMPARE(Conn()->Devices(), QStringList({hall, stage}));
        QCOMPARE(Conn()->cbLANDevice->currentText(), stage); // the last one added
        QCOMPARE(Fx->Form->Link()->DeviceIP(), QStringLiteral("10.77.0.99"));
        QCOMPARE(Fx->Panel(2), QStringLiteral("Search TCP control device ok"));
    }

    void manualSearchAfterNothingFound()
    {
        Sim->SilentSearch = true;
        Fx->Form->Link()->SetDeviceIP(QStringLiteral("10.1.1.1"));
        When([&] { return Wizard()->isVisible() && Wizard()->Step() == 2; },
             [&] {
                 QCOMPARE(Wizard()->edtIPField[0]->text(), QStringLiteral("192"));
                 Sim->SilentSearch = false;
                 Type(Wizard()->edtIPField[0], QStringLiteral("10"));
                 Type(Wizard()->edtIPField[1], QStringLiteral("77"));
                 Type(Wizard()->edtIPField[2], QString()); // empty becomes 0
                 Type(Wizard()->edtIPField[3], QStringLiteral("2"));
                 QCOMPARE(Wizard()->edtIPField[2]->text(), QStringLiteral("0"));
                 QTest::mouseClick(Wizard()->btnGo, Qt::LeftButton);
             });
        When([&] { return Wizard()->isVisible() && Wizard()->Step() == 4; },
             [&] {
                 // Minimised and restored: no new search, the results stay.
                 Wizard()->showMinimized();
                 Wizard()->showNormal();
                 QTest::qWait(50);
                 QCOMPARE(Wizard()->Step(), 4);
                 QTest::mouseClick(Wizard()->btnDone, Qt::LeftButton);
             });
        QTest::mouseClick(Conn()->btnSearch, Qt::LeftButton);
        // Both modules answered the typed address: both listed with it.
        QCOMPARE(Wizard()->cbMXDevice1->count(), 2);
        for (const QString& e : Conn()->Devices()) {
            QCOMPARE(SettingsFile::DeviceEntryField(e, defIP), QStringLiteral("10.77.0.2"));
            QCOMPARE(SettingsFile::DeviceEntryField(e, defSubnet), QStringLiteral("Same Subnet"));
        }

        // Nothing found anywhere: "No Matrix found.", and the typed address
        // does not stay the connect target.
        Sim->SilentSearch = true;
        const QString before = Fx->Form->Link()->DeviceIP();
        When([&] { return Wizard()->isVisible() && Wizard()->Step() == 2; },
             [&] {
                 Type(Wizard()->edtIPField[3], QStringLiteral("300"));
                 QCOMPARE(Wizard()->edtIPField[3]->text(), QStringLiteral("255"));
                 QTest::mouseClick(Wizard()->btnGo, Qt::LeftButton);
             });
        When([&] { return Wizard()->isVisible() && Wizard()->Step() == 5; },
             [&] { QTest::mouseClick(Wizard()->btnClose2, Qt::LeftButton); });
        QTest::mouseClick(Conn()->btnSearch, Qt::LeftButton);
        QCOMPARE(Wizard()->result(), 7);
        QCOMPARE(Fx->Form->Link()->DeviceIP(), before);
        QCOMPARE(Fx->Panel(2), QStringLiteral("Search TCP control device cancelled"));
    }

    void stopEndsTheSearch()
    {
        QString shown; // what the gauge shows while the search waits
        When([&] { return Wizard()->isVisible() && Fx->Form->Link()->ModuleCount() == 2; },
             [&] {
                 shown = Wizard()->qmgSearch->accessibleDescription();
                 QTest::mouseClick(Wizard()->btnStop, Qt::LeftButton);
             });
        When([&] { return Wizard()->isVisible() && Wizard()->Step() == 3; },
             [&] { QTest::mouseClick(Wizard()->btnClose1, Qt::LeftButton); });
        QTest::mouseClick(Conn()->btnSearch, Qt::LeftButton);
        QVERIFY2(shown.startsWith(QStringLiteral("Searching TCP control device ...")) &&
                     shown.size() == 33,
                 qPrintable(shown));
        QCOMPARE(Wizard()->result(), 2);
        QVERIFY(Conn()->Devices().isEmpty());
        QVERIFY(!Fx->Form->Link()->Searching);

        // Stop also cuts short the pings: the second module would keep the
        // wizard 3 x 5 s without answering.
        TTiming t = Timing();
        t.PingTimeOutMs = 5000;
        t.PingAttemptMs = 5000;
        t.PingAttempts = 3;
        Fx->Form->Link()->SetTiming(t);
        QElapsedTimer clock;
        When(
            [&] {
                return Wizard()->isVisible() && Wizard()->Step() == 0 &&
                       !Fx->Form->Link()->Searching && Fx->Form->Link()->ModuleCount() == 2;
            },
            [&] {
                QTest::qWait(300); // into the second module's ping
                clock.start();
                QTest::mouseClick(Wizard()->btnStop, Qt::LeftButton);
            });
        When([&] { return Wizard()->isVisible() && Wizard()->Step() == 3; },
             [&] { QTest::mouseClick(Wizard()->btnClose1, Qt::LeftButton); });
        QTest::mouseClick(Conn()->btnSearch, Qt::LeftButton);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(Wizard()->result(), 2);
        QVERIFY(Conn()->Devices().isEmpty());
    }

    void socketErrorIsShownAndTheWizardCloses()
    {
        QUdpSocket squatter; // another program holds the search port
        QVERIFY(squatter.bind(QHostAddress::AnyIPv4, 30600, QUdpSocket::DontShareAddress));
        When([&] { return Wizard()->isVisible() && Wizard()->Step() == 2; },
             [&] { QTest::mouseClick(Wizard()->btnClose, Qt::LeftButton); });
        QTest::mouseClick(Conn()->btnSearch, Qt::LeftButton);
        const QStringList errors = Fx->Prompter.Texts(TScriptedPrompter::pkError);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(QStringLiteral("30600")), qPrintable(errors.first()));
        QVERIFY(!Fx->Form->Link()->Searching);
        QCOMPARE(Fx->Panel(2), QStringLiteral("Search TCP control device cancelled"));
    }

    void requestForAnUnreadableMacIsNotSent()
    {
        const QString entry =
            QStringLiteral("[Hall] - [Static IP] - [10.77.0.2] - [10.77.0.254] - "
                           "[255.255.255.0] - [00-1A-2B-3C-4D-QQ] - [Same Subnet]");
        Conn()->AddDevice(entry);
        Conn()->SelectDevice(entry);
        Conn()->cbLANDeviceChange();
        Sim->ConfigRequests = 0;
        TfrmEditLAN* dlg = Fx->Form->Dialogs().EditLAN;
        When([&] { return dlg->isVisible(); },
             [&] { QTest::mouseClick(dlg->btnOK, Qt::LeftButton); });
        QTest::mouseClick(Conn()->btnConfig, Qt::LeftButton);
        QCOMPARE(Fx->Panel(2), QStringLiteral("Modify TCP configuration failed"));
        QTest::qWait(50);
        QCOMPARE(Sim->ConfigRequests, 0);
        QCOMPARE(Conn()->Devices(), QStringList{entry});
    }

    void searchRefusedWhileACommandRuns()
    {
        Fx->Form->Flags().Idle = false;
        QTest::mouseClick(Conn()->btnSearch, Qt::LeftButton);
        QCOMPARE(Fx->Panel(3), QStringLiteral("In processing, command ignored"));
        QVERIFY(!Wizard()->isVisible());
        QTest::mouseClick(Conn()->btnConfig, Qt::LeftButton);
        QVERIFY(!Fx->Form->Dialogs().EditLAN->isVisible());
        Fx->Form->Flags().Idle = true;
    }

    void configurationRewritesTheEntry()
    {
        const QString entry =
            QStringLiteral("[Hall] - [Static IP] - [10.77.0.2] - [10.77.0.254] - "
                           "[255.255.255.0] - [00-1A-2B-3C-4D-50] - [Cross Subnet]");
        Conn()->AddDevice(entry);
        Conn()->SelectDevice(entry);
        Conn()->cbLANDeviceChange();
        TfrmEditLAN* dlg = Fx->Form->Dialogs().EditLAN;
        When([&] { return dlg->isVisible(); },
             [&] {
                 QVERIFY(dlg->rbStaticIP->isChecked());
                 QVERIFY(dlg->edtMACField[0]->isReadOnly());
                 Type(dlg->leDeviceTag, QStringLiteral("[Hall B]"));
                 Type(dlg->edtIPField[3], QStringLiteral("60"));
                 QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
             });
        QTest::mouseClick(Conn()->btnConfig, Qt::LeftButton);
        QCOMPARE(Fx->Panel(2), QStringLiteral("Modify TCP configuration ok"));
        const QString changed =
            QStringLiteral("[(Hall B)] - [Static IP] - [10.77.0.60] - [10.77.0.254] - "
                           "[255.255.255.0] - [00-1A-2B-3C-4D-50] - [Cross Subnet]");
        QCOMPARE(Conn()->Devices(), QStringList{changed});
        QCOMPARE(Conn()->cbLANDevice->currentText(), changed);
        QCOMPARE(Fx->Form->Link()->DeviceIP(), QStringLiteral("10.77.0.60"));
        QCOMPARE(Fx->Form->MacIdBytes[1], QStringLiteral("1A"));
        QCOMPARE(Sim->Modules()[0].Ip, (std::array<uint8_t, 4>{10, 77, 0, 60}));

        Sim->ConfigAnswer = TSimModule::caConflict;
        When([&] { return dlg->isVisible(); },
             [&] {
                 Type(dlg->edtIPField[3], QStringLiteral("61"));
                 QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
             });
        QTest::mouseClick(Conn()->btnConfig, Qt::LeftButton);
        QCOMPARE(Fx->Panel(2), QStringLiteral("Setting IP conflict:10.77.0.61"));
        QCOMPARE(Conn()->Devices(), QStringList{changed});

        Sim->ConfigAnswer = TSimModule::caSilent;
        When([&] { return dlg->isVisible(); },
             [&] {
                 QTest::mouseClick(dlg->rbDHCP, Qt::LeftButton);
                 QVERIFY(!dlg->edtIPField[0]->isEnabled());
                 QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
             });
        QTest::mouseClick(Conn()->btnConfig, Qt::LeftButton);
        QCOMPARE(Fx->Panel(2), QStringLiteral("Modify TCP configuration failed"));
        QVERIFY(Conn()->btnSearch->isEnabled());
    }
};

QTEST_MAIN(TstSearchWizard)
#include "tst_searchwizard.moc"
