#include "Constants.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace Options {
const std::array<const char*, 2> AddressMode = {"Static IP", "Auto IP"};
const std::array<const char*, 2> SubnetRelation = {"Same Subnet", "Cross Subnet"};
const std::array<const char*, 2> ConnectionState = {"Disconnect", "Connected"};
const std::array<const char*, 2> PortAction = {"Open", "Close"};
const std::array<const char*, 2> LinkAction = {"Connect", "Disconnect"};
const std::array<const char*, 2> DisableEnable = {"Disable", "Enable"};
const std::array<const char*, 2> OffOn = {"OFF", "ON"};
const std::array<const char*, 2> Lock = {"Unlock", "Lock"};
const std::array<uint8_t, 2> SwitchValue = {0xF0, 0x0F};
const std::array<const char*, 4> Spinner = {"/", "-", "\\", "|"};
} // namespace Options

const std::array<TEdidMode, 20> EdidModes = {{
    {0, "Select EDID"},
    {1, "1080i, Stereo Audio 2.0"},
    {2, "1080i, Dolby/DTS 5.1"},
    {3, "1080i, HD Audio 7.1"},
    {4, "1080p, Stereo Audio 2.0"},
    {5, "1080p, Dolby/DTS 5.1"},
    {6, "1080p, HD Audio 7.1"},
    {7, "3D, Stereo Audio 2.0"},
    {8, "3D, Dolby/DTS 5.1"},
    {9, "3D, HD Audio 7.1"},
    {10, "4K2K, Stereo Audio 2.0"},
    {11, "4K2K, Dolby/DTS 5.1"},
    {12, "4K2K, HD Audio 7.1"},
    {13, "1024x768 DVI"},
    {14, "1920x1080 DVI"},
    {15, "1920x1200 DVI"},
    {16, "User1"},
    {17, "User2"},
    {18, "Default EDID"},
    {19, "Auto EDID"},
}};

uint8_t EdidModeCode(const QString& name)
{
    for (const auto& m : EdidModes)
        if (name == QLatin1String(m.Name))
            return m.Code;
    return 255;
}

static bool AllCharsIn(const QString& text, const QString& allowed)
{
    for (QChar c : text)
        if (!allowed.contains(c))
            return false;
    return true;
}

bool ParseIPv4(const QString& text, QStringList* fields)
{
    QStringList out;
    if (fields)
        fields->clear();
    if (!AllCharsIn(text, QStringLiteral("0123456789.")))
        return false;
    int pos = 0;
    for (int n = 0; n < 4; ++n) {
        QString field;
        if (n < 3) {
            int dot = int(text.indexOf(QLatin1Char('.'), pos));
            if (dot < 0) {
                out << QStringLiteral("0");
                if (fields)
                    *fields = out;
                return false;
            }
            field = text.mid(pos, dot - pos);
            pos = dot + 1;
        } else {
            field = text.mid(pos);
        }
        bool ok = false;
        qlonglong value = field.toLongLong(&ok);
        if (field.isEmpty() || !ok) {
            out << QStringLiteral("0");
            if (fields)
                *fields = out;
            return false;
        }
        if (value >= 256)
            field = QStringLiteral("255");
        out << field;
    }
    if (fields)
        *fields = out;
    return true;
}

bool ParseMAC(const QString& text, std::array<uint8_t, 6>* bytes)
{
    std::array<uint8_t, 6> b = {};
    const QString t = text.trimmed().toUpper();
    bool result = AllCharsIn(t, QStringLiteral("0123456789ABCDEF-"));
    if (!result) {
        if (bytes)
            *bytes = b;
        return false;
    }
    int pos = 0;
    for (int n = 0; n < 6; ++n) {
        QString field;
        if (n < 5) {
            int dash = int(t.indexOf(QLatin1Char('-'), pos));
            if (dash < 0) {
                b[size_t(n)] = 0;
                result = false;
                break;
            }
            field = t.mid(pos, dash - pos);
            pos = dash + 1;
        } else {
            field = t.mid(pos);
        }
        if (field.isEmpty())
            field = QStringLiteral("00");
        else if (field.size() == 1)
            field.prepend(QLatin1Char('0'));
        bool ok = false;
        int v = field.left(2).toInt(&ok, 16);
        b[size_t(n)] = ok ? uint8_t(v) : 0;
    }
    if (bytes)
        *bytes = b;
    return result;
}

bool FormatMAC(const QString& text, QStringList* parts)
{
    std::array<uint8_t, 6> b;
    bool ok = ParseMAC(text, &b);
    if (parts) {
        parts->clear();
        for (uint8_t x : b)
            *parts << QStringLiteral("%1").arg(x, 2, 16, QLatin1Char('0')).toUpper();
    }
    return ok;
}

QString ClampEditByte(const QString& text)
{
    QString t = text.isEmpty() ? QStringLiteral("0") : text;
    bool ok = false;
    qlonglong v = t.toLongLong(&ok);
    if (!ok) // only digits reach here; a number too long to convert is above 254
        return t.trimmed().startsWith(QLatin1Char('-')) ? QStringLiteral("0") : QStringLiteral("255");
    if (v > 254)
        return QStringLiteral("255");
    if (v <= 0)
        return QStringLiteral("0");
    return t;
}

bool IsFolderWritable(const QString& folder)
{
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')) && !base.endsWith(QDir::separator()))
        base += QLatin1Char('/');
    auto candidate = [&] {
        QString name = base;
        while (name.size() < 240)
            name += QChar('A' + QRandomGenerator::global()->bounded(26));
        return name + QStringLiteral(".tmp");
    };
    QString name = candidate();
    for (int tries = 0; QFile::exists(name); ++tries) {
        // A path already 240 characters long has only one candidate name.
        if (base.size() >= 240 || tries > 1000)
            return false;
        name = candidate();
    }
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    f.close();
    f.remove();
    return true;
}
