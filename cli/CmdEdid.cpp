#include "Cli.h"

QString EdidUsage() { return QString(); }

int CmdEdid(TCli& cli, const QStringList& args)
{
    throw EUsage(QStringLiteral("unknown command 'edid'"));
}
