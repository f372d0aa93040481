#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

// A Windows private-profile style INI file, kept line for line.
//
// Load() reads the file once; the Read/Write/Erase calls work on the lines in
// memory; Flush() saves them atomically (temporary file in the same folder,
// synced, then renamed over the target), so a crash mid-save leaves either the
// old or the new file, never half of one.
//
// Behaviour follows the private-profile API the file format comes from:
// - sections and keys are matched case-insensitively; the first match wins;
// - writing an existing key rewrites that line in place (keeping the key's own
//   spelling), a new key goes after the last entry of its section, a new
//   section goes at the end of the file;
// - lines that are not understood (comments, garbage, keys we never ask for)
//   are written back byte for byte;
// - values are read with surrounding blanks trimmed; booleans are written
//   "1"/"0" and read as integers.
// Lines end in CRLF when written; CRLF, LF and a UTF-8 byte order mark are
// accepted when read. An unchanged file is not rewritten.
//
// Look-ups go through an index of sections and keys by their folded names,
// built on the first look-up and kept up to date by the edits, so a file of
// thousands of sections costs one pass, not one per look-up.
class TIniFile
{
public:
    explicit TIniFile(const QString& path);

    // A missing file reads as empty. Fails (and later refuses to Flush, so
    // nothing unread is overwritten) when the file exists but cannot be read.
    bool Load(QString* error = nullptr);
    // Saves the lines if anything changed or the file does not exist yet.
    // On failure the message is "Unable to write to " + path.
    bool Flush(QString* error = nullptr);

    QString FileName() const { return FPath; }
    bool Modified() const { return FModified; }

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    // Decimal, or hexadecimal with "0x" / "$"; anything else gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    // Every section of that name (a hand-edited file may repeat one), file order.
    QStringList SectionKeys(const QString& section) const;
    QStringList SectionValues(const QString& section) const;
    // Distinct section names in file order, spelled as in the file.
    QStringList SectionNames() const;

    // Erases every section of that name and writes it anew at the end of the
    // file, holding keys[i]=values[i]; the same as erasing and writing the keys
    // one by one (keys must be distinct), without the quadratic cost.
    void RewriteSection(const QString& section, const QStringList& keys, const QStringList& values);
    // Removes every section of that name with all its lines.
    void EraseSection(const QString& section);
    // The same for several names, in one pass over the lines.
    void EraseSections(const QStringList& sections);
    void DeleteKey(const QString& section, const QString& key);

    // The file as Flush() would write it.
    QByteArray ToBytes() const;
    // Replaces the lines by the parsed text (as Load does with the file); the
    // next Flush writes them.
    void Parse(const QByteArray& bytes);

    static QString WriteErrorText(const QString& path);

private:
    enum TLineKind { lkOther, lkSection, lkKey };
    struct TLine {
        TLineKind Kind = lkOther;
        QString Folded; // Name() as names are compared
        size_t FoldedHash = 0;
        QByteArray Raw; // the bytes written back, without the line end
        // The section name or key and the key's value, both trimmed. On a
        // plain ASCII line, as most are, they are stretches of Raw, made
        // into text only when asked for; otherwise they are kept here.
        int NameFrom = -1;
        int NameLength = 0;
        int ValueFrom = -1;
        int ValueLength = 0;
        QString OwnName;
        QString OwnValue;
        QString Name() const
        {
            return NameFrom < 0 ? OwnName
                                : QString::fromLatin1(Raw.constData() + NameFrom, NameLength);
        }
        QString Value() const
        {
            return ValueFrom < 0 ? OwnValue
                                 : QString::fromLatin1(Raw.constData() + ValueFrom, ValueLength);
        }
    };
    static TLine ParseLine(const QByteArray& raw);
    // `ascii`: the line is plain ASCII and `text` views its raw bytes.
    template <typename TView> static void ParseText(TView text, bool ascii, TLine& line);
    static TLine MakeKey(const QString& key, const QString& value);
    static TLine MakeSection(const QString& name);
    // A key in the sections of one name, both folded.
    // The hash comes from the names' own hashes, kept with the lines, so that
    // indexing a key does not hash its section's name once more.
    struct TKeyName {
        TKeyName(const QString& section, size_t sectionHash, const QString& key, size_t keyHash)
            : Section(section), Key(key), Hash(sectionHash * 31 + keyHash)
        {
        }
        TKeyName(const QString& section, const QString& key)
            : TKeyName(section, qHash(section), key, qHash(key))
        {
        }
        QString Section;
        QString Key;
        size_t Hash;
        bool operator==(const TKeyName& o) const { return Section == o.Section && Key == o.Key; }
        friend size_t qHash(const TKeyName& k, size_t seed = 0) { return k.Hash ^ seed; }
    };
    std::vector<size_t> SectionStarts(const QString& section) const;
    size_t SectionEnd(size_t start) const;
    // Index of the first line of that key in any section of that name, or npos.
    size_t FindKey(const QString& section, const QString& key) const;
    void BuildIndex() const;
    // Keep the index right when a line is put in at `at` (the line itself
    // is not indexed) or when the lines [first, last) of `ranges` (sorted, not
    // overlapping) are removed.
    void ShiftIndex(size_t at);
    void RemoveRanges(const std::vector<std::pair<size_t, size_t>>& ranges);
    void AppendSection(const QString& section, const QStringList& keys, const QStringList& values);

    QString FPath;
    std::vector<TLine> FLines;
    // Folded section name -> first lines of its sections in file order;
    // a key in them -> the first line of that key among them.
    mutable QHash<QString, std::vector<size_t>> FSections;
    mutable QHash<TKeyName, size_t> FKeys;
    mutable bool FIndexed = false;
    bool FBom = false;
    bool FExists = false;
    bool FLoadFailed = false;
    bool FModified = false;
};
