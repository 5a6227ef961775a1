#include "platform/filenames.h"

#include <QFile>

namespace {

QString hexEscape(uint value)
{
    return QStringLiteral("\\x%1").arg(value, 2, 16, QLatin1Char('0'));
}

// The length of the well-formed UTF-8 sequence at bytes[i], 0 when none
// starts there (a stray continuation byte, an overlong form, a surrogate, a
// code point beyond U+10FFFF, or a sequence cut short).
qsizetype sequenceLength(const QByteArray &bytes, qsizetype i)
{
    const auto byte = [&](qsizetype at) { return at < bytes.size() ? static_cast<uchar>(bytes[at]) : 0u; };
    const auto continuation = [&](qsizetype at, uint low = 0x80, uint high = 0xbf) {
        const uint b = byte(at);
        return b >= low && b <= high;
    };
    const uint lead = byte(i);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf)
        return continuation(i + 1) ? 2 : 0;
    if (lead >= 0xe0 && lead <= 0xef) {
        const uint low = lead == 0xe0 ? 0xa0 : 0x80;
        const uint high = lead == 0xed ? 0x9f : 0xbf;
        return continuation(i + 1, low, high) && continuation(i + 2) ? 3 : 0;
    }
    if (lead >= 0xf0 && lead <= 0xf4) {
        const uint low = lead == 0xf0 ? 0x90 : 0x80;
        const uint high = lead == 0xf4 ? 0x8f : 0xbf;
        return continuation(i + 1, low, high) && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
    }
    return 0;
}

} // namespace

bool IsNameable(const QByteArray &bytes)
{
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

QString PrintableName(const QString &name)
{
    QString printable;
    printable.reserve(name.size());
    for (const QChar c : name) {
        const char16_t code = c.unicode();
        if (code == u'\n')
            printable += QLatin1String("\\n");
        else if (code == u'\r')
            printable += QLatin1String("\\r");
        else if (code == u'\t')
            printable += QLatin1String("\\t");
        else if (code < 0x20 || (code >= 0x7f && code < 0xa0))
            printable += hexEscape(code);
        else
            printable += c;
    }
    return printable;
}

QString PrintableName(const QByteArray &bytes)
{
    QString printable;
    qsizetype valid = 0; // start of the run of well-formed bytes not yet written
    qsizetype i = 0;
    const auto flush = [&] { printable += PrintableName(QString::fromUtf8(bytes.constData() + valid, i - valid)); };
    while (i < bytes.size()) {
        const qsizetype length = sequenceLength(bytes, i);
        if (length > 0) {
            i += length;
            continue;
        }
        flush();
        printable += hexEscape(static_cast<uchar>(bytes[i]));
        valid = ++i;
    }
    flush();
    return printable;
}
