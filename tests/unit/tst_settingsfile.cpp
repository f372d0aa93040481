#include "settings/IniFile.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace SettingsFile;

namespace
{

const QString RoomA = QStringLiteral("[Room A] - [Static IP] - [192.168.1.50] - [192.168.1.1] - "
                                     "[255.255.255.0] - [00-1A-2B-3C-4D-5E] - [Same Subnet]");
const QString MacA = QStringLiteral("00-1A-2B-3C-4D-5E");

TPortTags Tags(const QString& in1, const QString& out1)
{
    TPortTags tags;
    tags.In[0] = in1;
    tags.Out[0] = out1;
    return tags;
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    int FCount = 0;
    // A fresh file path in its own empty folder.
    QString NewPath()
    {
        const QString folder = FDir.filePath(QString::number(++FCount));
        QDir().mkpath(folder);
        return QDir(folder).filePath(QStringLiteral("Settings.ini"));
    }
    void Put(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray Get(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList Sections(const QString& path)
    {
        TIniFile ini(path);
        ini.Load();
        return ini.SectionNames();
    }

private slots:
    void folderForTheSettings()
    {
        // Installed programs, whatever the system's spelling of the path.
        const QStringList system{"/usr/bin", "C:\\Program Files"};
        for (const char* f : {"/usr/bin", "/usr/bin/", "c:/program files/Matrix Controller/bin",
                              "C:\\Program Files\\Matrix Controller",
                              "/Applications/MatrixController.app/Contents/MacOS"})
            QVERIFY2(IsSystemProgramFolder(f, system), f);
        // Portable copies, including names that merely begin alike.
        for (const char* f : {"/usr/binary", "/home/op/matrix", "D:/Program Files Backup/mc",
                              "/Users/op/MatrixController.app.old"})
            QVERIFY2(!IsSystemProgramFolder(f, system), f);
        // Wherever the Windows installer put it, its uninstaller marks it.
        const QString setup = FDir.filePath("D/Tools/Matrix Controller");
        QDir().mkpath(setup);
        QVERIFY(!IsInstalledProgramFolder(setup));
        QFile(setup + "/Uninstall.exe").open(QIODevice::WriteOnly);
        QVERIFY(IsInstalledProgramFolder(setup));

        // Beside the program when writable; else the user's folder, which
        // takes over the program's file once and keeps its own afterwards;
        // else nothing.
        const QString program = FDir.filePath("program");
        const QString user = FDir.filePath("user/config");
        QDir().mkpath(program);
        const auto write = [](const QString& path, const QByteArray& bytes) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        };
        write(program + "/Settings.ini", "[Control mode]\r\nMode=0\r\n");
        const auto all = [](const QString&) { return true; };
        const auto notProgram = [&](const QString& f) { return f != program; };
        QCOMPARE(ChooseFolder(program, user, all), program);
        QVERIFY(!QFile::exists(user));
        QCOMPARE(ChooseFolder(program, user, notProgram), user);
        QCOMPARE(ReadSettings(user + "/Settings.ini").TcpMode, false);
        write(user + "/Settings.ini", "[Control mode]\r\nMode=1\r\n");
        QCOMPARE(ChooseFolder(program, user, notProgram), user);
        QCOMPARE(ReadSettings(user + "/Settings.ini").TcpMode, true);
        QCOMPARE(ChooseFolder(program, user, [](const QString&) { return false; }), QString());
    }

    void firstSaveMatchesTheDocumentedLayout()
    {
        const QString path = NewPath();
        TSettingsData data;
        data.ComPortName = "COM3";
        data.TcpDeviceName = RoomA;
        data.TcpDevices = QStringList{RoomA};
        data.InDeviceNames = QStringList{"Blu-ray"};
        data.OutDisplayNames = QStringList{"Projector"};
        data.Edid.EdidMode = "1080p, Stereo Audio 2.0";
        data.Edid.InOfEdidMode = data.Edid.InOfCopyEdid = data.Edid.InOfDownloadEdid =
            "In1 - [Blu-ray]";
        data.Edid.OutOfCopyEdid = data.Edid.OutOfReadEdid = "Out1 - [Projector]";
        QString error;
        QVERIFY(WriteSettings(path, data, cmLAN, MacA, Tags("Blu-ray", "Projector"), &error));
        QVERIFY(error.isEmpty());

        QStringList expected{"[WARNING]",
                             "NOTE=DON'T MODIFY THIS FILE MANUALLY!",
                             "[Control mode]",
                             "Mode=1",
                             "[COM port]",
                             "Name=COM3",
                             "[TCP control device]",
                             "Name=" + RoomA,
                             "[TCP control device list]",
                             "Device No.1=" + RoomA,
                             "[Tag of Input - TCP:00-1A-2B-3C-4D-5E]",
                             "In1=Blu-ray",
                             "In2=",
                             "In3=",
                             "In4=",
                             "[Tag of Output - TCP:00-1A-2B-3C-4D-5E]",
                             "Out1=Projector",
                             "Out2=",
                             "Out3=",
                             "Out4=",
                             "[Pre-Setting name]"};
        for (int n = 1; n <= 8; ++n)
            expected << QString("Setting%1=Setting%1").arg(n);
        expected << "[Pre-Setting value]";
        for (int n = 1; n <= 8; ++n)
            expected << QString("value%1=1,2,3,4").arg(n);
        expected << "[In device name]"
                 << "Device1=Blu-ray"
                 << "[Out display name]"
                 << "Display1=Projector"
                 << "[EDID setting]"
                 << "EDID mode=1080p, Stereo Audio 2.0"
                 << "In of EDID mode=In1 - [Blu-ray]"
                 << "Out of Copy EDID=Out1 - [Projector]"
                 << "In of Copy EDID=In1 - [Blu-ray]"
                 << "Out of Read EDID=Out1 - [Projector]"
                 << "In of Download EDID=In1 - [Blu-ray]"
                 << "Save EDID file="
                 << "Open EDID file="
                 << "[Display tag]"
                 << "Value=0"
                 << "[MAC ID Bytes]"
                 << "MAC ID B1=18"
                 << "MAC ID B2=98"
                 << "MAC ID B3=66";
        QCOMPARE(QString::fromUtf8(Get(path)), expected.join("\r\n") + "\r\n");

        const TSettingsData back = ReadSettings(path);
        QCOMPARE(back.TcpDevices, data.TcpDevices);
        QCOMPARE(back.TcpDeviceName, RoomA);
        QCOMPARE(back.Edid.OutOfReadEdid, data.Edid.OutOfReadEdid);
        QCOMPARE(LoadPortTags(path, cmLAN, MacA).Out[0], QString("Projector"));

        // Saving the same state again changes nothing, however often.
        QVERIFY(WriteSettings(path, back, cmLAN, MacA, Tags("Blu-ray", "Projector")));
        const QByteArray second = Get(path);
        QVERIFY(WriteSettings(path, ReadSettings(path), cmLAN, MacA, Tags("Blu-ray", "Projector")));
        QCOMPARE(Get(path), second);
    }

    void firstStartWithoutFile()
    {
        const QString path = NewPath();
        QString error = "unset";
        const TSettingsData data = ReadSettings(path, &error);
        QVERIFY(error.isEmpty());
        QVERIFY(data.TcpMode);
        QVERIFY(data.TcpDevices.isEmpty());
        QVERIFY(!data.DisplayTag);
        for (int n = 1; n <= 8; ++n) {
            QCOMPARE(data.PreSettings[size_t(n - 1)].Name, QString("Setting%1").arg(n));
            QCOMPARE(data.PreSettings[size_t(n - 1)].Values, QStringList({"1", "2", "3", "4"}));
        }
        QCOMPARE(data.MacIdBytes[2], QString("66"));
        QVERIFY(WriteSettings(path, data, cmLAN, NoDeviceMAC, TPortTags()));
        TIniFile ini(path);
        QVERIFY(ini.Load());
        QCOMPARE(ini.SectionValues("MAC ID Bytes"), QStringList({"18", "98", "66"}));
        // Empty COM port and device names leave no trace.
        QVERIFY(!ini.SectionExists("COM port"));
        QVERIFY(!ini.SectionExists("TCP control device"));
    }

    void preSettingValues_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("short") << "3" << QStringList{"3", "1", "2", "3"};
        QTest::newRow("five") << "4,4,4,4,4" << QStringList{"4", "4", "4", "4", "4"};
        QTest::newRow("blanks") << " 2 3, 1" << QStringList{"2", "3", "1", "1"};
        QTest::newRow("empty items") << "2,,3, " << QStringList{"2", "", "3", ""};
        QTest::newRow("empty") << "" << QStringList{"1", "2", "3", "4"};
    }
    void preSettingValues()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, items);
        const QString path = NewPath();
        Put(path, "[Pre-Setting value]\r\nvalue2=" + stored.toUtf8() + "\r\n");
        TSettingsData data = ReadSettings(path);
        QCOMPARE(data.PreSettings[1].Values, items);
        QCOMPARE(data.PreSettings[0].Values, QStringList({"1", "2", "3", "4"}));
        QVERIFY(WriteSettings(path, data, cmCOM, QString(), TPortTags()));
        TIniFile ini(path);
        QVERIFY(ini.Load());
        QCOMPARE(ini.ReadString("Pre-Setting value", "value2"), items.join(","));
    }

    void handEditedFile()
    {
        const QString path = NewPath();
        Put(path, "[tcp CONTROL device list]\n"
                  "Device No.7=" +
                      RoomA.toUtf8() +
                      "\n"
                      "[Control mode]\nMode=0\nOwner=me\n"
                      "[In device name]\nDevice1=\nX=DVD\n"
                      "[Out display name]\nDisplay1=  \n"
                      "[My own]\nKeep=this\n");
        TSettingsData data = ReadSettings(path);
        QCOMPARE(data.TcpDevices, QStringList{RoomA});
        QVERIFY(!data.TcpMode);
        // Blank entries are kept, so that a save writes back what was there.
        QCOMPARE(data.InDeviceNames, QStringList({"", "DVD"}));
        QCOMPARE(data.OutDisplayNames, QStringList{""});

        data.TcpDevices << "[B]";
        QVERIFY(WriteSettings(path, data, cmCOM, QString(), TPortTags()));
        TIniFile ini(path);
        QVERIFY(ini.Load());
        QCOMPARE(ini.ReadString("My own", "Keep"), QString("this"));
        QCOMPARE(ini.ReadString("Control mode", "Owner"), QString("me"));
        QCOMPARE(ini.SectionKeys("TCP control device list"),
                 QStringList({"Device No.1", "Device No.2"}));
        QCOMPARE(ini.SectionKeys("In device name"), QStringList({"Device1", "Device2"}));
        QCOMPARE(ini.SectionKeys("Out display name"), QStringList({"Display1"}));
    }

    void portTagsPerLink()
    {
        const QString path = NewPath();
        TPortTags com = Tags("PC", "TV");
        com.In[3] = "Game";
        QVERIFY(SavePortTags(path, cmCOM, MacA, com));
        QVERIFY(SavePortTags(path, cmLAN, MacA, Tags("Blu-ray", "")));
        QCOMPARE(LoadPortTags(path, cmCOM, MacA).In, com.In);
        QCOMPARE(LoadPortTags(path, cmCOM, QString()).Out, com.Out);
        const TPortTags lan = LoadPortTags(path, cmLAN, MacA.toLower());
        QCOMPARE(lan.In[0], QString("Blu-ray"));
        QCOMPARE(lan.Out[0], QString(""));
        // The output section of the TCP device was all blank: purged.
        QCOMPARE(Sections(path), QStringList({"Tag of Input - COM", "Tag of Output - COM",
                                              "Tag of Input - TCP:" + MacA}));

        // A device without a MAC keeps no tags.
        QVERIFY(SavePortTags(path, cmLAN, NoDeviceMAC, Tags("X", "Y")));
        QVERIFY(SavePortTags(path, cmLAN, "", Tags("X", "Y")));
        QCOMPARE(Sections(path).size(), 3);
        QCOMPARE(LoadPortTags(path, cmLAN, NoDeviceMAC).In[0], QString());

        // A MAC with blanks around it (a hand-edited entry) finds the section
        // written for it: saves don't pile up copies, the tags load back.
        const QString padded = " " + MacA + " ";
        for (int i = 0; i < 3; ++i)
            QVERIFY(SavePortTags(path, cmLAN, padded, Tags("Mixer", "Wall")));
        QCOMPARE(Sections(path).size(), 4);
        QCOMPARE(LoadPortTags(path, cmLAN, padded).Out[0], QString("Wall"));
        QCOMPARE(LoadPortTags(path, cmLAN, MacA).In[0], QString("Mixer"));
    }

    void purgeOfBlankTagSections()
    {
        const QString path = NewPath();
        Put(path, "[Tag of Input - COM]\nIn1=\nIn2=   \nIn3=\t\nIn4= \n"
                  "[Tag of Output - TCP:11-22-33-44-55-66]\n"
                  "[Tag of Output - COM]\nOut1=\nOut2=TV\n"
                  "[Other]\nA=\n");
        QVERIFY(PurgeEmptyTagSections(path));
        QCOMPARE(Sections(path), QStringList({"Tag of Output - COM", "Other"}));
    }

    void junkFileKeepsWhatIsReadable()
    {
        const QString path = NewPath();
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk += char((i * 7919) % 256);
        junk.replace('[', '{');
        Put(path, junk + "\n[COM port]\nName=COM7\n" + junk + "\n[Display tag]\nValue=1\n");
        TSettingsData data = ReadSettings(path);
        QCOMPARE(data.ComPortName, QString("COM7"));
        QVERIFY(data.DisplayTag);
        QVERIFY(WriteSettings(path, data, cmCOM, QString(), TPortTags()));
        const TSettingsData back = ReadSettings(path);
        QCOMPARE(back.ComPortName, QString("COM7"));
        QVERIFY(back.DisplayTag);
    }

    void refusedWrites()
    {
        const QString missing = FDir.filePath("gone/away/Settings.ini");
        const QString folder = NewPath();
        QVERIFY(QDir().mkpath(folder));
        for (const QString& path : {missing, folder}) {
            const QString text = "Unable to write to " + path;
            QString error;
            QVERIFY(!WriteSettings(path, TSettingsData(), cmCOM, QString(), TPortTags(), &error));
            QCOMPARE(error, text);
            error.clear();
            QVERIFY(!SavePortTags(path, cmCOM, QString(), Tags("a", "b"), &error));
            QCOMPARE(error, text);
            error.clear();
            QVERIFY(!PurgeEmptyTagSections(path, &error));
            QCOMPARE(error, text);
        }
        QString error;
        const TSettingsData data = ReadSettings(folder, &error);
        QVERIFY(!error.isEmpty());
        QVERIFY(data.TcpMode);
    }

    void deviceEntryFields()
    {
        const QStringList expected{"Room A",      "Static IP",     "192.168.1.50",
                                   "192.168.1.1", "255.255.255.0", "00-1A-2B-3C-4D-5E",
                                   "Same Subnet"};
        std::array<QString, 7> fields;
        for (int n = 0; n < 7; ++n) {
            QCOMPARE(DeviceEntryField(RoomA, n), expected[n]);
            fields[size_t(n)] = expected[n];
        }
        QCOMPARE(BuildDeviceEntry(fields), RoomA);
        QCOMPARE(DeviceEntryField(RoomA, 7), QString());
        QCOMPARE(DeviceEntryField(RoomA, -1), QString());
        QCOMPARE(DeviceEntryField("no brackets", 0), QString());
        QCOMPARE(DeviceEntryField("[a] - [b", 1), QString());
        QCOMPARE(DeviceEntryField("[a [b] c]", 1), QString("b"));
        QCOMPARE(DeviceEntryField("[a [b] c]", 0), QString("a [b"));
    }
};

QTEST_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
