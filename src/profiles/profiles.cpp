#include "profiles/profiles.h"

#include "platform/interactive.h"
#include "profiles/newinifile.h"
#include "profiles/parametergrid.h"
#include "profiles/userfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString MainSection = QStringLiteral("Main");

// One parameter as its profile describes it.
struct Parameter
{
    QString name;
    int sort = -1;
    bool readOnly = false;
    bool list = true;
    QString caption;
    QString value;
    QString cmd;
};

Parameter readParameter(const TNewInifile &ini, int position)
{
    Parameter p;
    p.name = ini.ReadString(MainSection, QString::number(position), QString());
    p.sort = ini.ReadInteger(p.name, QStringLiteral("Sort"), -1);
    p.readOnly = ini.ReadBool(p.name, QStringLiteral("ReadOnly"), false);
    p.list = ini.ReadBool(p.name, QStringLiteral("List"), true);
    p.caption = ini.ReadString(p.name, QStringLiteral("Caption"), QString());
    p.value = ini.ReadString(p.name, QStringLiteral("Value"), QString());
    p.cmd = ini.ReadString(p.name, QStringLiteral("cmd"), QString());
    return p;
}

// "Para", bounded by the number of lines of the file: every parameter needs at
// least the line in "Main" that names it, and a damaged count of millions
// must not stall the program.
int parameterCount(const TNewInifile &ini)
{
    const int para = ini.ReadInteger(MainSection, QStringLiteral("Para"), 0);
    return static_cast<int>(std::min<qsizetype>(para, ini.Lines().size()));
}

// The grid for a parameter's "Sort": its own grid for 1, 2 or 3, otherwise the
// grid of the parameter before it, and Advanced for a first parameter.
template<typename Grids, typename Grid>
Grid *pickGrid(Grids &grids, int sort, Grid *previous)
{
    if (Grid *grid = grids.bySort(sort))
        return grid;
    return previous ? previous : &grids.advanced;
}

qsizetype indexOfIgnoringCase(const QStringList &items, const QString &text)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// Faults of a malformed profile, reported together in one message.
class Faults
{
public:
    void add(const QString &parameter, qsizetype position)
    {
        m_lines << QStringLiteral("Parameter \"%1\": List index out of bounds (%2)").arg(parameter).arg(position);
    }
    bool isEmpty() const { return m_lines.isEmpty(); }
    void report(const QString &path, IInteractive &interactive) const
    {
        interactive.warning(QStringLiteral("Malformed profile"),
                            QStringLiteral("The profile \"%1\" is malformed.\n").arg(ProfileName(path))
                                + m_lines.join(QLatin1Char('\n')));
    }

private:
    QStringList m_lines;
};

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
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
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
    if (outputExt)
        *outputExt = QLatin1Char('.') + ini->ReadString(MainSection, QStringLiteral("Type"), QStringLiteral("mp4"));

    Faults faults;
    ParameterGrid *grid = nullptr;
    const int count = parameterCount(*ini);
    for (int i = 0; i < count; ++i) {
        const Parameter p = readParameter(*ini, i);
        grid = pickGrid(grids, p.sort, grid);
        const int row = grid->appendRow(p.name, QString(), p.readOnly);
        if (!p.list) {
            grid->setValueAt(row, p.caption);
            continue;
        }
        const QStringList choices = SplitList(p.caption);
        grid->setPickList(row, choices);
        const int index = ini->ReadInteger(p.name, QStringLiteral("Index"), 0);
        if (index < 0 || index >= choices.size()) {
            faults.add(p.name, index);
        } else {
            grid->setValueAt(row, choices[index]);
            if (!p.cmd.isEmpty() && index >= SplitList(p.value).size())
                faults.add(p.name, index);
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
    Faults faults;
    const ParameterGrid *grid = nullptr;
    const int count = parameterCount(*ini);
    for (int i = 0; i < count; ++i) {
        const Parameter p = readParameter(*ini, i);
        grid = pickGrid(grids, p.sort, grid);
        if (p.cmd.isEmpty())
            continue; // never reaches the engine
        const QString current = grid->value(p.name);

        QString engineValue;
        if (p.list) {
            const QStringList choices = SplitList(p.caption);
            const qsizetype k = indexOfIgnoringCase(choices, current);
            if (k >= 0) {
                const QStringList values = SplitList(p.value);
                if (k >= values.size()) {
                    faults.add(p.name, k);
                    continue;
                }
                engineValue = values[k];
            } else if (current.isEmpty()) {
                // No choice was ever made: the profile's own position is bad.
                const int index = ini->ReadInteger(p.name, QStringLiteral("Index"), 0);
                if (index < 0 || index >= choices.size()) {
                    faults.add(p.name, index);
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
    const ParameterGrid *grid = nullptr;
    const int count = parameterCount(ini);
    for (int i = 0; i < count; ++i) {
        const Parameter p = readParameter(ini, i);
        // The grid is picked for every parameter, read-only ones included, so
        // that a following parameter without a Sort of its own finds the same
        // grid as when the profile was loaded.
        grid = pickGrid(grids, p.sort, grid);
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
            interactive.error(QStringLiteral("Cannot create folder \"%1\".").arg(QDir::toNativeSeparators(folder)));
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
        interactive.error(QStringLiteral("Cannot open file \"%1\". %2")
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
