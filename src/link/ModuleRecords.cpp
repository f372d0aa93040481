#include "ModuleRecords.h"

#include <cstring>

namespace ModuleRecord
{

static QString Hex2(uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QString CleanTag(const QString& tag)
{
    QString out;
    int bytes = 0;
    for (int i = 0; i < tag.size(); ++i) {
        QString ch = tag.mid(i, 1);
        if (tag.at(i).isHighSurrogate() && i + 1 < tag.size()) ch = tag.mid(i++, 2);
        const char32_t code = ch.toUcs4().value(0);
        if (code < 0x20 || (code >= 0x7F && code < 0xA0) || code == 0xFFFD) continue;
        if (ch == QLatin1String("[")) ch = QStringLiteral("(");
        if (ch == QLatin1String("]")) ch = QStringLiteral(")");
        const int size = int(ch.toUtf8().size());
        if (bytes + size > TagSize) break;
        bytes += size;
        out += ch;
    }
    return out;
}

QString TagFromField(const uint8_t* field)
{
    int n = 0;
    while (n < TagSize && field[n] != 0)
        ++n;
    // A character cut by the field end decodes to U+FFFD, which CleanTag drops.
    return CleanTag(QString::fromUtf8(reinterpret_cast<const char*>(field), n));
}

QString MacText(const uint8_t* b)
{
    QStringList parts;
    for (int i = 0; i < 6; ++i)
        parts << Hex2(b[i]);
    return parts.join(QLatin1Char('-'));
}

QString IpText(const uint8_t* b)
{
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

QStringList SearchRecordFields(const uint8_t* r)
{
    return {MacText(r),
            IpText(r + 6),
            IpText(r + 10),
            IpText(r + 14),
            QString::number((r[18] << 8) | r[19]),
            QString::number((r[20] << 8) | r[21]),
            TagFromField(r + 22),
            QString::number(r[54])};
}

QString DefaultField(int index)
{
    switch (index) {
    case 0:
        return QStringLiteral("00-00-00-00-00-00");
    case 1:
    case 2:
    case 3:
        return QStringLiteral("0.0.0.0");
    case 6:
        return QStringLiteral("TCP Module");
    case 7:
        return QStringLiteral("0");
    default:
        return QString();
    }
}

QByteArray BuildConfigRequest(const std::array<uint8_t, 6>& mac, bool autoIP,
                              const std::array<uint8_t, 4>& ip,
                              const std::array<uint8_t, 4>& gateway,
                              const std::array<uint8_t, 4>& mask, const QString& tag)
{
    QByteArray r(ConfigSize, '\0');
    auto* b = reinterpret_cast<uint8_t*>(r.data());
    std::memcpy(b, mac.data(), 6);
    b[25] = ConfigAutoMode;
    if (autoIP) {
        b[18] = 1;
    } else {
        std::memcpy(b + 6, ip.data(), 4);
        std::memcpy(b + 10, gateway.data(), 4);
        std::memcpy(b + 14, mask.data(), 4);
        b[25] = ConfigStaticMode;
    }
    const QByteArray t = CleanTag(tag).toUtf8();
    std::memcpy(b + 42, t.constData(), size_t(qMin<qsizetype>(t.size(), TagSize)));
    return r;
}

void SealConfigRequest(uint8_t* r)
{
    r[74] = ConfigRequestMark;
    unsigned sum = 0;
    for (int i = 0; i < 75; ++i)
        sum += r[i];
    r[75] = uint8_t(sum & 0xFF);
}

bool AnswerNamesOtherModule(const uint8_t* answer, const uint8_t* requestMac)
{
    static const uint8_t zero[6] = {};
    return std::memcmp(answer + 19, zero, 6) != 0 && std::memcmp(answer + 19, requestMac, 6) != 0;
}

int ConfigStatusResult(uint8_t status)
{
    if (status == 0) return 0;
    if (status & StatusConflict) return 2;
    return 1;
}

bool IpBytes(const QString& text, std::array<uint8_t, 4>* bytes)
{
    const QStringList f = text.split(QLatin1Char('.'));
    if (f.size() != 4) return false;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int v = f[i].toInt(&ok);
        if (!ok || v < 0 || v > 255 || f[i].isEmpty()) return false;
        (*bytes)[size_t(i)] = uint8_t(v);
    }
    return true;
}

} // namespace ModuleRecord

namespace LDCD
{

const std::array<uint8_t, 16> Header = {0x9C, 0xE1, 0xB7, 0xA2, 0xD4, 0x8F, 0xC3, 0xE6,
                                        0xA9, 0xB5, 0xF2, 0xC7, 0x8E, 0xD9, 0xB1, 0xF0};

uint8_t Checksum(const uint8_t* p)
{
    unsigned sum = 0;
    for (int i = 0; i < 31; ++i)
        sum += p[i];
    return uint8_t(sum & 0xFF);
}

void Seal(uint8_t* p)
{
    std::memcpy(p, Header.data(), 16);
    p[30] = NotReceived;
    p[31] = Checksum(p);
}

bool ChecksumGood(const uint8_t* p)
{
    return Checksum(p) == p[31];
}

bool AnswerGood(const uint8_t* a, const uint8_t* request)
{
    return a[30] != NotReceived && ChecksumGood(a) && std::memcmp(a, request, 16) == 0;
}

static QString H(uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QString Dump(const QString& prefix, const uint8_t* p)
{
    const QString crlf = QStringLiteral("\r\n");
    QString s = prefix + crlf + QStringLiteral("header:");
    for (int i = 0; i < 16; ++i)
        s += H(p[i]) + QLatin1Char(' ');
    s += crlf + QStringLiteral("command:") + H(p[16]);
    s += crlf + QStringLiteral("param1:") + H(p[17]) + QStringLiteral("; param2:") + H(p[18]);
    s += crlf + QStringLiteral("DHCP:") + H(p[19]);
    s += crlf + QStringLiteral("IPAddr:") + H(p[20]) + QLatin1Char(' ') + H(p[21]) +
         QLatin1Char(' ') + H(p[22]) + QLatin1Char(' ') + H(p[23]);
    s += crlf + QStringLiteral("ReveiveOK:") + H(p[30]);
    s += crlf + QStringLiteral("CheckSum:") + H(p[31]);
    s += crlf + QString(39, QLatin1Char('/'));
    return s.left(511);
}

} // namespace LDCD
