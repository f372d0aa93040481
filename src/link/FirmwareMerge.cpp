#include "FirmwareMerge.h"

#include "FirmwareFile.h"

#include "BoundedFile.h"
#include <QDir>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

const std::array<TMergeRow, 5> TFirmwareMerge::Rows = {{
    {"Main MCU", 1, 1, "_MM"},
    {"Slave MCU1", 2, 1, "_MS"},
    {"Slave MCU2", 2, 2, "_ir"},
    {"Slave MCU3", 2, 3, "_PNL"},
    {"Slave MCU4", 2, 4, "_idir"},
}};

int TFirmwareMerge::NormaliseVersion(QString* text)
{
    QString t = text->isEmpty() ? QStringLiteral("0") : text->left(3);
    bool ok = false;
    int value = t.toInt(&ok);
    if (!ok || value < 0) value = 0;
    if (value > 255) value = 255;
    *text = QString::number(value);
    return value;
}

QString TFirmwareMerge::TrimPath(const QString& path)
{
    qsizetype start = 0;
    qsizetype end = path.size();
    while (start < end && path[start].unicode() <= ' ')
        ++start;
    while (end > start && path[end - 1].unicode() <= ' ')
        --end;
    return path.mid(start, end - start);
}

QString TFirmwareMerge::OutputPath() const
{
    return LastFolder.isEmpty() ? FileName() : QDir(LastFolder).filePath(FileName());
}

bool TFirmwareMerge::Build()
{
    Bytes.clear();
    Name.clear();
    for (size_t i = 0; i < Rows.size(); ++i) {
        const TMergeRow& row = Rows[i];
        TMergeInput& in = Inputs[i];
        const QString memoName = QLatin1String(row.MemoName);
        in.Path = TrimPath(in.Path);
        if (in.Path.isEmpty()) continue;
        if (!QFile::exists(in.Path)) {
            Fail(memoName + QStringLiteral(" firmware file: ") + in.Path +
                 QStringLiteral(" does not exist"));
            continue;
        }
        if (LastFolder.isEmpty()) LastFolder = QFileInfo(in.Path).absolutePath() + QLatin1Char('/');
        QByteArray image;
        QString error;
        if (BoundedFile::Read(in.Path, TFirmwareFile::MaxFileSize, &image, &error) !=
            BoundedFile::brOk) {
            Fail(memoName + QStringLiteral(" firmware file: ") + in.Path +
                 QStringLiteral(" can not be read: ") + error);
            continue;
        }
        Say(memoName + QStringLiteral(" firmware: ") + in.Path + QStringLiteral(" loaded"));
        const int v1 = NormaliseVersion(&in.Ver1);
        const int v2 = NormaliseVersion(&in.Ver2);
        Bytes += TFirmwareFile::BuildPart(row.Code, row.Mcu, uint16_t(v1), uint16_t(v2), image);
        const QString version = QStringLiteral("%1.%2").arg(v1).arg(v2);
        Say(memoName + QStringLiteral(" firmware merged, ver") + version);
        if (i == mrMain)
            Name = QLatin1String(row.Suffix) + version;
        else
            Name += QLatin1String(row.Suffix) + version;
    }
    return !Name.isEmpty();
}

bool TFirmwareMerge::Save(const QString& path)
{
    if (QFile::exists(path)) {
        const QString question =
            QStringLiteral("Firmware file: ") + path + QStringLiteral(" exists, overwrite it?");
        if (!ConfirmOverwrite || !ConfirmOverwrite(question)) {
            Say(QStringLiteral("Save canceled"));
            return false;
        }
    }
    // Written aside and renamed, so a failure never leaves half a file.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(Bytes) != Bytes.size() || !out.commit()) {
        Fail(QStringLiteral("Firmware file: ") + path + QStringLiteral(" can not be written: ") +
             out.errorString());
        return false;
    }
    Say(QStringLiteral("Firmware merged complete, save to file: ") + path);
    return true;
}

QString TFirmwareMerge::Run()
{
    if (!Build()) return QString();
    const QString path = OutputPath();
    return Save(path) ? path : QString();
}
