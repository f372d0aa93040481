#include "SimModule.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <cstring>

namespace
{
// The module's own view of its records and packets.
constexpr int SearchRecordSize = 55;
constexpr int ConfigRecordSize = 76;
constexpr int LdcdSize = 32;
constexpr uint8_t Probe = '#';
constexpr uint8_t RequestMark = 0xFF;
const uint8_t LdcdHeader[16] = {0x9C, 0xE1, 0xB7, 0xA2, 0xD4, 0x8F, 0xC3, 0xE6,
                                0xA9, 0xB5, 0xF2, 0xC7, 0x8E, 0xD9, 0xB1, 0xF0};

uint8_t SumLow(const uint8_t* b, int n)
{
    unsigned s = 0;
    for (int i = 0; i < n; ++i)
        s += b[i];
    return uint8_t(s & 0xFF);
}
} // namespace

TSimModule::TSimModule(QObject* parent) : QObject(parent)
{
    FModules << TSimModuleInfo();
}

TSimModule::~TSimModule()
{
    Stop();
}

bool TSimModule::Start(const QHostAddress& address, QString* error)
{
    Stop();
    FSearch = new QUdpSocket(this);
    FConfig = new QUdpSocket(this);
    const auto mode = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
    if (!FSearch->bind(address, SearchPort, mode) || !FConfig->bind(address, ConfigPort, mode)) {
        if (error)
            *error = QStringLiteral("cannot bind UDP %1: %2")
                         .arg(address.toString(), FSearch->state() == QAbstractSocket::BoundState
                                                      ? FConfig->errorString()
                                                      : FSearch->errorString());
        Stop();
        return false;
    }
    connect(FSearch, &QUdpSocket::readyRead, this, &TSimModule::OnSearch);
    connect(FConfig, &QUdpSocket::readyRead, this, &TSimModule::OnConfig);
    return true;
}

void TSimModule::Stop()
{
    delete FSearch;
    delete FConfig;
    FSearch = nullptr;
    FConfig = nullptr;
}

bool TSimModule::SetFault(const QString& plan, QString* error)
{
    const QString key = plan.section(QLatin1Char('='), 0, 0);
    const QString value = plan.section(QLatin1Char('='), 1);
    bool ok = true;
    if (key == QLatin1String("together")) {
        Together = value != QLatin1String("0");
    } else if (key == QLatin1String("repeat")) {
        Repeat = value.toInt(&ok);
        ok = ok && Repeat >= 0;
    } else if (key == QLatin1String("junk")) {
        Junk = value.toInt(&ok);
        ok = ok && Junk >= 0 && Junk <= 2048;
    } else if (key == QLatin1String("silent-search")) {
        SilentSearch = true;
    } else if (key == QLatin1String("config")) {
        static const QStringList names = {QStringLiteral("accept"), QStringLiteral("conflict"),
                                          QStringLiteral("refuse"), QStringLiteral("silent")};
        ok = names.contains(value);
        if (ok) ConfigAnswer = TConfigAnswer(names.indexOf(value));
    } else if (key == QLatin1String("config-echo")) {
        ConfigEcho = true;
    } else if (key == QLatin1String("config-other")) {
        ConfigOther = true;
    } else if (key == QLatin1String("ldcd")) {
        static const QStringList names = {QStringLiteral("ok"), QStringLiteral("echo"),
                                          QStringLiteral("badsum"), QStringLiteral("header"),
                                          QStringLiteral("silent")};
        ok = names.contains(value);
        if (ok) LdcdAnswer = TLdcdAnswer(names.indexOf(value));
    } else {
        ok = false;
    }
    if (!ok && error) *error = QStringLiteral("bad module fault '%1'").arg(plan);
    return ok;
}

QByteArray TSimModule::SearchRecord(const TSimModuleInfo& m) const
{
    QByteArray r(SearchRecordSize, '\0');
    auto* b = reinterpret_cast<uint8_t*>(r.data());
    std::memcpy(b, m.Mac.data(), 6);
    std::memcpy(b + 6, m.Ip.data(), 4);
    std::memcpy(b + 10, m.Gateway.data(), 4);
    std::memcpy(b + 14, m.Mask.data(), 4);
    b[18] = uint8_t(m.Word1 >> 8);
    b[19] = uint8_t(m.Word1);
    b[20] = uint8_t(m.Word2 >> 8);
    b[21] = uint8_t(m.Word2);
    std::memcpy(b + 22, m.Tag.constData(), size_t(qMin<qsizetype>(m.Tag.size(), 32)));
    b[54] = m.Dhcp ? 1 : 0;
    return r;
}

void TSimModule::OnSearch()
{
    while (FSearch && FSearch->hasPendingDatagrams()) {
        const QNetworkDatagram d = FSearch->receiveDatagram();
        if (d.data().size() < 1 || uint8_t(d.data().at(0)) != Probe) continue;
        ++Probes;
        if (SilentSearch) continue;
        const QHostAddress to = d.senderAddress();
        const quint16 port = quint16(d.senderPort());
        for (int n = 0; n < Repeat; ++n) {
            if (Junk > 0) FSearch->writeDatagram(QByteArray(Junk, '\x5A'), to, port);
            if (Together) {
                QByteArray all;
                for (const TSimModuleInfo& m : FModules)
                    all += SearchRecord(m);
                FSearch->writeDatagram(all, to, port);
            } else {
                for (const TSimModuleInfo& m : FModules)
                    FSearch->writeDatagram(SearchRecord(m), to, port);
            }
        }
    }
}

QByteArray TSimModule::ConfigAnswerRecord(const TSimModuleInfo& m, uint8_t status) const
{
    QByteArray r(ConfigRecordSize, '\0');
    auto* b = reinterpret_cast<uint8_t*>(r.data());
    std::memcpy(b, m.Mac.data(), 6);
    std::memcpy(b + 6, m.Ip.data(), 4);
    std::memcpy(b + 10, m.Gateway.data(), 4);
    std::memcpy(b + 14, m.Mask.data(), 4);
    b[18] = m.Dhcp ? 1 : 0;
    std::memcpy(b + 19, m.Mac.data(), 6);
    std::memcpy(b + 42, m.Tag.constData(), size_t(qMin<qsizetype>(m.Tag.size(), 32)));
    b[74] = status;
    b[75] = SumLow(b, 75);
    return r;
}

void TSimModule::OnConfig()
{
    while (FConfig && FConfig->hasPendingDatagrams()) {
        const QNetworkDatagram d = FConfig->receiveDatagram();
        const QByteArray req = d.data();
        if (req.size() != ConfigRecordSize) continue;
        const auto* b = reinterpret_cast<const uint8_t*>(req.constData());
        if (b[74] != RequestMark || SumLow(b, 75) != b[75]) continue;
        int index = -1;
        for (int i = 0; i < FModules.size() && index < 0; ++i)
            if (std::memcmp(FModules[i].Mac.data(), b, 6) == 0) index = i;
        if (index < 0) continue;
        ++ConfigRequests;
        LastConfigRequest = req;
        if (ConfigAnswer == caSilent) continue;
        TSimModuleInfo& m = FModules[index];
        uint8_t status = 0;
        if (ConfigAnswer == caConflict) status = 0x20;
        if (ConfigAnswer == caRefuse) status = 0x10;
        if (status == 0) {
            m.Dhcp = b[18] != 0;
            if (!m.Dhcp) {
                std::memcpy(m.Ip.data(), b + 6, 4);
                std::memcpy(m.Gateway.data(), b + 10, 4);
                std::memcpy(m.Mask.data(), b + 14, 4);
            } else {
                // A DHCP server of the simulated network hands out this one.
                m.Ip = {10, 0, 0, 77};
                m.Gateway = {10, 0, 0, 1};
                m.Mask = {255, 255, 255, 0};
            }
            const char* tag = reinterpret_cast<const char*>(b + 42);
            m.Tag = QByteArray(tag, int(qstrnlen(tag, 32)));
        }
        QByteArray answer;
        if (ConfigEcho) answer += req;
        if (ConfigOther) {
            TSimModuleInfo other = m;
            other.Mac[5] ^= 0xFF;
            other.Ip = {10, 66, 66, 66};
            answer += ConfigAnswerRecord(other, 0);
        }
        answer += ConfigAnswerRecord(m, status);
        FConfig->writeDatagram(answer, d.senderAddress(), quint16(d.senderPort()));
    }
}

bool TSimModule::IsLdcdStart(const QByteArray& bytes)
{
    const int n = int(qMin<qsizetype>(bytes.size(), 16));
    return n > 0 && std::memcmp(bytes.constData(), LdcdHeader, size_t(n)) == 0;
}

QByteArray TSimModule::HandleLdcd(const QByteArray& packet)
{
    if (packet.size() != LdcdSize) return QByteArray();
    const auto* b = reinterpret_cast<const uint8_t*>(packet.constData());
    if (SumLow(b, 31) != b[31]) return QByteArray();
    ++LdcdPackets;
    if (LdcdAnswer == laSilent) return QByteArray();
    if (LdcdAnswer == laEcho) return packet;
    TSimModuleInfo& m = FModules[0];
    if (b[16] == 0xFF) { // back to the default address
        m.Dhcp = b[19] != 0;
        std::memcpy(m.Ip.data(), b + 20, 4);
    }
    QByteArray answer(LdcdSize, '\0');
    auto* a = reinterpret_cast<uint8_t*>(answer.data());
    std::memcpy(a, LdcdHeader, 16);
    a[16] = b[16];
    a[17] = m.VersionMajor;
    a[18] = m.VersionMinor;
    a[19] = m.Dhcp ? 1 : 0;
    std::memcpy(a + 20, m.Ip.data(), 4);
    a[30] = 0;
    if (LdcdAnswer == laHeader) a[0] ^= 0x01;
    a[31] = SumLow(a, 31);
    if (LdcdAnswer == laBadSum) a[31] ^= 0x5A;
    return answer;
}
