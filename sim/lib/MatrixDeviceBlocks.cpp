#include "MatrixDevice.h"

// EDID block transfers and the firmware receiver.

QByteArray TMatrixDevice::HandleBlockCommand(const TCommandPacket& cmd, bool* handled)
{
    *handled = false;
    return QByteArray();
}

QByteArray TMatrixDevice::HandleDataFrame(const TCommandPacket& header, const QByteArray& data,
                                          uint8_t dataChecksum)
{
    return QByteArray();
}
