// The manual beside the program names what the program offers, read from the
// program itself: each shipped profile, each item of the task list's pop-up
// menu and each option `vantorix --batch --help` prints.
#include "windowfixture.h"

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>

namespace {

class ManualTest : public WindowTest
{
protected:
    static QString manual()
    {
        QFile file(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/Vantorix.html"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The options of the batch mode's help: every "-x" and "--name" before
    // an option's description.
    static QStringList batchOptions()
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/vantorix"), {"--batch", "--help"});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return {};
        QStringList options;
        static const QRegularExpression option(QStringLiteral("^\\s+(-.*?)(\\s{2,}|$)"));
        static const QRegularExpression name(QStringLiteral("--?[A-Za-z][A-Za-z-]*"));
        for (const QString &line : QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch match = option.match(line);
            for (const QRegularExpressionMatch &each : name.globalMatch(match.captured(1)))
                options << each.captured();
        }
        return options;
    }
};

TEST_F(ManualTest, NamesEveryProfileMenuItemAndBatchOption)
{
    TMainForm &form = open();
    form.ppmTaskPopup();
    QStringList menuItems;
    for (QAction *action : child<QMenu>("ppmTask")->actions()) {
        if (!action->isSeparator())
            menuItems << action->text();
    }
    QStringList profiles;
    for (const QString &file : QDir(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/Profiles"))
                                   .entryList({QStringLiteral("*.apf")}, QDir::Files))
        profiles << QFileInfo(file).completeBaseName();

    const QString html = manual();
    const struct
    {
        const char *what;
        QStringList names;
        QString shape; // how the manual writes one
        qsizetype atLeast;
    } cases[] = {
        {"profile", profiles, QStringLiteral("<td>%1</td>"), 20},
        {"pop-up menu item", menuItems, QStringLiteral("<td>%1</td>"), 8},
        {"batch option", batchOptions(), QStringLiteral("<code>%1</code>"), 12},
    };
    for (const auto &c : cases) {
        EXPECT_GE(c.names.size(), c.atLeast) << c.what << "s read from the program: " << qPrintable(c.names.join(", "));
        for (const QString &name : c.names)
            EXPECT_TRUE(html.contains(c.shape.arg(name.toHtmlEscaped()))) << "the manual lacks the " << c.what << " " << qPrintable(name);
    }
}

} // namespace
