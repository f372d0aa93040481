// The desktop package: `cmake --install` into a fresh prefix, the installed
// programs run from there, and the desktop entry and AppStream metainfo pass
// their validators (when those are installed).
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class tst_package : public QObject
{
    Q_OBJECT

    static QString Run(const QString& program, const QStringList& args, int* code)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(60000)) {
            *code = -1;
            return QStringLiteral("%1 did not finish").arg(program);
        }
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return QString::fromUtf8(p.readAll());
    }

private slots:
    void installAndValidate();
};

void tst_package::installAndValidate()
{
    const QString id = QStringLiteral("org.hdmimatrix.MatrixController");
    const QString build = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    QTemporaryDir prefix;
    int code = 0;
    QString out =
        Run(QStringLiteral("cmake"),
            {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefix.path()}, &code);
    QVERIFY2(code == 0, qPrintable(out));

    const QString bin = prefix.filePath(QStringLiteral("bin/"));
    for (const char* program : {"matrix-controller", "matrixctl", "matrix-sim", "matrix-server"})
        QVERIFY2(QFileInfo(bin + QLatin1String(program)).isExecutable(), program);
    const QString desktop =
        prefix.filePath(QStringLiteral("share/applications/%1.desktop").arg(id));
    const QString icon =
        prefix.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(id));
    const QString metainfo =
        prefix.filePath(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(id));
    for (const QString& f : {desktop, icon, metainfo})
        QVERIFY2(QFileInfo(f).isFile(), qPrintable(f));

    // The service: one instance per matrix, its options from /etc, unprivileged on the serial
    // ports.
    QFile unit(prefix.filePath(QStringLiteral("lib/systemd/system/matrix-server@.service")));
    QVERIFY(unit.open(QIODevice::ReadOnly));
    const QByteArray service = unit.readAll();
    for (const char* line : {"EnvironmentFile=/etc/matrix-server/%i.conf", "User=matrix-server",
                             "SupplementaryGroups=dialout"})
        QVERIFY2(service.contains(line), line);
    QVERIFY(service.contains(QFile::encodeName(bin) + "matrix-server $MATRIX_SERVER_OPTIONS"));

    // The installed tool runs from its new place.
    out = Run(bin + QStringLiteral("matrixctl"), {QStringLiteral("--help")}, &code);
    QCOMPARE(code, 0);
    QVERIFY(out.startsWith(QStringLiteral("usage: matrixctl")));

    const QString dfv = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    const QString asv = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (!dfv.isEmpty()) {
        out = Run(dfv, {desktop}, &code);
        QVERIFY2(code == 0 && out.trimmed().isEmpty(), qPrintable(out));
    }
    if (!asv.isEmpty()) {
        out = Run(asv, {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo}, &code);
        QVERIFY2(code == 0, qPrintable(out));
    }
    if (dfv.isEmpty() || asv.isEmpty())
        QSKIP("desktop-file-validate or appstreamcli is not installed");
}

QTEST_GUILESS_MAIN(tst_package)
#include "tst_package.moc"
