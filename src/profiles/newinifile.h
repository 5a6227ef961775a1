#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class IInteractive;

// The program's own INI file: the whole file held as a list of byte lines.
// A section header is a line whose first non-blank character is '[' (see
// IsSectionHeader); every other line belongs to the section above it, so a
// '[' later in a line (a value such as /videos/a[1]/) is text like any other.
// Section names match ignoring ASCII letter case; keys are found by
// case-insensitive substring search over the section's lines (the first line
// holding key + "=" wins). A key added to an existing section goes directly
// under its header, and the file is written back, every line ended by CR LF,
// when a store that a write has changed is disposed of with SaveAndFree. A
// store that was only read leaves its file alone, so that reading works in a
// folder the user cannot write to.
//
// The text is kept as bytes so that ASCII lower-casing keeps every position;
// names and values cross the interface in the system's 8-bit encoding.
//
// Usage, always within one routine:
//     auto ini = TNewInifile::Create(path, interactive);
//     if (!ini) return;                       // unreadable file, already reported
//     ... reads and writes ...
//     if (!TNewInifile::SaveAndFree(std::move(ini), interactive)) return;
class TNewInifile final
{
public:
    // A store for fileName holding content (split into lines); the file itself
    // is not read.
    explicit TNewInifile(const QString &fileName, const QByteArray &content = {});

    // A store for fileName, loaded from the file when a file of that name
    // exists. A file that exists but cannot be read is reported through
    // interactive and gives no store.
    static std::unique_ptr<TNewInifile> Create(const QString &fileName, IInteractive &interactive);

    // Writes the lines to the store's file when a write changed them, then
    // destroys the store; a null store does nothing. The file is replaced in one step: a failed write leaves the
    // previous file as it was. A failure is reported through interactive, the
    // edits are lost and the result is false, so that the caller stops.
    static bool SaveAndFree(std::unique_ptr<TNewInifile> store, IInteractive &interactive);

    QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const;
    void WriteString(const QString &section, const QString &key, const QString &value);
    qint32 ReadInteger(const QString &section, const QString &key, qint32 defaultValue) const;
    void WriteInteger(const QString &section, const QString &key, qint32 value);
    bool ReadBool(const QString &section, const QString &key, bool defaultValue) const;
    void WriteBool(const QString &section, const QString &key, bool value);
    double ReadFloat(const QString &section, const QString &key, double defaultValue) const;

    const QString &FileName() const { return m_fileName; }
    // Whether a write changed the lines since the store was made; a write of
    // the text a line already holds changes nothing.
    bool Modified() const { return m_modified; }
    // Makes SaveAndFree write the file, changed or not (a copy being made).
    void SetModified() { m_modified = true; }
    const QList<QByteArray> &Lines() const { return m_lines; }
    // The content as it is written: every line followed by CR LF.
    QByteArray Text() const;

    // Writes the content to the file in one step; on failure errorText names
    // the file and the reason.
    bool Save(QString *errorText) const;

    // The search the operations above are built on, on encoded bytes. Every
    // one of them finds sections through FindSection.
    struct SectionSpan
    {
        int header = -1; // the header line; -1: no such section
        int end = -1;    // one past the section's last line: the next header or the end
    };
    // The first section named section (ASCII letter case ignored).
    SectionSpan FindSection(const QByteArray &section) const;
    // The index of the section's header line, or -1.
    int IndexOfSection(const QByteArray &section) const;
    // k such that line IndexOfSection(section) + k holds key + "=", for the
    // first such line of the section; -1 when there is none.
    int IndexOfKey(const QByteArray &section, const QByteArray &key) const;
    // The stored value of key in section, or nothing when either is missing.
    std::optional<QByteArray> FindRaw(const QByteArray &section, const QByteArray &key) const;

private:
    QString m_fileName;
    QList<QByteArray> m_lines;
    bool m_modified = false;
};

// Replaces the file with content in one step: written in full to a temporary
// file beside it, then renamed over it (when fileName is a symbolic link, the
// file it points to is replaced and the link kept). On failure the old file is
// left as it was, no temporary file remains, and errorText names the file and
// the reason.
bool WriteWholeFile(const QString &fileName, const QByteArray &content, QString *errorText);
// Called by WriteWholeFile with the file's name once the new content is
// written in full, just before it replaces the file: tests change the folder
// there to see the last step fail. An empty function (the default) for none.
void SetBeforeReplacingFile(std::function<void(const QString &fileName)> call);

// The rule for section headers, the one every search of the store uses: a
// line whose first character other than blanks, tabs and a UTF-8 byte order
// mark (which an editor may put at the start of the file) is '['.
bool IsSectionHeader(const QByteArray &line);
// The name a header line gives its section: from after that '[' to the last
// ']' of the line. Nothing for a line that is not a header, or a header
// without ']', which names no section but still ends the one above it.
std::optional<QByteArray> SectionHeaderName(const QByteArray &line);

// Splits text into lines: CR LF, a lone CR and a lone LF each end a line; the
// text after the last line end is a line when it is not empty.
QList<QByteArray> SplitLines(const QByteArray &text);

// A-Z to a-z, every other byte unchanged.
QByteArray AsciiLower(const QByteArray &text);

// Whole-text conversions used by the readers. Leading and trailing blanks are
// allowed; anything else that is not part of the number makes the text not
// convert.
std::optional<qint32> TextToInteger(const QByteArray &text);
// A decimal number with decimalSeparator as its separator, optionally with an
// exponent (1,5E3).
std::optional<double> TextToFloat(const QByteArray &text, const QByteArray &decimalSeparator);
// 1/0 and other numbers (non-zero is true), or True/False in any letter case.
std::optional<bool> TextToBool(const QByteArray &text, const QByteArray &decimalSeparator);

// The decimal separator of the system's locale, encoded.
QByteArray SystemDecimalSeparator();
