#include "settings/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <type_traits>

namespace
{

constexpr size_t npos = size_t(-1);
const QByteArray Bom("\xEF\xBB\xBF");

// A line end inside a value would split the entry and could even open a new
// section, so line breaks are flattened to blanks before they reach the file.
QString OneLine(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s;
}

// Names are compared the way they are stored: one line, blanks around them
// dropped, any letter case. A name asked for with a trailing blank must find
// the section written for it, or every save would add another copy.
QString Fold(QStringView name)
{
    // Settings names are plain ASCII as a rule: fold those without the
    // Unicode tables.
    QString s(name.size(), Qt::Uninitialized);
    QChar* out = s.data();
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u >= 0x80) return OneLine(name.toString()).trimmed().toCaseFolded();
        *out++ = u == '\r' || u == '\n' ? QChar(u' ')
                 : u >= 'A' && u <= 'Z'  ? QChar(char16_t(u + ('a' - 'A')))
                                         : c;
    }
    return std::move(s).trimmed();
}

QString Fold(QLatin1StringView name)
{
    QString s(name.size(), Qt::Uninitialized);
    QChar* out = s.data();
    for (char c : name) {
        const uchar u = uchar(c);
        if (u >= 0x80) return Fold(QStringView(QString(name)));
        *out++ = QChar(u == '\r' || u == '\n'       ? u' '
                       : u >= 'A' && u <= 'Z' ? char16_t(u + ('a' - 'A'))
                                              : char16_t(u));
    }
    return std::move(s).trimmed();
}

QString Fold(const QString& name)
{
    return Fold(QStringView(name));
}

bool Ascii(const QByteArray& raw)
{
    for (char c : raw)
        if (uchar(c) >= 0x80) return false;
    return true;
}

// Files written by older versions on Windows are in the ANSI code page; a line
// that is not valid UTF-8 is read as Latin-1 rather than as replacement marks.
QString Decode(const QByteArray& raw)
{
    if (Ascii(raw)) return QString::fromLatin1(raw);
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(raw);
    if (decoder.hasError()) return QString::fromLatin1(raw);
    return text;
}

} // namespace

TIniFile::TIniFile(const QString& path) : FPath(path) {}

QString TIniFile::WriteErrorText(const QString& path)
{
    return QStringLiteral("Unable to write to %1").arg(path);
}

bool TIniFile::Load(QString* error)
{
    FLines.clear();
    FSections.clear();
    FKeys.clear();
    FIndexed = false;
    FBom = false;
    FModified = false;
    FLoadFailed = false;
    QFileInfo info(FPath);
    FExists = info.exists();
    if (!FExists) return true;
    QFile file(FPath);
    QByteArray bytes;
    bool ok = info.isFile() && file.open(QIODevice::ReadOnly);
    if (ok) {
        bytes = file.readAll();
        ok = file.error() == QFileDevice::NoError;
    }
    if (!ok) {
        FLoadFailed = true;
        if (error) *error = QStringLiteral("Unable to read %1").arg(FPath);
        return false;
    }
    Parse(bytes);
    FModified = false;
    return true;
}

void TIniFile::Parse(const QByteArray& bytes)
{
    FLines.clear();
    FSections.clear();
    FKeys.clear();
    FIndexed = false;
    FBom = bytes.startsWith(Bom);
    const char* const data = bytes.constData();
    const qsizetype size = bytes.size();
    FLines.reserve(size_t(bytes.count('\n')) + 1);
    for (qsizetype from = FBom ? Bom.size() : 0; from < size;) {
        qsizetype end = bytes.indexOf('\n', from);
        if (end < 0) end = size;
        qsizetype length = end - from;
        if (length > 0 && data[from + length - 1] == '\r') --length;
        FLines.push_back(ParseLine(QByteArray(data + from, length)));
        from = end + 1;
    }
    FModified = true;
}

// The line's text as a view: the bytes themselves when they are ASCII, no
// copy made until a name or value is asked for.
template <typename TView> void TIniFile::ParseText(TView text, bool ascii, TLine& line)
{
    auto keep = [&](TView name, int& from, int& length, QString& own) {
        if constexpr (std::is_same_v<TView, QLatin1StringView>) {
            if (ascii) {
                from = int(name.data() - line.Raw.constData());
                length = int(name.size());
                return;
            }
        }
        own = name.toString();
    };
    auto named = [&](TLineKind kind, TView name) {
        line.Kind = kind;
        keep(name, line.NameFrom, line.NameLength, line.OwnName);
        line.Folded = Fold(name);
        line.FoldedHash = qHash(line.Folded);
    };
    text = text.trimmed();
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.lastIndexOf(QLatin1Char(']'));
        if (close > 0) {
            named(lkSection, text.sliced(1, close - 1).trimmed());
            return;
        }
    }
    if (text.startsWith(QLatin1Char(';'))) return;
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0) return;
    const TView key = text.first(eq).trimmed();
    if (key.isEmpty()) return;
    named(lkKey, key);
    keep(text.sliced(eq + 1).trimmed(), line.ValueFrom, line.ValueLength, line.OwnValue);
}

TIniFile::TLine TIniFile::ParseLine(const QByteArray& raw)
{
    TLine line;
    line.Raw = raw;
    if (Ascii(raw)) {
        ParseText(QLatin1StringView(line.Raw), true, line);
    } else {
        const QString text = Decode(raw);
        ParseText(QStringView(text), false, line);
    }
    return line;
}

TIniFile::TLine TIniFile::MakeKey(const QString& key, const QString& value)
{
    TLine line;
    line.Kind = lkKey;
    line.OwnName = OneLine(key).trimmed();
    line.Folded = line.OwnName.toCaseFolded();
    line.FoldedHash = qHash(line.Folded);
    const QString v = OneLine(value);
    line.OwnValue = v.trimmed();
    line.Raw = (line.OwnName + QLatin1Char('=') + v).toUtf8();
    return line;
}

TIniFile::TLine TIniFile::MakeSection(const QString& name)
{
    TLine line;
    line.Kind = lkSection;
    line.OwnName = OneLine(name).trimmed();
    line.Folded = line.OwnName.toCaseFolded();
    line.FoldedHash = qHash(line.Folded);
    line.Raw = (QLatin1Char('[') + line.OwnName + QLatin1Char(']')).toUtf8();
    return line;
}

QByteArray TIniFile::ToBytes() const
{
    QByteArray out;
    if (FBom) out += Bom;
    for (const TLine& line : FLines) {
        out += line.Raw;
        out += "\r\n";
    }
    return out;
}

bool TIniFile::Flush(QString* error)
{
    auto fail = [&] {
        if (error) *error = WriteErrorText(FPath);
        return false;
    };
    // Writing over a file we could not read would throw its contents away.
    if (FLoadFailed) return fail();
    if (FExists && !FModified) return true;
    const QByteArray bytes = ToBytes();
    QSaveFile file(FPath);
    if (!file.open(QIODevice::WriteOnly)) return fail();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return fail();
    }
    if (!file.commit()) return fail();
    FExists = true;
    FModified = false;
    return true;
}

void TIniFile::BuildIndex() const
{
    FSections.clear();
    FKeys.clear();
    qsizetype sections = 0, keys = 0;
    for (const TLine& line : FLines) {
        sections += line.Kind == lkSection;
        keys += line.Kind == lkKey;
    }
    FSections.reserve(sections);
    FKeys.reserve(keys);
    const TLine* current = nullptr;
    for (size_t i = 0; i < FLines.size(); ++i) {
        const TLine& line = FLines[i];
        if (line.Kind == lkSection) {
            current = &line;
            FSections[line.Folded].push_back(i);
        } else if (line.Kind == lkKey && current) {
            const TKeyName name(current->Folded, current->FoldedHash, line.Folded, line.FoldedHash);
            if (!FKeys.contains(name)) FKeys.insert(name, i);
        }
    }
    FIndexed = true;
}

void TIniFile::ShiftIndex(size_t at)
{
    // Keys added to the section just appended go at the very end: nothing
    // indexed lies behind them.
    if (!FIndexed || at >= FLines.size()) return;
    for (std::vector<size_t>& starts : FSections)
        for (size_t& start : starts)
            if (start >= at) ++start;
    for (size_t& line : FKeys)
        if (line >= at) ++line;
}

void TIniFile::RemoveRanges(const std::vector<std::pair<size_t, size_t>>& ranges)
{
    if (ranges.empty()) return;
    if (FIndexed) {
        // No indexed line lies inside a range: it moves up by the lines
        // removed before it.
        std::vector<size_t> removedBefore(ranges.size() + 1, 0);
        for (size_t k = 0; k < ranges.size(); ++k)
            removedBefore[k + 1] = removedBefore[k] + ranges[k].second - ranges[k].first;
        auto moved = [&](size_t line) {
            const auto after = std::upper_bound(
                ranges.begin(), ranges.end(), line,
                [](size_t l, const std::pair<size_t, size_t>& r) { return l < r.first; });
            return line - removedBefore[size_t(after - ranges.begin())];
        };
        for (std::vector<size_t>& starts : FSections)
            for (size_t& start : starts)
                start = moved(start);
        for (size_t& line : FKeys)
            line = moved(line);
    }
    size_t to = ranges.front().first;
    for (size_t k = 0; k < ranges.size(); ++k) {
        const size_t next = k + 1 < ranges.size() ? ranges[k + 1].first : FLines.size();
        for (size_t from = ranges[k].second; from < next; ++from)
            FLines[to++] = std::move(FLines[from]);
    }
    FLines.resize(to);
    FModified = true;
}

void TIniFile::AppendSection(const QString& section, const QStringList& keys,
                             const QStringList& values)
{
    const qsizetype count = std::min(keys.size(), values.size());
    TLine head = MakeSection(section);
    const QString folded = head.Folded;
    const size_t hash = head.FoldedHash;
    if (FIndexed) FSections[folded].push_back(FLines.size());
    FLines.push_back(std::move(head));
    for (qsizetype i = 0; i < count; ++i) {
        TLine line = MakeKey(keys[i], values[i]);
        if (FIndexed) {
            const TKeyName name(folded, hash, line.Folded, line.FoldedHash);
            if (!FKeys.contains(name)) FKeys.insert(name, FLines.size());
        }
        FLines.push_back(std::move(line));
    }
    FModified = true;
}

std::vector<size_t> TIniFile::SectionStarts(const QString& section) const
{
    if (!FIndexed) BuildIndex();
    return FSections.value(Fold(section));
}

size_t TIniFile::SectionEnd(size_t start) const
{
    size_t i = start + 1;
    while (i < FLines.size() && FLines[i].Kind != lkSection)
        ++i;
    return i;
}

size_t TIniFile::FindKey(const QString& section, const QString& key) const
{
    if (!FIndexed) BuildIndex();
    const auto it = FKeys.constFind(TKeyName(Fold(section), Fold(key)));
    return it == FKeys.constEnd() ? npos : it.value();
}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    const size_t i = FindKey(section, key);
    return i == npos ? defaultValue : FLines[i].Value();
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    const QString text = ReadString(section, key).trimmed();
    bool ok = false;
    int value = text.toInt(&ok, 10);
    if (!ok && text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = text.mid(2).toInt(&ok, 16);
    else if (!ok && text.startsWith(QLatin1Char('$')))
        value = text.mid(1).toInt(&ok, 16);
    return ok ? value : defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const size_t found = FindKey(section, key);
    if (found != npos) {
        // An unchanged value keeps its line exactly as it was.
        if (FLines[found].Value() == OneLine(value).trimmed()) return;
        FLines[found] = MakeKey(FLines[found].Name(), value);
        FModified = true;
        return;
    }
    const std::vector<size_t> starts = SectionStarts(section);
    if (starts.empty()) {
        AppendSection(section, {key}, {value});
        return;
    }
    // After the section's last non-blank line, so blank lines that separate
    // it from the next section stay where they are.
    const size_t end = SectionEnd(starts.front());
    size_t at = starts.front() + 1;
    for (size_t i = at; i < end; ++i)
        if (!FLines[i].Raw.trimmed().isEmpty()) at = i + 1;
    TLine line = MakeKey(key, value);
    ShiftIndex(at);
    if (FIndexed) FKeys.insert(TKeyName(Fold(section), line.Folded), at);
    FLines.insert(FLines.begin() + ptrdiff_t(at), std::move(line));
    FModified = true;
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::SectionExists(const QString& section) const
{
    return !SectionStarts(section).empty();
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    return FindKey(section, key) != npos;
}

QStringList TIniFile::SectionKeys(const QString& section) const
{
    QStringList keys;
    for (size_t start : SectionStarts(section)) {
        const size_t end = SectionEnd(start);
        for (size_t i = start + 1; i < end; ++i)
            if (FLines[i].Kind == lkKey) keys << FLines[i].Name();
    }
    return keys;
}

QStringList TIniFile::SectionValues(const QString& section) const
{
    QStringList values;
    for (size_t start : SectionStarts(section)) {
        const size_t end = SectionEnd(start);
        for (size_t i = start + 1; i < end; ++i)
            if (FLines[i].Kind == lkKey) values << FLines[i].Value();
    }
    return values;
}

QStringList TIniFile::SectionNames() const
{
    QStringList names;
    QSet<QString> seen;
    for (const TLine& line : FLines)
        if (line.Kind == lkSection && !seen.contains(line.Folded)) {
            seen.insert(line.Folded);
            names << line.Name();
        }
    return names;
}

void TIniFile::EraseSection(const QString& section)
{
    EraseSections({section});
}

void TIniFile::EraseSections(const QStringList& sections)
{
    if (!FIndexed) BuildIndex();
    std::vector<std::pair<size_t, size_t>> ranges;
    for (const QString& section : sections) {
        const QString folded = Fold(section);
        const auto it = FSections.find(folded);
        if (it == FSections.end()) continue;
        for (size_t start : it.value()) {
            const size_t end = SectionEnd(start);
            for (size_t i = start + 1; i < end; ++i)
                if (FLines[i].Kind == lkKey) FKeys.remove(TKeyName(folded, FLines[i].Folded));
            ranges.emplace_back(start, end);
        }
        FSections.erase(it);
    }
    std::sort(ranges.begin(), ranges.end());
    RemoveRanges(ranges);
}

void TIniFile::RewriteSection(const QString& section, const QStringList& keys,
                              const QStringList& values)
{
    EraseSection(section);
    if (std::min(keys.size(), values.size()) == 0) return;
    AppendSection(section, keys, values);
}

void TIniFile::DeleteKey(const QString& section, const QString& key)
{
    if (!FIndexed) BuildIndex();
    const QString folded = Fold(key);
    if (!FKeys.remove(TKeyName(Fold(section), folded))) return;
    std::vector<std::pair<size_t, size_t>> ranges;
    for (size_t start : FSections.value(Fold(section))) {
        const size_t end = SectionEnd(start);
        for (size_t i = start + 1; i < end; ++i)
            if (FLines[i].Kind == lkKey && FLines[i].Folded == folded)
                ranges.emplace_back(i, i + 1);
    }
    RemoveRanges(ranges);
}
