// matrixctl module query / reset against matrix-sim over its pseudo-terminal.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TstModuleCli : public QObject
{
    Q_OBJECT

    QString FCtl;
    QTemporaryDir FDir;
    QProcess FSim;
    QString FPty;

    struct TRun {
        int Code;
        QString Out;
        QString Err;
    };
    TRun Ctl(const QStringList& args)
    {
        QProcess p;
        p.start(FCtl, QStringList{QStringLiteral("--serial"), FPty} + args);
        p.closeWriteChannel(); // no terminal to type "Yes" on
        p.waitForFinished(30000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
        FCtl = bin + QStringLiteral("/cli/matrixctl");
        FPty = FDir.filePath(QStringLiteral("ttyMATRIX"));
        FSim.start(bin + QStringLiteral("/sim/matrix-sim"), {QStringLiteral("--pty"), FPty});
        QVERIFY(FSim.waitForReadyRead(10000));
        QCOMPARE(FSim.readLine().trimmed(), QByteArray("ready"));
    }
    void cleanupTestCase()
    {
        FSim.terminate();
        QVERIFY(FSim.waitForFinished(10000));
    }

    void queryAndReset()
    {
        TRun q = Ctl({QStringLiteral("module"), QStringLiteral("query")});
        QCOMPARE(q.Code, 0);
        QCOMPARE(q.Out,
                 QStringLiteral("Version: Ver1.5\nDHCP: Static IP\nIP Address: 192.168.0.100\n"));
        q = Ctl({QStringLiteral("--json"), QStringLiteral("module"), QStringLiteral("query")});
        QCOMPARE(q.Code, 0);
        QCOMPARE(q.Out,
                 QStringLiteral("{\"dhcp\":false,\"ip\":\"192.168.0.100\",\"version\":\"1.5\"}\n"));

        // No terminal and no --yes: a usage error, nothing sent.
        TRun r = Ctl({QStringLiteral("module"), QStringLiteral("reset")});
        QCOMPARE(r.Code, 2);
        QVERIFY2(r.Err.contains(QStringLiteral("--yes")), qPrintable(r.Err));
        QVERIFY(r.Out.isEmpty());

        r = Ctl({QStringLiteral("module"), QStringLiteral("reset"), QStringLiteral("--yes")});
        QCOMPARE(r.Code, 0);
        QCOMPARE(r.Out, QStringLiteral("Reset Default ok\nVersion: Ver1.5\nDHCP: Static IP\n"
                                       "IP Address: 192.168.0.100\n"));
    }
};

QTEST_GUILESS_MAIN(TstModuleCli)
#include "tst_modulecli.moc"
