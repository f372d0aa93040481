#include "settings/IniFile.h"
#include "settings/SettingsFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

using namespace SettingsFile;

namespace
{

const QString Mac = QStringLiteral("00-1A-2B-3C-4D-5E");

// A large save whose every part carries its version number, so a file mixing
// two versions or cut short cannot pass for a complete one.
TSettingsData Version(int k)
{
    TSettingsData data;
    data.ComPortName = QStringLiteral("COM%1").arg(k);
    for (int i = 0; i < 1500; ++i) {
        data.TcpDevices << BuildDeviceEntry({QStringLiteral("Room %1-%2").arg(k).arg(i),
                                             "Static IP", "192.168.1.50", "192.168.1.1",
                                             "255.255.255.0", Mac, "Same Subnet"});
        data.InDeviceNames << QStringLiteral("Source %1-%2").arg(k).arg(i);
    }
    data.TcpDeviceName = data.TcpDevices.first();
    data.MacIdBytes[2] = QString::number(k);
    return data;
}

TPortTags Tags(int k)
{
    TPortTags tags;
    tags.In[0] = QStringLiteral("Player %1").arg(k);
    return tags;
}

QByteArray Get(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSettingsKill : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    QHash<int, QByteArray> FExpected;

    // The file a save of version k leaves behind, made in a folder of its own.
    QByteArray Expected(int k)
    {
        if (!FExpected.contains(k)) {
            const QString scratch = FDir.filePath(QStringLiteral("expected-%1.ini").arg(k));
            WriteSettings(scratch, Version(0), cmLAN, Mac, Tags(0));
            if (k != 0) WriteSettings(scratch, Version(k), cmLAN, Mac, Tags(k));
            FExpected[k] = Get(scratch);
        }
        return FExpected[k];
    }

private slots:
    // One round in three runs full settings saves, the others bare saves of a loaded
    // file; the latter spend nearly all their time writing, where a kill hurts.
    void killDuringSaveLeavesAWholeFile()
    {
        const QString path = FDir.filePath(QStringLiteral("Settings.ini"));
        QVERIFY(WriteSettings(path, Version(0), cmLAN, Mac, Tags(0)));
        const QByteArray one = Expected(1);
        QByteArray oneB = one;
        oneB.replace("[COM port]\r\nName=COM1\r\n", "[COM port]\r\nName=COM2\r\n");
        QVERIFY(oneB != one);
        for (int round = 0; round < 24; ++round) {
            const bool bare = round % 3 != 0;
            const QByteArray before = Get(path);
            int ready[2];
            QCOMPARE(pipe(ready), 0);
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
#ifdef __linux__
                prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
                close(ready[0]);
                TIniFile ini(path);
                ini.Parse(one);
                for (int k = round * 100000 + 1; k < round * 100000 + 99999; ++k) {
                    if (bare) {
                        ini.WriteString("COM port", "Name", k % 2 ? "COM1" : "COM2");
                        ini.Flush();
                    } else {
                        WriteSettings(path, Version(k), cmLAN, Mac, Tags(k));
                    }
                    if (write(ready[1], "s", 1) != 1) break;
                }
                _exit(0);
            }
            close(ready[1]);
            // Half the rounds strike before the first save can have finished.
            char saved;
            if (round % 2 == 0) QCOMPARE(read(ready[0], &saved, 1), ssize_t(1));
            usleep(useconds_t(QRandomGenerator::global()->bounded(30000)));
            kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);
            close(ready[0]);
            QVERIFY(WIFSIGNALED(status));

            const QByteArray now = Get(path);
            if (bare) {
                QVERIFY2(now == before || now == one || now == oneB,
                         qPrintable(QStringLiteral("round %1").arg(round)));
            } else {
                const TSettingsData data = ReadSettings(path);
                bool ok = false;
                const int k = data.ComPortName.mid(3).toInt(&ok);
                QVERIFY2(ok, qPrintable(data.ComPortName));
                QVERIFY2(now == before || now == Expected(k),
                         qPrintable(QStringLiteral("round %1, version %2").arg(round).arg(k)));
            }
        }
    }
};

QTEST_MAIN(TestSettingsKill)
#include "tst_settingskill.moc"
