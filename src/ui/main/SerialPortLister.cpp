#include "SerialPortLister.h"

#include "transport/SerialPorts.h"

#include <QFileInfo>

QStringList TSystemSerialPortLister::PortNames()
{
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
