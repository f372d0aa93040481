#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

class QUdpSocket;

// One simulated TCP module as its search answer describes it.
struct TSimModuleInfo {
    std::array<uint8_t, 6> Mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x50};
    std::array<uint8_t, 4> Ip = {192, 168, 0, 100};
    std::array<uint8_t, 4> Gateway = {192, 168, 0, 1};
    std::array<uint8_t, 4> Mask = {255, 255, 255, 0};
    uint16_t Word1 = 8000; // the two numbers of the answer, stored as given
    uint16_t Word2 = 30600;
    QByteArray Tag = "TCP Module"; // raw bytes, up to 32
    bool Dhcp = false;
    uint8_t VersionMajor = 1; // answered to the 32-byte module query
    uint8_t VersionMinor = 5;
};

// The matrix's TCP module side: answers the one-byte search probe on UDP
// 30600 with 55-byte records and the 76-byte configuration request on 30601
// with a status, for one or several modules served from one process; and
// answers the 32-byte module query and reset that travel over the matrix link.
//
// Faults (SetFault, or matrix-sim --module-fault):
//   together=0|1         all records in one datagram (default) or one each
//   repeat=N             answer every probe N times
//   junk=N               send an N-byte datagram before each answer
//   silent-search        ignore probes
//   config=accept|conflict|refuse|silent   status of configuration answers
//   config-echo          put an echo of the request before the answer record
//   config-other         answer for another module's MAC first
//   ldcd=ok|echo|badsum|header|silent      answers to the 32-byte packets
class TSimModule : public QObject
{
    Q_OBJECT
public:
    explicit TSimModule(QObject* parent = nullptr);
    ~TSimModule() override;

    QList<TSimModuleInfo>& Modules() { return FModules; }
    // Binds the two UDP ports on `address` (0.0.0.0 receives broadcasts).
    bool Start(const QHostAddress& address, QString* error = nullptr);
    void Stop();
    bool SetFault(const QString& plan, QString* error = nullptr);

    // The 32-byte packet of the module query or reset; empty: no answer.
    QByteArray HandleLdcd(const QByteArray& packet32);
    static bool IsLdcdStart(const QByteArray& bytes);

    // What arrived, for tests.
    int Probes = 0;
    int ConfigRequests = 0;
    int LdcdPackets = 0;
    QByteArray LastConfigRequest;

    // Answer shaping (see the fault list above).
    bool Together = true;
    int Repeat = 1;
    int Junk = 0;
    bool SilentSearch = false;
    enum TConfigAnswer { caAccept, caConflict, caRefuse, caSilent };
    TConfigAnswer ConfigAnswer = caAccept;
    bool ConfigEcho = false;
    bool ConfigOther = false;
    enum TLdcdAnswer { laOk, laEcho, laBadSum, laHeader, laSilent };
    TLdcdAnswer LdcdAnswer = laOk;

    static constexpr quint16 SearchPort = 30600;
    static constexpr quint16 ConfigPort = 30601;

private:
    void OnSearch();
    void OnConfig();
    QByteArray SearchRecord(const TSimModuleInfo& m) const;
    QByteArray ConfigAnswerRecord(const TSimModuleInfo& m, uint8_t status) const;

    QList<TSimModuleInfo> FModules;
    QUdpSocket* FSearch = nullptr;
    QUdpSocket* FConfig = nullptr;
};
