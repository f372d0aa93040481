#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestIniFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    QString Path(const QString& name = QStringLiteral("Settings.ini")) const
    {
        return FDir.filePath(name);
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
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private slots:
    void roundTripIsCaseInsensitive()
    {
        const QString path = Path(QStringLiteral("roundtrip.ini"));
        TIniFile ini(path);
        QVERIFY(ini.Load());
        ini.WriteString("Pre-Setting name", "Setting1", "Movies");
        ini.WriteBool("Control mode", "Mode", true);
        ini.WriteInteger("Pre-Setting name", "Count", -12);
        ini.WriteString("Pre-Setting name", "Empty", "");
        QVERIFY(ini.Flush());
        QCOMPARE(Get(path), QByteArray("[Pre-Setting name]\r\nSetting1=Movies\r\nCount=-12\r\n"
                                       "Empty=\r\n[Control mode]\r\nMode=1\r\n"));

        TIniFile again(path);
        QVERIFY(again.Load());
        QCOMPARE(again.ReadString("PRE-SETTING NAME", "setting1"), QString("Movies"));
        QCOMPARE(again.ReadInteger("pre-setting name", "COUNT", 0), -12);
        QVERIFY(again.ReadBool("control MODE", "mode", false));
        // Present but empty is not missing.
        QCOMPARE(again.ReadString("Pre-Setting name", "Empty", "dflt"), QString(""));
        QCOMPARE(again.ReadString("Pre-Setting name", "Nope", "dflt"), QString("dflt"));
        QCOMPARE(again.SectionKeys("pre-setting NAME"),
                 QStringList({"Setting1", "Count", "Empty"}));
        QCOMPARE(again.SectionNames(), QStringList({"Pre-Setting name", "Control mode"}));
    }

    void integersAndBooleans_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("integer");
        QTest::addColumn<bool>("boolean");
        QTest::newRow("one") << "1" << 1 << true;
        QTest::newRow("zero") << "0" << 0 << false;
        QTest::newRow("two") << "2" << 2 << true;
        QTest::newRow("negative") << "-1" << -1 << true;
        QTest::newRow("blanks") << "  0 " << 0 << false;
        QTest::newRow("hex") << "0x10" << 16 << true;
        QTest::newRow("text") << "yes" << 77 << true;
        QTest::newRow("empty") << "" << 77 << true;
        QTest::newRow("trailing junk") << "1abc" << 77 << true;
    }
    void integersAndBooleans()
    {
        QFETCH(QString, stored);
        QFETCH(int, integer);
        QFETCH(bool, boolean);
        TIniFile ini(Path(QStringLiteral("numbers.ini")));
        ini.Parse("[S]\nK=" + stored.toUtf8() + "\n");
        QCOMPARE(ini.ReadInteger("S", "K", 77), integer);
        QCOMPARE(ini.ReadBool("S", "K", true), boolean);
    }

    // The private-profile placement rules, with everything unknown kept.
    void perKeyUpdateKeepsTheRest()
    {
        const QString path = Path(QStringLiteral("update.ini"));
        Put(path, "; written by hand\n"
                  "[Control mode]\n"
                  "mode = 0\n"
                  "Colour=blue\n"
                  "\n"
                  "[Other]\n"
                  "Keep=me\n");
        TIniFile ini(path);
        QVERIFY(ini.Load());
        ini.WriteBool("CONTROL MODE", "Mode", true);
        ini.WriteString("Control mode", "Extra", "x");
        ini.WriteString("New one", "A", "b");
        QVERIFY(ini.Flush());
        QCOMPARE(Get(path), QByteArray("; written by hand\r\n"
                                       "[Control mode]\r\n"
                                       "mode=1\r\n"
                                       "Colour=blue\r\n"
                                       "Extra=x\r\n"
                                       "\r\n"
                                       "[Other]\r\n"
                                       "Keep=me\r\n"
                                       "[New one]\r\n"
                                       "A=b\r\n"));
    }

    void eraseSectionRemovesEveryCopy()
    {
        TIniFile ini(Path());
        ini.Parse("[List]\nA=1\n[Keep]\nK=v\n[list]\nB=2\n");
        QCOMPARE(ini.SectionValues("LIST"), QStringList({"1", "2"}));
        ini.EraseSection("List");
        ini.DeleteKey("Keep", "missing");
        QCOMPARE(ini.ToBytes(), QByteArray("[Keep]\r\nK=v\r\n"));
        ini.DeleteKey("keep", "k");
        QCOMPARE(ini.ToBytes(), QByteArray("[Keep]\r\n"));
    }

    void toleratesJunkAndKeepsIt()
    {
        const QString path = Path(QStringLiteral("junk.ini"));
        static const char raw[] = "\xEF\xBB\xBF"
                                  "garbage without equals\r\n"
                                  "[Control mode]\n"
                                  "Mode=0\r\n"
                                  "Lone\rCR =  spaced value \r\n"
                                  "=no key\n"
                                  "[unterminated\n"
                                  "\x00\x01\xFF\xFE\x80=\x9F\n"
                                  "Name=T\xE9l\xE9\n"
                                  ";Mode=1\n"
                                  "[]\n"
                                  "[COM port]\r\n"
                                  "Name=COM3";
        const QByteArray junk(raw, sizeof(raw) - 1);
        Put(path, junk);
        TIniFile ini(path);
        QVERIFY(ini.Load());
        QCOMPARE(ini.ReadBool("CONTROL MODE", "mode", true), false);
        QCOMPARE(ini.ReadString("control mode", "LONE CR"), QString("spaced value"));
        QCOMPARE(ini.SectionKeys("Control mode"),
                 QStringList({"Mode", "Lone\rCR", QString::fromLatin1("\x00\x01\xFF\xFE\x80", 5),
                              "Name"}));
        QCOMPARE(ini.ReadString("Control mode", "Name"), QString::fromUtf8("T\xC3\xA9l\xC3\xA9"));
        QCOMPARE(ini.ReadString("COM port", "Name"), QString("COM3"));

        // Nothing changed: the file is left alone, line ends included.
        QVERIFY(ini.Flush());
        QCOMPARE(Get(path), junk);

        ini.WriteString("COM port", "Name", "COM4");
        QVERIFY(ini.Flush());
        QByteArray expected = junk;
        expected.replace("\r\n", "\n").replace("\n", "\r\n");
        expected.replace("Name=COM3", "Name=COM4\r\n");
        QCOMPARE(Get(path), expected);
    }

    void valuesCannotBreakTheLayout()
    {
        TIniFile ini(Path());
        ini.WriteString("Tags", "In1", "DVD\r\n[Evil]\nX=1");
        TIniFile reread(Path());
        reread.Parse(ini.ToBytes());
        QCOMPARE(reread.SectionNames(), QStringList({"Tags"}));
        QCOMPARE(reread.ReadString("Tags", "In1"), QString("DVD  [Evil] X=1"));
    }

    // Every edit keeps the look-ups right: after a run of inserts, erases,
    // deletes and rewrites in a file of repeated sections, each answer must
    // match that of a fresh file parsed from the same bytes.
    void lookUpsFollowEveryEdit()
    {
        QByteArray text = "; head\r\nloose=1\r\n";
        for (int n = 0; n < 40; ++n)
            text += "[S" + QByteArray::number(n % 15) + "]\r\nk" + QByteArray::number(n) +
                    "=v\r\nK" + QByteArray::number(n % 3) + " = " + QByteArray::number(n) +
                    "\r\n\r\n";
        TIniFile ini(Path());
        ini.Parse(text);
        QCOMPARE(ini.ReadString("s4", "K1"), QString("4"));
        ini.WriteString("S2", "new", "x");   // inserted mid-file
        ini.WriteString(" s3 ", "K0", "3b"); // rewritten in place
        ini.EraseSections({"S5", "s7", "none"});
        ini.DeleteKey("S1", "k16");
        ini.RewriteSection("S0", {"a", "b"}, {"1", "2"});
        ini.WriteString("S9", "K2", "late"); // after the shifts
        ini.WriteString("Fresh", "F", "f");
        ini.EraseSection("S12");
        ini.WriteString("S14", "k44", "y");

        TIniFile fresh(Path());
        fresh.Parse(ini.ToBytes());
        QCOMPARE(fresh.SectionNames(), ini.SectionNames());
        QVERIFY(!ini.SectionExists("S5") && !ini.ValueExists("S1", "k16"));
        QVERIFY(!ini.ValueExists("", "loose"));
        for (const QString& section : fresh.SectionNames() + QStringList({"S5", "S12"})) {
            QCOMPARE(ini.SectionKeys(section), fresh.SectionKeys(section));
            QCOMPARE(ini.SectionValues(section), fresh.SectionValues(section));
            for (const QString& key : fresh.SectionKeys(section) + QStringList({"k16", "K9"}))
                QCOMPARE(ini.ReadString(section.toLower(), key.toUpper(), "-"),
                         fresh.ReadString(section, key, "-"));
        }
        QCOMPARE(ini.ReadString("S2", "new"), QString("x"));
        QCOMPARE(ini.ReadString("S3", "K0"), QString("3b"));
        QCOMPARE(ini.ReadString("S9", "K2"), QString("late"));
        QCOMPARE(ini.ReadString("s0", "B"), QString("2"));
    }

    void refusedWriteIsReported()
    {
        const QString missing = FDir.filePath(QStringLiteral("no/such/dir/Settings.ini"));
        TIniFile ini(missing);
        QVERIFY(ini.Load());
        ini.WriteString("A", "B", "C");
        QString error;
        QVERIFY(!ini.Flush(&error));
        QCOMPARE(error, QString("Unable to write to " + missing));

        // A directory in the file's place can be neither read nor replaced.
        const QString folder = FDir.filePath(QStringLiteral("adir"));
        QVERIFY(QDir().mkpath(folder));
        TIniFile dir(folder);
        QVERIFY(!dir.Load(&error));
        dir.WriteString("A", "B", "C");
        QVERIFY(!dir.Flush(&error));
        QCOMPARE(error, QString("Unable to write to " + folder));
        QVERIFY(QFileInfo(folder).isDir());
    }
};

QTEST_MAIN(TestIniFile)
#include "tst_inifile.moc"
