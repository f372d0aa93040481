// "Settings.ini" as found on disk: any bytes. The INI reader keeps what it
// reads (writing back what it parsed parses to the same text again), the
// settings reader takes defaults for whatever it cannot use, and saves over
// such a file succeed and, once tidied, read back what was saved.
#include "settings/IniFile.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Every input is saved and synced: on a memory file system when there is one.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/fuzz_ini-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/fuzz_ini-XXXXXX"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));

    TIniFile ini(QString{});
    ini.Parse(bytes);
    // Every look-up scans the lines: a few sections are enough here.
    for (const QString& section : ini.SectionNames().mid(0, 64)) {
        const QStringList keys = ini.SectionKeys(section);
        for (const QString& key : keys) {
            (void)ini.ReadString(section, key);
            (void)ini.ReadInteger(section, key, 7);
            (void)ini.ReadBool(section, key, true);
        }
    }
    const QByteArray once = ini.ToBytes();
    TIniFile again(QString{});
    again.Parse(once);
    if (again.ToBytes() != once) std::abort();
    again.WriteString(QStringLiteral("Control mode"), QStringLiteral("Mode"), QStringLiteral("0"));
    if (again.ReadString(QStringLiteral("Control mode"), QStringLiteral("Mode")) !=
        QLatin1String("0"))
        std::abort();

    const QString path = dir.filePath(QStringLiteral("Settings.ini"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(bytes);
    }
    QString error;
    TSettingsData read = SettingsFile::ReadSettings(path, &error);
    if (!error.isEmpty()) std::abort(); // a readable file always reads
    // The first save may tidy what a line cannot hold (a bare CR in a value);
    // from then on a save and a read give back exactly what was saved.
    read.TcpMode = !read.TcpMode;
    if (!SettingsFile::WriteSettings(path, read, cmCOM, QStringLiteral("00-1A-2B-3C-4D-5E"), {},
                                     &error))
        std::abort();
    TSettingsData tidy = SettingsFile::ReadSettings(path, &error);
    if (tidy.TcpMode != read.TcpMode || tidy.TcpDevices.size() != read.TcpDevices.size())
        std::abort();
    tidy.TcpMode = !tidy.TcpMode;
    if (!SettingsFile::WriteSettings(path, tidy, cmCOM, QStringLiteral("00-1A-2B-3C-4D-5E"), {},
                                     &error))
        std::abort();
    const TSettingsData back = SettingsFile::ReadSettings(path, &error);
    if (back.TcpMode != tidy.TcpMode || back.TcpDevices != tidy.TcpDevices ||
        back.InDeviceNames != tidy.InDeviceNames || back.ComPortName != tidy.ComPortName) {
        std::fprintf(stderr, "saved:\n%s\nread back:\n%s\n",
                     tidy.TcpDevices.join(QLatin1Char('\n')).toUtf8().toHex(' ').constData(),
                     back.TcpDevices.join(QLatin1Char('\n')).toUtf8().toHex(' ').constData());
        std::abort();
    }
    return 0;
}
