#include "SerialPortLister.h"

#include "transport/SerialPorts.h"

#include <QFileInfo>
#include <QThread>

TSystemSerialPortLister::TSystemSerialPortLister(bool background)
{
    if (!background) return;
    FThread = new QThread(this);
    FReader = new QObject;
    FReader->moveToThread(FThread);
    connect(FThread, &QThread::finished, FReader, &QObject::deleteLater);
    FThread->start();
}

TSystemSerialPortLister::~TSystemSerialPortLister()
{
    if (!FThread) return;
    FThread->quit();
    FThread->wait();
}

QStringList TSystemSerialPortLister::PortNames()
{
    if (FThread) {
        // The first list is needed at once (the window's first show).
        if (!FListed) Deliver(SerialPorts::Names());
        Read();
        return FNames;
    }
#ifdef Q_OS_LINUX
    // Adding or removing a device node touches /dev.
    const QDateTime changed = QFileInfo(QStringLiteral("/dev")).lastModified();
    if (FListed && changed.isValid() && changed == FDevChanged) return FNames;
    FDevChanged = changed;
#endif
    const QStringList names = SerialPorts::Names();
    FNames = names;
    FListed = true;
    return names;
}

void TSystemSerialPortLister::Read()
{
    if (FReading) return;
    FReading = true;
    QMetaObject::invokeMethod(FReader, [this] {
        const QStringList names = SerialPorts::Names();
        QMetaObject::invokeMethod(
            this, [this, names] { Deliver(names); }, Qt::QueuedConnection);
    });
}

void TSystemSerialPortLister::Deliver(const QStringList& names)
{
    FReading = false;
    const bool changed = FListed && names != FNames;
    FNames = names;
    FListed = true;
    if (changed && Changed) Changed();
}
