#include "Cli.h"

QString FirmwareUsage() { return QString(); }

int CmdFirmware(TCli& cli, const QStringList& args)
{
    throw EUsage(QStringLiteral("unknown command 'fw'"));
}
