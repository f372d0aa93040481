// "Settings.ini" grown large: the tags of 5,000 TCP devices, 10,000 sections
// of four keys each, between the program's own sections.
//
// - ini_10k_sections_load_ms: reading it as the window's first show does
//   (all settings, then the tags of one device).
// - ini_10k_sections_save_ms: the full save with one setting changed, which
//   also looks every tag section over for blanks.
// Medians of five runs.
#include "settings/SettingsFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

QString Mac(int n)
{
    return QStringLiteral("00-1A-%1-%2-%3-%4")
        .arg((n >> 24) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((n >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((n >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(n & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QByteArray BigFile(int devices)
{
    QByteArray text = "[Warning]\r\nNOTE=Do not edit\r\n[Control mode]\r\nMode=1\r\n"
                      "[TCP control device]\r\nName=[Hall] - [DHCP]\r\n";
    for (int n = 0; n < devices; ++n) {
        const QByteArray mac = Mac(n).toLatin1();
        text += "; device " + QByteArray::number(n) + "\r\n";
        text += "[Tag of Input - TCP:" + mac + "]\r\n";
        for (int i = 1; i <= 4; ++i)
            text += "In" + QByteArray::number(i) + "=Source " + QByteArray::number(i) + "\r\n";
        text += "[Tag of Output - TCP:" + mac + "]\r\n";
        for (int i = 1; i <= 4; ++i)
            text += "Out" + QByteArray::number(i) + "=Screen " + QByteArray::number(i) + "\r\n";
    }
    text += "[Display tag]\r\nValue=1\r\n";
    return text;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main()
{
    const int devices = 5000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(SettingsFile::FileName));
    const QByteArray original = BigFile(devices);
    const QString mac = Mac(devices / 2);
    std::vector<double> loads, saves;
    for (int run = 0; run < 5; ++run) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(original) != original.size()) {
            std::fprintf(stderr, "bench: cannot write %s\n", qPrintable(path));
            return 1;
        }
        file.close();

        QElapsedTimer clock;
        clock.start();
        TSettingsData data = SettingsFile::ReadSettings(path);
        const TPortTags tags = SettingsFile::LoadPortTags(path, cmLAN, mac);
        loads.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (tags.In[0] != QLatin1String("Source 1") || !data.TcpMode) {
            std::fprintf(stderr, "bench: the settings read back wrong\n");
            return 1;
        }

        data.DisplayTag = !data.DisplayTag;
        clock.restart();
        const bool saved = SettingsFile::WriteSettings(path, data, cmLAN, mac, tags);
        saves.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!saved || SettingsFile::LoadPortTags(path, cmLAN, Mac(devices - 1)).Out[3] !=
                          QLatin1String("Screen 4")) {
            std::fprintf(stderr, "bench: the save lost tags\n");
            return 1;
        }
    }
    std::printf("bench: ini_10k_sections_load_ms %.1f ms (target < 100)\n", Median(loads));
    std::printf("bench: ini_10k_sections_save_ms %.1f ms (target < 100)\n", Median(saves));
    std::fflush(stdout);
    return 0;
}
