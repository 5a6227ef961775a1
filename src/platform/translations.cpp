#include "platform/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QString UserLanguage(const QProcessEnvironment &environment)
{
    QString value = environment.value(QStringLiteral("LANGUAGE")).section(QLatin1Char(':'), 0, 0);
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (!value.isEmpty())
            break;
        value = environment.value(QString::fromLatin1(name));
    }
    value = value.section(QLatin1Char('@'), 0, 0).section(QLatin1Char('.'), 0, 0);
    if (value == QLatin1String("C") || value == QLatin1String("POSIX"))
        return {};
    return value;
}

bool InstallTranslations(QCoreApplication &app, const QString &programFolder, const QString &language)
{
    if (language.isEmpty() || language.startsWith(QLatin1String("en")))
        return false;
    const QLocale locale(language);
    auto *own = new QTranslator(&app);
    if (!own->load(locale, QStringLiteral("vantorix"), QStringLiteral("_"),
                   QDir(programFolder).filePath(QStringLiteral("translations")))) {
        delete own;
        return false;
    }
    QCoreApplication::installTranslator(own);
    // Qt's texts: the standard buttons and dialogs, the command line's --help.
    auto *qt = new QTranslator(&app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    return true;
}
