#include "SerialPortLister.h"

#include <QFileInfo>
#include <QSerialPortInfo>

QStringList TSystemSerialPortLister::PortNames()
{
#ifdef Q_OS_LINUX
    // Adding or removing a device node touches /dev.
    const QDateTime changed = QFileInfo(QStringLiteral("/dev")).lastModified();
    if (FListed && changed.isValid() && changed == FDevChanged) return FNames;
    FDevChanged = changed;
#endif
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString name = info.portName();
        if (!name.isEmpty() && !names.contains(name)) names << name;
    }
    FNames = names;
    FListed = true;
    return names;
}
