// Names as the file system holds them, shown on one line.
#include "platform/filenames.h"

#include <gtest/gtest.h>

namespace {

// A name the program cannot hand on always shows which bytes are the trouble;
// a good name shows as it is, apart from its control characters.
TEST(FileNames, NamesThatAreNotUtf8ShowTheirBytesAndOthersShowAsTheyAre)
{
    const struct
    {
        QByteArray bytes;
        bool nameable;
        QString printed;
    } cases[] = {
        {"clip.avi", true, QStringLiteral("clip.avi")},
        {"caf\xc3\xa9 \xe2\x82\xac.avi", true, QStringLiteral("café €.avi")},
        {"a\xff" "b", false, QStringLiteral("a\\xffb")},
        {"\xc3", false, QStringLiteral("\\xc3")},                     // cut short
        {"\xc0\xaf", false, QStringLiteral("\\xc0\\xaf")},             // overlong "/"
        {"\xed\xa0\x80", false, QStringLiteral("\\xed\\xa0\\x80")},    // a surrogate
        {"\xf4\x90\x80\x80", false, QStringLiteral("\\xf4\\x90\\x80\\x80")}, // past U+10FFFF
        {"two\nlines\t\x1b[1m\x7f", true, QStringLiteral("two\\nlines\\t\\x1b[1m\\x7f")},
        {"c1 \xc2\x85 end\r", true, QStringLiteral("c1 \\x85 end\\r")},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(IsNameable(c.bytes), c.nameable) << c.bytes.toHex().constData();
        EXPECT_EQ(PrintableName(c.bytes), c.printed) << c.bytes.toHex().constData();
    }
}

} // namespace
