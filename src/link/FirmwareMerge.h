#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

// One row of the merge: which processor, how its messages name it and what
// it adds to the file name.
struct TMergeRow {
    const char* MemoName; // "Main MCU", "Slave MCU1", ...
    uint8_t Code;         // 1: main MCU, 2: slave MCU
    uint16_t Mcu;         // MCU number
    const char* Suffix;   // "_MM", "_MS", "_ir", "_PNL", "_idir"
};

// What the operator gives for one row: the image's path and the two version texts.
struct TMergeInput {
    QString Path;
    QString Ver1;
    QString Ver2;
};

// Merges the processors' images into one firmware file, in row order. The
// same code serves the window's merge group and matrixctl.
class TFirmwareMerge
{
public:
    enum TRowIndex { mrMain, mrSlave1, mrSlave2, mrSlave3, mrSlave4 };
    static const std::array<TMergeRow, 5> Rows;

    // The rows as the operator left them. Merge writes the trimmed paths and
    // the normalised version texts back, as the window shows them afterwards.
    std::array<TMergeInput, 5> Inputs;
    // The last firmware folder; set from the first loaded image while empty.
    QString LastFolder;
    // One memo line per message.
    std::function<void(const QString&)> Memo;
    // Lines that report a failure; unset: they go to Memo like the rest.
    std::function<void(const QString&)> Failure;
    // Asked with "Firmware file: " + path + " exists, overwrite it?"; true writes.
    // Unset: an existing file is never overwritten.
    std::function<bool(const QString& question)> ConfirmOverwrite;

    // The whole merge: builds the file and saves it to LastFolder. Returns the
    // written path, or an empty text when nothing was merged or nothing written.
    QString Run();
    // Only the building part; false when no image was merged.
    bool Build();
    // Saves what Build made to `path`, asking before an overwrite.
    bool Save(const QString& path);

    // Results of Build.
    QByteArray Bytes;
    QString Name; // the suffix chain, "_MM2.15_MS1.3"
    QString FileName() const { return QStringLiteral("Korvelan") + Name + QStringLiteral(".fw"); }
    QString OutputPath() const;

    // Version text normalisation: writes the normalised text back and returns the value.
    static int NormaliseVersion(QString* text);
    // Trims blanks and control characters at both ends.
    static QString TrimPath(const QString& path);

private:
    void Say(const QString& line)
    {
        if (Memo) Memo(line);
    }
    void Fail(const QString& line)
    {
        if (Failure)
            Failure(line);
        else
            Say(line);
    }
};
