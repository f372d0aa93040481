#pragma once

#include <QString>
#include <QStringList>

// The serial ports present on the machine, by the names the serial transport
// accepts (ttyUSB0, COM3, cu.usbserial-110, ...), in the order the platform
// lists them.
namespace SerialPorts
{

QStringList Names();

// Linux reads the tty class folder of sysfs directly: only entries backed by
// a device (plus the device-less kinds that are real serial lines: rfcomm,
// tnt null modems, USB gadgets), legacy 8250 slots without a UART left out,
// in device path order. Walking every tty through udev opens thousands of
// files; this reads a few per port. `ttyClassFolder` is "/sys/class/tty" in
// the program. False where the platform has no such folder (the list then
// comes from QSerialPortInfo).
bool FromSysfs();
QStringList NamesFromSysfs(const QString& ttyClassFolder);

} // namespace SerialPorts
