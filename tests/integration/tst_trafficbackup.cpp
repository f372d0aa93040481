// The window's traffic view and its backup and restore buttons, against the
// simulator over loopback TCP.
#include "WindowFixture.h"
#include "link/DeviceBackup.h"
#include "link/Traffic.h"
#include "ui/main/BackupGroup.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/TrafficWindow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace
{
TForm1* ShowPoweredOn(TWindowFixture& f)
{
    f.Sim.Device().State().Power = true;
    if (!f.StartTcp()) return nullptr;
    f.WriteTcpSettings();
    TForm1* form = f.Show();
    if (!form->DeviceStatus()->QueryPowerStatus()) return nullptr;
    return form;
}

TBackupGroup* BackupGroup(TForm1* form)
{
    return form->tsIR->findChild<TBackupGroup*>();
}

QStringList Matching(const QStringList& lines, const QString& part)
{
    QStringList r;
    for (const QString& l : lines)
        if (l.contains(part)) r << l;
    return r;
}
} // namespace

class tst_trafficbackup : public QObject
{
    Q_OBJECT
private slots:
    void lineFormat();
    void trafficViewShowsCommandsAndReplies();
    void trafficViewKeepsItsLimitPausesAndSaves();
    void backupThenRestoreOntoAnotherMatrix();
    void badFileOrPowerOffSendsNothing();
};

void tst_trafficbackup::lineFormat()
{
    const QTime at(20, 45, 29, 123);
    const auto frame = BuildCommandFrame(TCommandPacket::Make(2, 3, 2, 3));
    const QByteArray route(reinterpret_cast<const char*>(frame.data()), 13);
    QCOMPARE(
        Traffic::FrameLine(at, fdSent, route),
        QStringLiteral("20:45:29.123 TX A5 5B 02 03 02 00 03 00 00 00 00 00 F6  RouteSet (2, 3)"));
    QCOMPARE(Traffic::FrameLine(at, fdPartial, QByteArray::fromHex("A55B10")),
             QStringLiteral("20:45:29.123 RX? A5 5B 10  incomplete, 3 bytes"));
    QCOMPARE(Traffic::FrameName(QByteArray::fromHex("A55B6301") + QByteArray(9, '\0')),
             QStringLiteral("(99, 1)"));
    QCOMPARE(Traffic::FrameName(QByteArray::fromHex("A55B0305") + QByteArray(266, '\0')),
             QStringLiteral("EdidRead data block (3, 5)"));
    QCOMPARE(Traffic::NotificationLine(at, ntTimeOut, 0, 0, QString()),
             QStringLiteral("20:45:29.123 NT 2026 time out"));
    QCOMPARE(Traffic::NotificationLine(
                 at, ntDump, 0, 0,
                 TQMCOMControl::ReceivedDump(reinterpret_cast<const uint8_t*>("AB"), 2, QString())),
             QStringLiteral("20:45:29.123 NT 2028 dump: 0x41A, 0x42B,"));
    // Control characters of a dump do not reach the view or the saved file.
    QCOMPARE(
        Traffic::NotificationLine(at, ntDump, 0, 0,
                                  TQMCOMControl::ReceivedDump(
                                      reinterpret_cast<const uint8_t*>("\x10\x1B"), 2, QString())),
        QStringLiteral("20:45:29.123 NT 2028 dump: 0x10., 0x1B.,"));
}

void tst_trafficbackup::trafficViewShowsCommandsAndReplies()
{
    TWindowFixture f;
    TForm1* form = ShowPoweredOn(f);
    QVERIFY(form);
    TTrafficWindow* traffic = form->Traffic();
    QVERIFY(!traffic->isVisible());
    QTest::keyClick(form, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(traffic->isVisible());
    QCOMPARE(traffic->windowTitle(), QStringLiteral("Traffic"));

    // Lines from before the window was opened are there too.
    const QStringList power = Matching(traffic->ShownLines(), QStringLiteral("PowerQuery (16, 1)"));
    QCOMPARE(power.size(), 2);
    QVERIFY(power[0].contains(QLatin1String(" TX A5 5B 10 01 FE 00 00 00 4B 97 0B 6C ")));
    QVERIFY(power[1].contains(QLatin1String(" RX A5 5B 10 01 FE 00 FF 00")));

    // A routing command while the window is open: its frame, its reply and
    // the link's own log lines.
    const int before = int(traffic->ShownLines().size());
    QVERIFY(form->Runner()->RunPoweredCommand(Catalogue::RouteSet(3, 2)).Ok);
    const QStringList added = traffic->ShownLines().mid(before);
    const QStringList route = Matching(added, QStringLiteral("RouteSet (2, 3)"));
    QCOMPARE(route.size(), 2);
    QVERIFY(route[0].contains(QLatin1String(" TX A5 5B 02 03 03 00 02 00")));
    QVERIFY(route[1].contains(QLatin1String(" RX A5 5B 02 03")));
    QVERIFY(!Matching(added, QStringLiteral("NT 2025 command log: [1] snd cmd PPP:")).isEmpty());
}

void tst_trafficbackup::trafficViewKeepsItsLimitPausesAndSaves()
{
    TWindowFixture f;
    TForm1* form = ShowPoweredOn(f);
    QVERIFY(form);
    TTrafficWindow* traffic = form->Traffic();
    traffic->ShowWindow();
    traffic->btnClear->click();
    QCOMPARE(traffic->ShownLines(), QStringList());

    for (int i = 0; i < TTrafficWindow::MaxLines + 50; ++i)
        traffic->AddLine(QStringLiteral("line %1").arg(i));
    QCOMPARE(traffic->Lines().size(), TTrafficWindow::MaxLines);
    QCOMPARE(traffic->Lines().first(), QStringLiteral("line 50"));
    QCOMPARE(traffic->ShownLines().size(), TTrafficWindow::MaxLines);
    QCOMPARE(traffic->ShownLines().first(), QStringLiteral("line 50"));
    traffic->btnClear->click();

    // Paused: the view stands still, the lines are kept and shown on resume.
    QTest::mouseClick(traffic->btnPause, Qt::LeftButton);
    QVERIFY(form->Runner()->RunPoweredCommand(Catalogue::IrQuery()).Ok);
    QCOMPARE(traffic->ShownLines(), QStringList());
    QVERIFY(!Matching(traffic->Lines(), QStringLiteral("IrQuery")).isEmpty());
    QTest::mouseClick(traffic->btnPause, Qt::LeftButton);
    QCOMPARE(Matching(traffic->ShownLines(), QStringLiteral("IrQuery (4, 4)")).size(), 2);

    // Filter, then save what the view shows.
    QTest::keyClicks(traffic->edtFilter, QStringLiteral(" rx "));
    const QStringList shown = traffic->ShownLines();
    QVERIFY(!shown.isEmpty());
    for (const QString& l : shown)
        QVERIFY2(l.contains(QLatin1String(" RX ")), qPrintable(l));
    const QString path = f.Dir.filePath(QStringLiteral("traffic.txt"));
    f.Prompter.FileAnswers = {path};
    QTest::mouseClick(traffic->btnSave, Qt::LeftButton);
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(saved.readAll()), shown.join(QLatin1Char('\n')) + QLatin1Char('\n'));

    // A folder that cannot be written: a message, nothing else.
    f.Prompter.FileAnswers = {f.Dir.filePath(QStringLiteral("no/such/folder/t.txt"))};
    traffic->btnSave->click();
    QCOMPARE(f.Prompter.Count(TScriptedPrompter::pkError), 1);
}

void tst_trafficbackup::backupThenRestoreOntoAnotherMatrix()
{
    TWindowFixture f;
    TMatrixState& s = f.Sim.Device().State();
    s.Route = {3, 3, 1, 2};
    s.AudioSource = {2, 3, 1, 2};
    s.Ir = false;
    s.Keys = false;
    s.Apm = true;
    s.Beeper = false;
    TForm1* form = ShowPoweredOn(f);
    QVERIFY(form);
    TBackupGroup* group = BackupGroup(form);
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("Backup and restore"));

    // A second click while the backup runs is refused and asks for no file.
    int prompts = -1;
    QTimer::singleShot(0, group, [&] {
        group->btnRestore->click();
        prompts = int(f.Prompter.Prompts.size());
    });
    const QString path = f.Dir.filePath(QStringLiteral("matrix"));
    f.Prompter.FileAnswers = {path};
    QTest::mouseClick(group->btnBackup, Qt::LeftButton);
    QCOMPARE(prompts, 1); // the backup's own file dialog only
    QCOMPARE(f.Panel(2), QStringLiteral("Backup saved"));
    TDeviceState saved;
    QString error;
    QVERIFY2(TDeviceBackup::Load(path + QStringLiteral(".json"), &saved, &error),
             qPrintable(error));
    QCOMPARE(saved.Routing, (std::array<int, 4>{3, 3, 1, 2}));
    QCOMPARE(saved.Audio, (std::array<int, 4>{2, 3, 1, 2}));
    QVERIFY(!saved.Ir && !saved.Keys && saved.Apm && !saved.Beeper);
    QCOMPARE(saved.Device, QStringLiteral("4x4"));
    QCOMPARE(saved.Version, QStringLiteral("2.07"));

    // A fresh matrix takes the backup: same state afterwards.
    s = TMatrixState();
    s.Power = true;
    const int before = f.Log.Count();
    f.Prompter.FileAnswers = {path + QStringLiteral(".json")};
    f.Prompter.ConfirmAnswers = {true};
    QTest::mouseClick(group->btnRestore, Qt::LeftButton);
    QCOMPARE(f.Panel(2), QStringLiteral("Restore done"));
    // The set commands in their order, then the Advanced tab reads its switches back.
    QCOMPARE(f.Log.Names().mid(before, 12),
             QStringList({"4,3", "1,15", "1,11", "1,13", "6,5", "6,5", "6,5", "6,5", "2,3", "2,3",
                          "2,3", "2,3"}));
    QCOMPARE(f.Log.Names().size() - before, 16);
    QCOMPARE(s.Route, (std::array<int, 4>{3, 3, 1, 2}));
    QCOMPARE(s.AudioSource, (std::array<int, 4>{2, 3, 1, 2}));
    QVERIFY(!s.Ir && !s.Keys && s.Apm && !s.Beeper);
}

void tst_trafficbackup::badFileOrPowerOffSendsNothing()
{
    TWindowFixture f;
    TForm1* form = ShowPoweredOn(f);
    QVERIFY(form);
    TBackupGroup* group = BackupGroup(form);
    TDeviceState good;
    good.Power = true;
    good.Device = QStringLiteral("4x4");
    good.Version = QStringLiteral("2.07");
    good.Routing = {1, 2, 3, 4};
    good.Audio = {1, 1, 1, 1};
    QByteArray broken = TDeviceBackup::ToJson(good);
    broken.replace("\"2\": 2", "\"2\": 9"); // output 2 shows input 9
    const QString path = f.Dir.filePath(QStringLiteral("broken.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(broken);
    file.close();

    const int before = f.Log.Count();
    f.Prompter.FileAnswers = {path};
    group->btnRestore->click();
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkError),
             QStringList{QStringLiteral(
                 "Bad backup file: \"routing\": output 2 has 9, want a number 1..4")});
    QCOMPARE(f.Prompter.Count(TScriptedPrompter::pkConfirm), 0);
    QCOMPARE(f.Log.Count(), before);

    // Off: the power message, no dialog, no traffic.
    form->Runner()->SetPowerFlag(0);
    group->btnBackup->click();
    group->btnRestore->click();
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkInformation),
             QStringList({QLatin1String(TDeviceBackup::PowerOffText),
                          QLatin1String(TDeviceBackup::PowerOffText)}));
    QCOMPARE(f.Prompter.Count(TScriptedPrompter::pkOpenFile), 1);
    QCOMPARE(f.Log.Count(), before);
}

QTEST_MAIN(tst_trafficbackup)
#include "tst_trafficbackup.moc"
