#include "profiles/profiles.h"

#include "platform/interactive.h"
#include "profiles/newinifile.h"
#include "profiles/parametergrid.h"
#include "profiles/userfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString MainSection = QStringLiteral("Main");
// The output extension of a profile that names none.
const QString DefaultType = QStringLiteral("mp4");

// A malformed profile's message lists this many problems at most, so that the
// box fits on the screen whatever the file holds.
constexpr int MaxShownFaults = 10;
// Names and values quoted in a message are cut to this many characters.
constexpr int MaxQuotedLength = 40;

QString quoted(const QString &text)
{
    const QString shown = text.size() > MaxQuotedLength ? text.left(MaxQuotedLength) + QChar(0x2026) : text;
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

// Faults of a malformed profile, reported together in one message.
class Faults
{
public:
    void add(const QString &line)
    {
        if (m_lines.size() < MaxShownFaults)
            m_lines << line;
        ++m_count;
    }
    void badIndex(const QString &parameter, qsizetype position)
    {
        add(QCoreApplication::translate("Profiles", "Parameter %1: List index out of bounds (%2)").arg(quoted(parameter)).arg(position));
    }
    // The positions first to last - 1 of [Main] name no parameter.
    void nameless(qint64 first, qint64 last)
    {
        qint64 i = first;
        for (; i < last && m_lines.size() < MaxShownFaults; ++i)
            add(QCoreApplication::translate("Profiles", "Parameter %1 has no name in [Main].").arg(i));
        if (i < last)
            m_count += last - i;
    }
    bool isEmpty() const { return m_count == 0; }
    void report(const QString &path, IInteractive &interactive) const
    {
        QString text = QCoreApplication::translate("Profiles", "The profile \"%1\" is malformed.\n").arg(ProfileName(path))
                       + m_lines.join(QLatin1Char('\n'));
        if (m_count > m_lines.size())
            text += QCoreApplication::translate("Profiles", "\n%1 and %2 more").arg(QChar(0x2026)).arg(m_count - m_lines.size());
        interactive.warning(QCoreApplication::translate("Profiles", "Malformed profile"), text);
    }

private:
    QStringList m_lines; // the first MaxShownFaults
    qint64 m_count = 0;  // all of them
};

// One parameter as its profile describes it.
struct Parameter
{
    QString name;
    int grid = 3; // 1 Video, 2 Audio, 3 Advanced
    bool readOnly = false;
    bool list = true;
    QString caption;
    QString value;
    int index = 0;
    QString cmd;
};

// A profile as its file gives it: the usable output extension, the named
// parameters in their order, and what is wrong with it.
struct Profile
{
    std::optional<QString> type;
    QList<Parameter> parameters;
    Faults faults;
};

// Whether type, standing after the dot of an output file name, keeps that
// name in its folder: not empty, no path separator and no "..".
bool isSafeExtension(const QString &type)
{
    return !type.isEmpty() && !type.contains(QLatin1Char('/')) && !type.contains(QLatin1Char('\\'))
           && !type.contains(QStringLiteral(".."));
}

QString decoded(const std::optional<QByteArray> &raw)
{
    return raw ? QString::fromLocal8Bit(*raw) : QString();
}

// Reads [Main] and the sections of the parameters it names. What the file
// leaves out takes its default: no [Main] or no "Type" is the type "mp4", no
// "Para" (or one that is not a number of 1 or more) is no parameters. Faults
// are a "Type" that could put the output outside its folder, and positions
// below "Para" that name no parameter.
//
// A parameter's grid is its "Sort" when that is 1, 2 or 3, otherwise the grid
// of the parameter before it, and Advanced for a first parameter. Positions
// are read up to the number of lines of the file: every parameter needs at
// least the line in [Main] that names it, and a damaged count of millions
// must not stall the program; the positions beyond are counted as nameless.
Profile readProfile(const TNewInifile &ini)
{
    Profile profile;
    const QByteArray main = MainSection.toLocal8Bit();
    const std::optional<QByteArray> typeText = ini.FindRaw(main, "Type");
    const QString type = typeText ? decoded(typeText).trimmed() : DefaultType;
    if (type.isEmpty())
        profile.faults.add(QCoreApplication::translate("Profiles", "\"Type\" is empty."));
    else if (!isSafeExtension(type))
        profile.faults.add(QCoreApplication::translate("Profiles", "\"Type\" cannot be a file extension: %1.").arg(quoted(type)));
    else
        profile.type = type;

    const std::optional<QByteArray> paraText = ini.FindRaw(main, "Para");
    const qint32 para = paraText ? TextToInteger(*paraText).value_or(0) : 0;
    const qint64 readable = std::min<qint64>(para, ini.Lines().size());
    int previousGrid = 0;
    for (int i = 0; i < readable; ++i) {
        Parameter p;
        p.name = ini.ReadString(MainSection, QString::number(i), QString());
        if (p.name.isEmpty()) {
            profile.faults.nameless(i, i + 1);
            continue;
        }
        const int sort = ini.ReadInteger(p.name, QStringLiteral("Sort"), -1);
        p.grid = sort >= 1 && sort <= 3 ? sort : (previousGrid ? previousGrid : 3);
        previousGrid = p.grid;
        p.readOnly = ini.ReadBool(p.name, QStringLiteral("ReadOnly"), false);
        p.list = ini.ReadBool(p.name, QStringLiteral("List"), true);
        p.caption = ini.ReadString(p.name, QStringLiteral("Caption"), QString());
        p.value = ini.ReadString(p.name, QStringLiteral("Value"), QString());
        p.index = ini.ReadInteger(p.name, QStringLiteral("Index"), 0);
        p.cmd = ini.ReadString(p.name, QStringLiteral("cmd"), QString());
        profile.parameters << p;
    }
    profile.faults.nameless(readable, para);
    return profile;
}

qsizetype indexOfIgnoringCase(const QStringList &items, const QString &text)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool isProfileFile(const QString &path)
{
    return QFileInfo(path).isFile();
}

} // namespace

QStringList SplitList(const QString &text)
{
    QStringList items;
    qsizetype start = 0;
    for (qsizetype comma = text.indexOf(QLatin1Char(',')); comma >= 0;
         comma = text.indexOf(QLatin1Char(','), start)) {
        items << text.mid(start, comma - start);
        start = comma + 1;
    }
    return items;
}

QString ProfilesFolder(const QString &programFolder)
{
    QString folder = programFolder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
        folder += QLatin1Char('/');
    return folder + QStringLiteral("Profiles/");
}

QString UserProfilesFolder(const QString &programFolder)
{
    return ProfilesFolder(UserDataFolder(programFolder));
}

QString ProfilePath(const QString &programFolder, const QString &name)
{
    const QString fileName = name + QStringLiteral(".apf");
    const QString shipped = ProfilesFolder(programFolder) + fileName;
    if (IsProgramFolderWritable(programFolder))
        return shipped;
    const QString own = UserProfilesFolder(programFolder) + fileName;
    return QFileInfo(own).isFile() ? own : shipped;
}

QString WritableProfilePath(const QString &programFolder, const QString &name)
{
    return UserProfilesFolder(programFolder) + name + QStringLiteral(".apf");
}

QString ProfileName(const QString &path)
{
    const QString fileName = QFileInfo(path).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

QStringList ProfileList(const QString &programFolder)
{
    QStringList folders{ProfilesFolder(programFolder)};
    if (!IsProgramFolderWritable(programFolder))
        folders << UserProfilesFolder(programFolder);
    QStringList names;
    for (const QString &path : folders) {
        const QFileInfoList entries = QDir(path).entryInfoList(QDir::Files | QDir::Hidden, QDir::NoSort);
        for (const QFileInfo &entry : entries) {
            const QString fileName = entry.fileName();
            const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
            if (dot >= 0 && fileName.mid(dot).compare(QStringLiteral(".apf"), Qt::CaseInsensitive) == 0)
                names << fileName.left(dot);
        }
    }
    // A user's profile named as a shipped one stands in for it.
    names.removeDuplicates();
    SortProfileNames(names, ListedLastProfiles(programFolder));
    return names;
}

QStringList ListedLastProfiles(const QString &programFolder)
{
    QFile file(ProfilesFolder(programFolder) + QLatin1String(ListedLastFileName));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList names;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            names << line;
    }
    return names;
}

void SortProfileNames(QStringList &names, const QStringList &listedLast)
{
    // Sorted by name, letter case ignored and ties broken by code points;
    // the names listed last follow in their own order.
    std::sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        const qsizetype lastA = listedLast.indexOf(a);
        const qsizetype lastB = listedLast.indexOf(b);
        if (lastA >= 0 || lastB >= 0)
            return lastA < 0 || (lastB >= 0 && lastA < lastB);
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

ProfileStatus LoadProfile(const QString &path, ParameterGrids &grids, IInteractive &interactive,
                          QString *outputExt)
{
    if (!isProfileFile(path))
        return ProfileStatus::Missing;
    auto ini = TNewInifile::Create(path, interactive);
    if (!ini)
        return ProfileStatus::Failed;

    grids.video.clear();
    grids.audio.clear();
    grids.advanced.clear();
    Profile profile = readProfile(*ini);
    if (outputExt && profile.type)
        *outputExt = QLatin1Char('.') + *profile.type;

    Faults &faults = profile.faults;
    for (const Parameter &p : std::as_const(profile.parameters)) {
        ParameterGrid *grid = grids.bySort(p.grid);
        const int row = grid->appendRow(p.name, QString(), p.readOnly);
        if (!p.list) {
            grid->setValueAt(row, p.caption);
            continue;
        }
        const QStringList choices = SplitList(p.caption);
        grid->setPickList(row, choices);
        if (p.index < 0 || p.index >= choices.size()) {
            faults.badIndex(p.name, p.index);
        } else {
            grid->setValueAt(row, choices[p.index]);
            if (!p.cmd.isEmpty() && p.index >= SplitList(p.value).size())
                faults.badIndex(p.name, p.index);
        }
        // A list row changes only by picking a choice.
        grid->setReadOnly(row, true);
    }

    if (!TNewInifile::SaveAndFree(std::move(ini), interactive))
        return ProfileStatus::Failed;
    if (!faults.isEmpty()) {
        faults.report(path, interactive);
        return ProfileStatus::Malformed;
    }
    return ProfileStatus::Loaded;
}

std::optional<QString> BuildParameterString(const QString &path, const ParameterGrids &grids,
                                            IInteractive &interactive)
{
    if (!isProfileFile(path))
        return QString();
    auto ini = TNewInifile::Create(path, interactive);
    if (!ini)
        return std::nullopt;

    QString result;
    Profile profile = readProfile(*ini);
    Faults &faults = profile.faults;
    for (const Parameter &p : std::as_const(profile.parameters)) {
        if (p.cmd.isEmpty())
            continue; // never reaches the engine
        const ParameterGrid *grid = grids.bySort(p.grid);
        const QString current = grid->value(p.name);

        QString engineValue;
        if (p.list) {
            const QStringList choices = SplitList(p.caption);
            const qsizetype k = indexOfIgnoringCase(choices, current);
            if (k >= 0) {
                const QStringList values = SplitList(p.value);
                if (k >= values.size()) {
                    faults.badIndex(p.name, k);
                    continue;
                }
                engineValue = values[k];
            } else if (current.isEmpty()) {
                // No choice was ever made: the profile's own position is bad.
                if (p.index < 0 || p.index >= choices.size()) {
                    faults.badIndex(p.name, p.index);
                    continue;
                }
            } else {
                engineValue = current; // a value of its own, such as a custom size
            }
        } else {
            engineValue = p.readOnly ? p.value : current;
        }

        if (engineValue.isEmpty())
            continue;
        if (engineValue == QStringLiteral("\\"))
            engineValue.clear();
        result += QLatin1Char(' ') + p.cmd + QLatin1Char(' ') + engineValue;
    }

    if (!TNewInifile::SaveAndFree(std::move(ini), interactive))
        return std::nullopt;
    if (!faults.isEmpty()) {
        faults.report(path, interactive);
        return std::nullopt;
    }
    return result;
}

namespace {

// Writes the grids' values into the store of a profile.
void writeGridValues(TNewInifile &ini, const ParameterGrids &grids)
{
    // Every parameter is read before anything is written, read-only ones
    // included, so that each finds the grid it was loaded into.
    const Profile profile = readProfile(ini);
    for (const Parameter &p : profile.parameters) {
        const ParameterGrid *grid = grids.bySort(p.grid);
        if (p.readOnly)
            continue;
        const int row = grid->findRow(p.name);
        if (row < 0)
            continue; // not shown: keep what the file holds
        const QString current = grid->valueAt(row);
        if (p.list) {
            const auto index = indexOfIgnoringCase(grid->pickList(row), current);
            ini.WriteInteger(p.name, QStringLiteral("Index"), static_cast<qint32>(index));
        } else {
            ini.WriteString(p.name, QStringLiteral("Caption"), current);
            ini.WriteString(p.name, QStringLiteral("Value"), current);
        }
    }
}

bool sameFile(const QString &a, const QString &b)
{
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

} // namespace

bool SaveProfile(const QString &path, const ParameterGrids &grids, IInteractive &interactive)
{
    return SaveProfileTo(path, path, grids, interactive);
}

bool SaveProfileTo(const QString &source, const QString &target, const ParameterGrids &grids,
                   IInteractive &interactive)
{
    if (!isProfileFile(source))
        return true;
    auto ini = TNewInifile::Create(source, interactive);
    if (!ini)
        return false;
    writeGridValues(*ini, grids);
    if (ini->Modified() && !sameFile(source, target)) {
        const QString folder = QFileInfo(target).absolutePath();
        if (!QDir().mkpath(folder)) {
            interactive.error(QCoreApplication::translate("Profiles", "Cannot create folder \"%1\".").arg(QDir::toNativeSeparators(folder)));
            return false;
        }
        auto copy = std::make_unique<TNewInifile>(target, ini->Text());
        copy->SetModified();
        return TNewInifile::SaveAndFree(std::move(copy), interactive);
    }
    return TNewInifile::SaveAndFree(std::move(ini), interactive);
}

bool SaveProfileAs(const QString &source, const QString &target, const ParameterGrids &grids,
                   IInteractive &interactive)
{
    if (!isProfileFile(source))
        return true;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        interactive.error(QCoreApplication::translate("Profiles", "Cannot open file \"%1\". %2")
                              .arg(QDir::toNativeSeparators(source), in.errorString()));
        return false;
    }
    const QByteArray content = in.readAll();
    in.close();

    QString errorText;
    if (!WriteWholeFile(target, content, &errorText)) {
        interactive.error(errorText);
        return false;
    }
    return SaveProfile(target, grids, interactive);
}
