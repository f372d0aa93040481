#include "settings/SettingsFile.h"

#include "settings/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace
{

const QString SecWarning = QStringLiteral("WARNING");
const QString SecControlMode = QStringLiteral("Control mode");
const QString SecComPort = QStringLiteral("COM port");
const QString SecDevice = QStringLiteral("TCP control device");
const QString SecDeviceList = QStringLiteral("TCP control device list");
const QString SecPreName = QStringLiteral("Pre-Setting name");
const QString SecPreValue = QStringLiteral("Pre-Setting value");
const QString SecInNames = QStringLiteral("In device name");
const QString SecOutNames = QStringLiteral("Out display name");
const QString SecEdid = QStringLiteral("EDID setting");
const QString SecDisplayTag = QStringLiteral("Display tag");
const QString SecMacId = QStringLiteral("MAC ID Bytes");

const QString Note = QStringLiteral("DON'T MODIFY THIS FILE MANUALLY!");
const char* const DefaultMacId[3] = {"18", "98", "66"};

// Key order of the "EDID setting" section; matches the TEdidSettings fields.
QString TEdidSettings::*const EdidKeys[8] = {
    &TEdidSettings::EdidMode,     &TEdidSettings::InOfEdidMode,  &TEdidSettings::OutOfCopyEdid,
    &TEdidSettings::InOfCopyEdid, &TEdidSettings::OutOfReadEdid, &TEdidSettings::InOfDownloadEdid,
    &TEdidSettings::SaveEdidFile, &TEdidSettings::OpenEdidFile};
const char* const EdidKeyNames[8] = {"EDID mode",       "In of EDID mode",  "Out of Copy EDID",
                                     "In of Copy EDID", "Out of Read EDID", "In of Download EDID",
                                     "Save EDID file",  "Open EDID file"};

QString Numbered(const char* prefix, int n)
{
    return QLatin1String(prefix) + QString::number(n);
}

bool HasDeviceMAC(const QString& mac)
{
    const QString m = mac.trimmed();
    return !m.isEmpty() && m != QLatin1String(SettingsFile::NoDeviceMAC);
}

// Values of a list section, empty ones included: the next save writes back
// what the file holds.
QStringList ListValues(const TIniFile& ini, const QString& section)
{
    return ini.SectionValues(section);
}

void RewriteList(TIniFile& ini, const QString& section, const char* prefix,
                 const QStringList& items)
{
    QStringList keys;
    for (int i = 0; i < items.size(); ++i)
        keys << Numbered(prefix, i + 1);
    ini.RewriteSection(section, keys, items);
}

void Purge(TIniFile& ini)
{
    QStringList blanks;
    for (const QString& name : ini.SectionNames()) {
        if (!name.contains(QLatin1String("Tag of"))) continue;
        bool blank = true;
        for (const QString& value : ini.SectionValues(name))
            blank = blank && value.trimmed().isEmpty();
        if (blank) blanks << name;
    }
    ini.EraseSections(blanks);
}

void PutPortTags(TIniFile& ini, TControlMode mode, const QString& mac, const TPortTags& tags)
{
    if (mode == cmCOM || HasDeviceMAC(mac)) {
        const QString in = SettingsFile::InputTagSection(mode, mac);
        const QString out = SettingsFile::OutputTagSection(mode, mac);
        for (int n = 1; n <= 4; ++n)
            ini.WriteString(in, Numbered("In", n), tags.In[size_t(n - 1)]);
        for (int n = 1; n <= 4; ++n)
            ini.WriteString(out, Numbered("Out", n), tags.Out[size_t(n - 1)]);
    }
    Purge(ini);
}

bool Fail(const QString& path, QString* error)
{
    if (error) *error = TIniFile::WriteErrorText(path);
    return false;
}

} // namespace

TSettingsData::TSettingsData()
{
    for (int n = 1; n <= 8; ++n) {
        PreSettings[size_t(n - 1)].Name = Numbered("Setting", n);
        PreSettings[size_t(n - 1)].Values = QStringList{"1", "2", "3", "4"};
    }
    for (size_t i = 0; i < 3; ++i)
        MacIdBytes[i] = QLatin1String(DefaultMacId[i]);
}

namespace SettingsFile
{

QString DefaultPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(FileName));
}

QString ChooseFolder(const QString& programFolder, const QString& userFolder,
                     const std::function<bool(const QString&)>& writable)
{
    if (writable(programFolder)) return programFolder;
    if (userFolder.isEmpty() || !QDir().mkpath(userFolder) || !writable(userFolder)) return {};
    const QString old = QDir(programFolder).filePath(QLatin1String(FileName));
    const QString mine = QDir(userFolder).filePath(QLatin1String(FileName));
    if (!QFileInfo::exists(mine) && QFileInfo(old).isFile()) QFile::copy(old, mine);
    return userFolder;
}

bool IsSystemProgramFolder(const QString& programFolder, const QStringList& systemFolders)
{
    const auto clean = [](const QString& f) {
        // Either separator, whichever system the path comes from.
        QString c =
            QDir::cleanPath(QString(f.trimmed()).replace(QLatin1Char('\\'), QLatin1Char('/')));
        if (!c.endsWith(QLatin1Char('/'))) c += QLatin1Char('/');
        return c;
    };
    const QString folder = clean(programFolder);
    // An application bundle is signed and replaced whole on update.
    if (folder.endsWith(QLatin1String(".app/Contents/MacOS/"), Qt::CaseInsensitive)) return true;
    for (const QString& system : systemFolders)
        if (!system.trimmed().isEmpty() && folder.startsWith(clean(system), Qt::CaseInsensitive))
            return true;
    return false;
}

QStringList SystemProgramFolders()
{
    QStringList folders{QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin"),
                        QStringLiteral("/bin")};
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        const QString f = qEnvironmentVariable(name);
        if (!f.isEmpty()) folders << f;
    }
    return folders;
}

bool IsInstalledProgramFolder(const QString& programFolder)
{
    return IsSystemProgramFolder(programFolder, SystemProgramFolders()) ||
           QFileInfo::exists(QDir(programFolder).filePath(QStringLiteral("Uninstall.exe")));
}

QString InputTagSection(TControlMode mode, const QString& mac)
{
    return mode == cmCOM ? QStringLiteral("Tag of Input - COM")
                         : QStringLiteral("Tag of Input - TCP:") + mac.trimmed();
}

QString OutputTagSection(TControlMode mode, const QString& mac)
{
    return mode == cmCOM ? QStringLiteral("Tag of Output - COM")
                         : QStringLiteral("Tag of Output - TCP:") + mac.trimmed();
}

QStringList ParsePreSettingValue(const QString& text)
{
    // Commas hold the positions: an empty item stays where it is (the row
    // then refuses to be sent) and never shifts the outputs after it. Blanks
    // inside an item separate too.
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList items;
    if (!text.trimmed().isEmpty())
        for (const QString& item : text.split(QLatin1Char(','))) {
            const QStringList words = item.split(blanks, Qt::SkipEmptyParts);
            if (words.isEmpty())
                items << QString();
            else
                items << words;
        }
    for (int next = 1; items.size() < 4; ++next)
        items << QString::number(next);
    return items;
}

TSettingsData ReadSettings(const QString& path, QString* error)
{
    TSettingsData data;
    TIniFile ini(path);
    QString message;
    ini.Load(&message);
    if (error) *error = message;

    data.TcpMode = ini.ReadBool(SecControlMode, QStringLiteral("Mode"), true);
    data.ComPortName = ini.ReadString(SecComPort, QStringLiteral("Name"));
    data.TcpDevices = ListValues(ini, SecDeviceList);
    data.TcpDeviceName = ini.ReadString(SecDevice, QStringLiteral("Name"));
    for (int n = 1; n <= 8; ++n) {
        TPreSetting& preset = data.PreSettings[size_t(n - 1)];
        preset.Name = ini.ReadString(SecPreName, Numbered("Setting", n), preset.Name);
        preset.Values = ParsePreSettingValue(
            ini.ReadString(SecPreValue, Numbered("value", n), QStringLiteral("1,2,3,4")));
    }
    data.InDeviceNames = ListValues(ini, SecInNames);
    data.OutDisplayNames = ListValues(ini, SecOutNames);
    for (int i = 0; i < 6; ++i)
        data.Edid.*EdidKeys[i] = ini.ReadString(SecEdid, QLatin1String(EdidKeyNames[i]));
    data.DisplayTag = ini.ReadBool(SecDisplayTag, QStringLiteral("Value"), false);
    for (size_t i = 0; i < 3; ++i)
        data.MacIdBytes[i] =
            ini.ReadString(SecMacId, Numbered("MAC ID B", int(i) + 1), data.MacIdBytes[i]);
    return data;
}

bool WriteSettings(const QString& path, const TSettingsData& data, TControlMode mode,
                   const QString& mac, const TPortTags& tags, QString* error)
{
    TIniFile ini(path);
    if (!ini.Load()) return Fail(path, error);

    ini.WriteString(SecWarning, QStringLiteral("NOTE"), Note);
    ini.WriteBool(SecControlMode, QStringLiteral("Mode"), data.TcpMode);
    if (!data.ComPortName.isEmpty())
        ini.WriteString(SecComPort, QStringLiteral("Name"), data.ComPortName);
    if (!data.TcpDeviceName.isEmpty())
        ini.WriteString(SecDevice, QStringLiteral("Name"), data.TcpDeviceName);
    RewriteList(ini, SecDeviceList, "Device No.", data.TcpDevices);
    PutPortTags(ini, mode, mac, tags);
    for (int n = 1; n <= 8; ++n) {
        const TPreSetting& preset = data.PreSettings[size_t(n - 1)];
        ini.WriteString(SecPreName, Numbered("Setting", n), preset.Name);
        ini.WriteString(SecPreValue, Numbered("value", n), preset.Values.join(QLatin1Char(',')));
    }
    RewriteList(ini, SecInNames, "Device", data.InDeviceNames);
    RewriteList(ini, SecOutNames, "Display", data.OutDisplayNames);
    for (int i = 0; i < 8; ++i)
        ini.WriteString(SecEdid, QLatin1String(EdidKeyNames[i]), data.Edid.*EdidKeys[i]);
    ini.WriteBool(SecDisplayTag, QStringLiteral("Value"), data.DisplayTag);
    for (size_t i = 0; i < 3; ++i)
        ini.WriteString(SecMacId, Numbered("MAC ID B", int(i) + 1), data.MacIdBytes[i]);
    return ini.Flush(error);
}

TPortTags LoadPortTags(const QString& path, TControlMode mode, const QString& mac)
{
    TPortTags tags;
    if (mode == cmLAN && !HasDeviceMAC(mac)) return tags;
    TIniFile ini(path);
    ini.Load();
    const QString in = InputTagSection(mode, mac);
    const QString out = OutputTagSection(mode, mac);
    for (int n = 1; n <= 4; ++n) {
        tags.In[size_t(n - 1)] = ini.ReadString(in, Numbered("In", n));
        tags.Out[size_t(n - 1)] = ini.ReadString(out, Numbered("Out", n));
    }
    return tags;
}

bool SavePortTags(const QString& path, TControlMode mode, const QString& mac, const TPortTags& tags,
                  QString* error)
{
    TIniFile ini(path);
    if (!ini.Load()) return Fail(path, error);
    PutPortTags(ini, mode, mac, tags);
    return ini.Flush(error);
}

bool PurgeEmptyTagSections(const QString& path, QString* error)
{
    TIniFile ini(path);
    if (!ini.Load()) return Fail(path, error);
    Purge(ini);
    return ini.Flush(error);
}

QString DeviceEntryField(const QString& entry, int n)
{
    if (n < 0) return QString();
    qsizetype open = -1;
    for (int i = 0; i <= n; ++i) {
        open = entry.indexOf(QLatin1Char('['), open + 1);
        if (open < 0) return QString();
    }
    const qsizetype close = entry.indexOf(QLatin1Char(']'), open + 1);
    if (close < 0) return QString();
    return entry.mid(open + 1, close - open - 1);
}

QString BuildDeviceEntry(const std::array<QString, 7>& fields)
{
    QStringList parts;
    for (const QString& field : fields)
        parts << QLatin1Char('[') + field + QLatin1Char(']');
    return parts.join(QStringLiteral(" - "));
}

} // namespace SettingsFile
