#include "profiles/newinifile.h"

#include "platform/interactive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <limits>

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

QByteArray encode(const QString &text)
{
    return text.toLocal8Bit();
}

QString decode(const QByteArray &bytes)
{
    return QString::fromLocal8Bit(bytes);
}

// A line break inside a written name or value would make the stored line read
// back as two lines and move every line index after it, so writes replace
// line breaks with blanks.
QByteArray singleLine(const QString &text)
{
    QByteArray bytes = encode(text);
    for (char &c : bytes) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return bytes;
}

QByteArray header(const QByteArray &section)
{
    return '[' + section + ']';
}

QByteArray trimBlanks(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return text.mid(begin, end - begin);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Where a line's text starts: past blanks, tabs and a UTF-8 byte order mark.
qsizetype firstNonBlank(const QByteArray &line)
{
    qsizetype i = line.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    return i;
}

// The first line of a section that holds key + "=" (ASCII letter case
// ignored), and where its value starts.
struct KeyLine
{
    int line = -1;
    qsizetype valueAt = 0;
};

KeyLine findKey(const QList<QByteArray> &lines, TNewInifile::SectionSpan span, const QByteArray &key)
{
    if (span.header < 0)
        return {};
    const QByteArray needle = AsciiLower(key) + '=';
    for (int i = span.header + 1; i < span.end; ++i) {
        const qsizetype at = AsciiLower(lines[i]).indexOf(needle);
        if (at >= 0)
            return {i, at + needle.size()};
    }
    return {};
}

} // namespace

QByteArray AsciiLower(const QByteArray &text)
{
    QByteArray result = text;
    for (char &c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

QList<QByteArray> SplitLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

std::optional<qint32> TextToInteger(const QByteArray &text)
{
    const QByteArray t = trimBlanks(text);
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    if (i == t.size())
        return std::nullopt;
    qint64 magnitude = 0;
    for (; i < t.size(); ++i) {
        if (!isDigit(t[i]))
            return std::nullopt;
        magnitude = magnitude * 10 + (t[i] - '0');
        if (magnitude > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<qint32>::max() || value < std::numeric_limits<qint32>::min())
        return std::nullopt;
    return static_cast<qint32>(value);
}

std::optional<double> TextToFloat(const QByteArray &text, const QByteArray &decimalSeparator)
{
    const QByteArray t = trimBlanks(text);
    // Rebuilt in the C form ([sign]digits[.digits][e[sign]digits]) for the
    // locale-independent converter.
    QByteArray c;
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-'))
        c += t[i++];
    int mantissaDigits = 0;
    while (i < n && isDigit(t[i])) {
        c += t[i++];
        ++mantissaDigits;
    }
    if (!decimalSeparator.isEmpty() && t.mid(i, decimalSeparator.size()) == decimalSeparator) {
        i += decimalSeparator.size();
        c += '.';
        while (i < n && isDigit(t[i])) {
            c += t[i++];
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        c += 'e';
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            c += t[i++];
        int exponentDigits = 0;
        while (i < n && isDigit(t[i])) {
            c += t[i++];
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    bool ok = false;
    const double value = c.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<bool> TextToBool(const QByteArray &text, const QByteArray &decimalSeparator)
{
    if (const auto number = TextToFloat(text, decimalSeparator))
        return *number != 0.0;
    const QByteArray lower = AsciiLower(text);
    if (lower == "true")
        return true;
    if (lower == "false")
        return false;
    return std::nullopt;
}

QByteArray SystemDecimalSeparator()
{
    return encode(QLocale::system().decimalPoint());
}

TNewInifile::TNewInifile(const QString &fileName, const QByteArray &content)
    : m_fileName(fileName)
    , m_lines(SplitLines(content))
{
}

std::unique_ptr<TNewInifile> TNewInifile::Create(const QString &fileName, IInteractive &interactive)
{
    QByteArray content;
    if (QFileInfo(fileName).isFile()) {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            interactive.error(QCoreApplication::translate("IniFile", "Cannot open file \"%1\". %2")
                                  .arg(QDir::toNativeSeparators(fileName), file.errorString()));
            return nullptr;
        }
        content = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            interactive.error(QCoreApplication::translate("IniFile", "Cannot read file \"%1\". %2")
                                  .arg(QDir::toNativeSeparators(fileName), file.errorString()));
            return nullptr;
        }
    }
    return std::make_unique<TNewInifile>(fileName, content);
}

bool TNewInifile::SaveAndFree(std::unique_ptr<TNewInifile> store, IInteractive &interactive)
{
    if (!store || !store->Modified())
        return true;
    QString errorText;
    if (store->Save(&errorText))
        return true;
    interactive.error(errorText);
    return false;
}

QByteArray TNewInifile::Text() const
{
    QByteArray text;
    qsizetype size = 0;
    for (const QByteArray &line : m_lines)
        size += line.size() + LineEnd.size();
    text.reserve(size);
    for (const QByteArray &line : m_lines) {
        text += line;
        text += LineEnd;
    }
    return text;
}

bool TNewInifile::Save(QString *errorText) const
{
    return WriteWholeFile(m_fileName, Text(), errorText);
}

namespace {

std::function<void(const QString &)> &beforeReplacingFile()
{
    static std::function<void(const QString &)> call;
    return call;
}

} // namespace

void SetBeforeReplacingFile(std::function<void(const QString &fileName)> call)
{
    beforeReplacingFile() = std::move(call);
}

bool WriteWholeFile(const QString &fileName, const QByteArray &content, QString *errorText)
{
    // QSaveFile writes beside the target and renames over it at commit (a
    // link at the name keeps pointing at the rewritten file), so the old file
    // stays whole until the new one is complete. Unbuffered, so that a short
    // write (a full disk, a file size limit) is seen here: a buffered write
    // reports every byte taken, and the flush at commit has been seen to cut
    // the file short without an error.
    QSaveFile file(fileName);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qint64 written = 0; ok && written < content.size();) {
        const qint64 n = file.write(content.constData() + written, content.size() - written);
        ok = n > 0;
        written += n;
    }
    if (ok && beforeReplacingFile())
        beforeReplacingFile()(fileName);
    ok = ok && file.commit();
    if (!ok && errorText) {
        *errorText = QCoreApplication::translate("IniFile", "Cannot create file \"%1\". %2")
                         .arg(QDir::toNativeSeparators(fileName), file.errorString());
    }
    return ok;
}

bool IsSectionHeader(const QByteArray &line)
{
    const qsizetype at = firstNonBlank(line);
    return at < line.size() && line[at] == '[';
}

std::optional<QByteArray> SectionHeaderName(const QByteArray &line)
{
    const qsizetype open = firstNonBlank(line);
    if (open >= line.size() || line[open] != '[')
        return std::nullopt;
    const qsizetype close = line.lastIndexOf(']');
    if (close <= open)
        return std::nullopt;
    return line.mid(open + 1, close - open - 1);
}

TNewInifile::SectionSpan TNewInifile::FindSection(const QByteArray &section) const
{
    const QByteArray wanted = AsciiLower(section);
    SectionSpan span;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (!IsSectionHeader(m_lines[i]))
            continue;
        if (span.header >= 0) {
            span.end = static_cast<int>(i);
            return span;
        }
        const auto name = SectionHeaderName(m_lines[i]);
        if (name && AsciiLower(*name) == wanted)
            span.header = static_cast<int>(i);
    }
    if (span.header >= 0)
        span.end = static_cast<int>(m_lines.size());
    return span;
}

int TNewInifile::IndexOfSection(const QByteArray &section) const
{
    return FindSection(section).header;
}

int TNewInifile::IndexOfKey(const QByteArray &section, const QByteArray &key) const
{
    const SectionSpan span = FindSection(section);
    const KeyLine found = findKey(m_lines, span, key);
    return found.line < 0 ? -1 : found.line - span.header;
}

std::optional<QByteArray> TNewInifile::FindRaw(const QByteArray &section, const QByteArray &key) const
{
    const KeyLine found = findKey(m_lines, FindSection(section), key);
    if (found.line < 0)
        return std::nullopt;
    return m_lines[found.line].mid(found.valueAt);
}

QString TNewInifile::ReadString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const auto raw = FindRaw(encode(section), encode(key));
    return raw ? decode(*raw) : defaultValue;
}

void TNewInifile::WriteString(const QString &section, const QString &key, const QString &value)
{
    const QByteArray sectionBytes = singleLine(section);
    const QByteArray keyBytes = singleLine(key);
    const QByteArray line = keyBytes + '=' + singleLine(value);
    const SectionSpan span = FindSection(sectionBytes);
    if (span.header < 0) {
        m_lines << header(sectionBytes) << line;
        m_modified = true;
        return;
    }
    const KeyLine found = findKey(m_lines, span, keyBytes);
    if (found.line < 0) {
        m_lines.insert(span.header + 1, line);
        m_modified = true;
        return;
    }
    if (m_lines[found.line] != line) {
        m_lines[found.line] = line;
        m_modified = true;
    }
}

qint32 TNewInifile::ReadInteger(const QString &section, const QString &key, qint32 defaultValue) const
{
    const auto raw = FindRaw(encode(section), encode(key));
    if (!raw)
        return defaultValue;
    return TextToInteger(*raw).value_or(defaultValue);
}

void TNewInifile::WriteInteger(const QString &section, const QString &key, qint32 value)
{
    WriteString(section, key, QString::number(value));
}

bool TNewInifile::ReadBool(const QString &section, const QString &key, bool defaultValue) const
{
    const auto raw = FindRaw(encode(section), encode(key));
    if (!raw)
        return defaultValue;
    return TextToBool(*raw, SystemDecimalSeparator()).value_or(defaultValue);
}

void TNewInifile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

double TNewInifile::ReadFloat(const QString &section, const QString &key, double defaultValue) const
{
    const auto raw = FindRaw(encode(section), encode(key));
    if (!raw)
        return defaultValue;
    return TextToFloat(*raw, SystemDecimalSeparator()).value_or(defaultValue);
}
