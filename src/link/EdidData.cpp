#include "EdidData.h"

#include "Constants.h"
#include "Packet.h"

#include <QFileInfo>

namespace EdidData
{

bool ContentOk(const QByteArray& buffer, QByteArray* edid)
{
    if (buffer.size() != Size && buffer.size() != Size + 1) return false;
    const QByteArray bytes = buffer.left(Size);
    if (SumCheck(bytes) != 0) return false;
    if (!bytes.startsWith(QByteArray::fromHex("00FFFFFFFFFFFF00"))) return false;
    if (edid) *edid = bytes;
    return true;
}

QStringList ModeListNames()
{
    QStringList names;
    for (size_t i = 0; i + 1 < EdidModes.size(); ++i)
        names << QLatin1String(EdidModes[i].Name);
    return names;
}

static bool IsUserItem(const QString& text)
{
    return text.toUpper().contains(QLatin1String("USER"));
}

uint16_t ModeWord(const QStringList& items, int index)
{
    if (index < 0 || index >= items.size()) return 0;
    const QString& text = items[index];
    if (IsUserItem(text)) {
        int first = 0;
        while (!IsUserItem(items[first]))
            ++first;
        return MakeWord16(uint8_t(0xF0 + (index - first) + 1), 0);
    }
    return MakeWord16(0xF0, EdidModeCode(text));
}

QString SaveFileName(const QString& name)
{
    if (QFileInfo(name).suffix().toUpper() == QLatin1String("BIN")) return name;
    return name + QStringLiteral(".bin");
}

} // namespace EdidData
