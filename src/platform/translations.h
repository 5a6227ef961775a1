#pragma once

#include <QProcessEnvironment>
#include <QString>

class QCoreApplication;

// The language the user reads, from the environment as gettext takes it: the
// first entry of LANGUAGE, else LC_ALL, LC_MESSAGES, LANG, the first one set.
// Codeset and modifier are dropped ("de_DE.UTF-8@euro" is "de_DE"); "C" and
// "POSIX" are English, returned as "".
QString UserLanguage(const QProcessEnvironment &environment);

// Installs the program's translation for `language` from the program folder's
// translations/ and Qt's own for its standard texts; English, or a language
// without a translation, installs nothing. Returns whether the program's own
// translation was installed.
bool InstallTranslations(QCoreApplication &app, const QString &programFolder, const QString &language);
