// Random bytes through the INI store's readers and writers and the list
// splitter: nothing may crash or hang, and the few invariants that hold for
// any input must hold. The iteration counts are fixed.
#include "profiles/newinifile.h"
#include "profiles/parametergrid.h"
#include "profiles/profiles.h"

#include "fakes/recorders.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

namespace {

// Bytes biased towards the ones the store gives a meaning to.
QByteArray randomBytes(std::mt19937 &rng, int maxLength)
{
    static const char special[] = {'[', ']', '=', '\r', '\n', ',', '\\', 'a', 'A', 'k', 'K', ' ', '1', '-', '\0'};
    std::uniform_int_distribution<int> length(0, maxLength);
    std::uniform_int_distribution<int> kind(0, 2);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<int> specialByte(0, int(sizeof special) - 1);
    QByteArray bytes;
    for (int n = length(rng); n > 0; --n)
        bytes += kind(rng) == 0 ? char(anyByte(rng)) : special[specialByte(rng)];
    return bytes;
}

QString randomText(std::mt19937 &rng, int maxLength)
{
    return QString::fromLocal8Bit(randomBytes(rng, maxLength));
}

TEST(IniFileFuzz, RandomContentNamesAndValues)
{
    std::mt19937 rng(20240601);
    for (int iteration = 0; iteration < 3000; ++iteration) {
        TNewInifile ini(QStringLiteral("fuzz.ini"), randomBytes(rng, 400));
        // Parsed lines never hold a line break, so writing and parsing again
        // gives the same lines.
        ASSERT_EQ(SplitLines(ini.Text()), ini.Lines());

        for (int op = 0; op < 8; ++op) {
            const QString section = randomText(rng, 6);
            const QString key = randomText(rng, 4);
            ini.ReadString(section, key, QString());
            ini.ReadInteger(section, key, 0);
            ini.ReadBool(section, key, false);
            ini.ReadFloat(section, key, 0.0);
            ini.IndexOfKey(section.toLocal8Bit(), key.toLocal8Bit());

            const qsizetype before = ini.Lines().size();
            ini.WriteString(section, key, randomText(rng, 10));
            const qsizetype added = ini.Lines().size() - before;
            ASSERT_TRUE(added >= 0 && added <= 2);
            ASSERT_EQ(SplitLines(ini.Text()), ini.Lines());
        }
    }
}

TEST(IniFileFuzz, ConvertersTakeAnyBytes)
{
    std::mt19937 rng(7);
    for (int iteration = 0; iteration < 20000; ++iteration) {
        const QByteArray text = randomBytes(rng, 24);
        TextToInteger(text);
        TextToFloat(text, ",");
        TextToBool(text, ".");
        // A text that converts as an integer converts as a number too.
        if (const auto integer = TextToInteger(text)) {
            ASSERT_EQ(TextToFloat(text, "."), std::optional<double>(*integer)) << text.toHex().toStdString();
        }
    }
}

TEST(SplitListFuzz, ItemsRebuildTheTextUpToItsLastComma)
{
    std::mt19937 rng(99);
    for (int iteration = 0; iteration < 20000; ++iteration) {
        const QString text = randomText(rng, 60);
        const QStringList items = SplitList(text);
        QString rebuilt;
        for (const QString &item : items) {
            ASSERT_FALSE(item.contains(QLatin1Char(',')));
            rebuilt += item + QLatin1Char(',');
        }
        ASSERT_EQ(rebuilt, text.left(text.lastIndexOf(QLatin1Char(',')) + 1));
    }
}

// A shipped profile with random bytes replaced, inserted or removed: loading,
// building the parameter string and saving finish, and the parameter string is
// refused exactly when something was reported.
TEST(ProfileFuzz, MutatedProfilesAreHandledOrReported)
{
    QFile shipped(ProfilePath(QStringLiteral(VANTORIX_PROGRAM_FOLDER), QStringLiteral("MP4 H.264 AAC")));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const QByteArray original = shipped.readAll();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Fuzzed.apf"));

    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> edits(1, 12);
    std::uniform_int_distribution<int> kind(0, 2);
    for (int iteration = 0; iteration < 400; ++iteration) {
        QByteArray text = original;
        for (int n = edits(rng); n > 0 && !text.isEmpty(); --n) {
            const qsizetype at = std::uniform_int_distribution<qsizetype>(0, text.size() - 1)(rng);
            const QByteArray bytes = randomBytes(rng, 3);
            switch (kind(rng)) {
            case 0:
                text.replace(at, 1, bytes);
                break;
            case 1:
                text.insert(at, bytes);
                break;
            default:
                text.remove(at, std::uniform_int_distribution<qsizetype>(1, 20)(rng));
            }
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();

        ParameterGrids grids;
        RecordingInteractive interactive;
        QString outputExt;
        const ProfileStatus status = LoadProfile(path, grids, interactive, &outputExt);
        ASSERT_TRUE(status == ProfileStatus::Loaded || status == ProfileStatus::Malformed);
        ASSERT_EQ(status == ProfileStatus::Malformed, !interactive.messages.isEmpty());

        interactive.messages.clear();
        const auto params = BuildParameterString(path, grids, interactive);
        ASSERT_EQ(params.has_value(), interactive.messages.isEmpty()) << text.toStdString();
        ASSERT_TRUE(SaveProfile(path, grids, interactive));
    }
}

} // namespace
