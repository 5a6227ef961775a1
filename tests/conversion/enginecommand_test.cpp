#include "conversion/enginecommand.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitCommandLine, SplitsLikeAWindowsCommandLine)
{
    const struct
    {
        QString text;
        QStringList arguments;
    } cases[] = {
        {QString(), {}},
        {QStringLiteral("   "), {}},
        {QStringLiteral(" -vcodec libx264 -b:v 800k"), {"-vcodec", "libx264", "-b:v", "800k"}},
        {QStringLiteral("\t-an  -y "), {"-an", "-y"}},
        {QStringLiteral(" -vf \"scale=640:480, yadif\""), {"-vf", "scale=640:480, yadif"}},
        {QStringLiteral("a\"b c\"d"), {"ab cd"}},
        {QStringLiteral("\"\""), {""}},
        {QStringLiteral("a\\\\b"), {"a\\\\b"}},          // backslashes alone are literal
        {QStringLiteral("a\\\"b"), {"a\"b"}},            // \" is a quote
        {QStringLiteral("\"a\\\\\" b"), {"a\\", "b"}},   // \\" is a backslash and a grouping quote
        {QStringLiteral("\"a\"\"b\" c"), {"a\"b", "c"}}, // "" inside quotes is a quote
        {QStringLiteral("\"open ended"), {"open ended"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SplitCommandLine(c.text), c.arguments) << c.text.toStdString();
}

TEST(EngineCommand, ProbeNamesOnlyTheInput)
{
    const EngineCommand probe = ProbeCommand(QStringLiteral("/v/my clip.avi"));
    EXPECT_EQ(probe.text, QStringLiteral(" -i \"/v/my clip.avi\""));
    EXPECT_EQ(probe.arguments, QStringList({"-i", "/v/my clip.avi"}));
}

TEST(EngineCommand, ConversionTextAndArguments)
{
    const QString input = QStringLiteral("/v/a \"quoted\" clip ü.avi");
    const QString output = QStringLiteral("/out/b c.mp4");
    const EngineCommand whole =
        ConversionCommand(input, QStringLiteral(" -vcodec mpeg4 -an "), std::nullopt, std::nullopt, output);
    EXPECT_EQ(whole.text, QStringLiteral(" -y -i \"") + input + QStringLiteral("\" -vcodec mpeg4 -an  \"") +
                              output + QStringLiteral("\""));
    EXPECT_EQ(whole.arguments, QStringList({"-y", "-i", input, "-vcodec", "mpeg4", "-an", output}));

    const EngineCommand part = ConversionCommand(input, QString(), QStringLiteral("00:00:05"),
                                                 QStringLiteral("10"), output);
    EXPECT_EQ(part.text, QStringLiteral(" -y -i \"") + input + QStringLiteral("\" -ss 00:00:05 -t 10 \"") +
                             output + QStringLiteral("\""));
    EXPECT_EQ(part.arguments, QStringList({"-y", "-i", input, "-ss", "00:00:05", "-t", "10", output}));
}

} // namespace
