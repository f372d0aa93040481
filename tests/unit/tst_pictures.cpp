// The drawn pictures: every power state and both plug states must be told
// apart at a glance.
#include "widgets/Pictures.h"

#include <QImage>
#include <QtTest>

class tst_pictures : public QObject
{
    Q_OBJECT
private slots:
    void powerPicturesDiffer();
    void plugPicturesDiffer();
};

void tst_pictures::powerPicturesDiffer()
{
    const TPowerPicture kinds[] = {ppDesign, ppOn, ppOff, ppNoReply};
    QList<QImage> images;
    for (TPowerPicture k : kinds) {
        const QPixmap pm = PowerPicture(k, 67);
        QCOMPARE(pm.size(), QSize(67, 67));
        images << pm.toImage();
    }
    for (int i = 0; i < images.size(); ++i)
        for (int j = i + 1; j < images.size(); ++j)
            QVERIFY2(images[i] != images[j], qPrintable(QStringLiteral("%1 vs %2").arg(i).arg(j)));
    // The centre of the disc carries the state's colour: green on, red off.
    const QColor on = images[1].pixelColor(15, 33);
    const QColor off = images[2].pixelColor(15, 33);
    QVERIFY(on.green() > on.red());
    QVERIFY(off.red() > off.green());
}

void tst_pictures::plugPicturesDiffer()
{
    const QImage apart = PlugPicture(false, 33).toImage();
    const QImage joined = PlugPicture(true, 33).toImage();
    QCOMPARE(apart.size(), QSize(33, 33));
    QVERIFY(apart != joined);
}

QTEST_MAIN(tst_pictures)
#include "tst_pictures.moc"
