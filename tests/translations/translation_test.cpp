// The program in German, as a user with LANGUAGE=de sees it, and the choice
// of the language from the environment.
#include "app/mainform.h"
#include "app/picturebutton.h"
#include "platform/translations.h"
#include "profiles/parametergrid.h"
#include "ui/valuelistgrid.h"
#include "../app/windowfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace {

QProcessEnvironment environment(std::initializer_list<std::pair<const char *, const char *>> variables)
{
    QProcessEnvironment result;
    for (const auto &[name, value] : variables)
        result.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return result;
}

} // namespace

TEST(UserLanguageTest, TakenAsGettextTakesIt)
{
    const struct
    {
        QProcessEnvironment environment;
        QString language;
    } cases[] = {
        {environment({{"LANGUAGE", "de:fr"}, {"LC_ALL", "fr_FR.UTF-8"}, {"LANG", "it_IT"}}), "de"},
        {environment({{"LC_ALL", "de_AT.UTF-8@euro"}, {"LC_MESSAGES", "fr_FR"}}), "de_AT"},
        {environment({{"LANGUAGE", ""}, {"LC_MESSAGES", "fr_FR"}, {"LANG", "de_DE"}}), "fr_FR"},
        {environment({{"LANG", "de_CH.UTF-8"}}), "de_CH"},
        {environment({{"LANG", "C.UTF-8"}}), ""},
        {environment({{"LC_ALL", "POSIX"}, {"LANG", "de_DE"}}), ""},
        {environment({}), ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(UserLanguage(c.environment), c.language) << qPrintable(c.environment.toStringList().join(u' '));
}

TEST(InstallTranslationsTest, EnglishAndUntranslatedLanguagesLoadNothing)
{
    for (const char *language : {"", "en_US", "en", "xx_YY"})
        EXPECT_FALSE(InstallTranslations(*qApp, QStringLiteral(VANTORIX_PROGRAM_FOLDER), QString::fromLatin1(language)))
            << language;
    EXPECT_EQ(QCoreApplication::translate("TMainForm", "Profile:"), QStringLiteral("Profile:"));
}

class GermanWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        static const bool installed =
            InstallTranslations(*qApp, QStringLiteral(VANTORIX_PROGRAM_FOLDER), QStringLiteral("de_DE"));
        ASSERT_TRUE(installed);
    }

    template<typename T> T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};

TEST_F(GermanWindowTest, TheWindowAndItsMessagesSpeakGerman)
{
    TMainForm &form = openAll();
    auto *list = child<QTreeView>("ltvTask");
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Eingabedatei"));
    EXPECT_EQ(child<PictureButton>("ibtnAddFile")->toolTip(), QStringLiteral("Datei hinzufügen (Strg+O, Einfg)"));
    EXPECT_EQ(child<QPushButton>("bbtnBrowser")->text(), QStringLiteral("&Durchsuchen"));
    // Qt's own texts come in German too.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));

    // A stored Status value is shown translated and kept as stored.
    EXPECT_EQ(qobject_cast<QStyledItemDelegate *>(list->itemDelegateForColumn(3))->displayText(QStringLiteral("Complete"), QLocale()),
              QStringLiteral("Fertig"));

    // A message of the custom size window.
    sizeForm->findChild<QLineEdit *>(QStringLiteral("edtWidth"))->setText(QStringLiteral("x"));
    sizeForm->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    ASSERT_FALSE(interactive.messages.isEmpty());
    EXPECT_TRUE(interactive.messages.constLast().contains(QStringLiteral("Ungültige Breite")))
        << qPrintable(interactive.messages.constLast());
    Q_UNUSED(form)
}

TEST_F(GermanWindowTest, PicturesHaveAccessibleNamesAndTabReachesThemInReadingOrder)
{
    open();
    const struct
    {
        const char *picture;
        QString name;
        QString description;
    } cases[] = {
        {"ibtnAddFile", "Datei hinzufügen", "Fügt der Liste Videodateien hinzu."},
        {"ibtnHelp", "Hilfe", "Öffnet das Handbuch."},
        {"imgStart", "Starten", "Wandelt die Dateien der Liste um (F5)."},
        {"imgStop", "Anhalten", "Hält die Umwandlung an (Esc)."},
        {"edtOutputdir", "Ausgabepfad", "Der Ordner, in den die umgewandelten Dateien kommen."},
    };
    for (const auto &c : cases) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(child<QWidget>(c.picture));
        ASSERT_NE(accessible, nullptr) << c.picture;
        EXPECT_EQ(accessible->role(), qobject_cast<PictureButton *>(accessible->object()) ? QAccessible::Button
                                                                                           : QAccessible::EditableText)
            << c.picture;
        EXPECT_EQ(accessible->text(QAccessible::Name), c.name) << c.picture;
        EXPECT_EQ(accessible->text(QAccessible::Description), c.description) << c.picture;
    }

    // Space on a focused picture is its click: Add File asks for files.
    auto *addFile = child<PictureButton>("ibtnAddFile");
    addFile->setFocus();
    QTest::keyClick(addFile, Qt::Key_Space);
    EXPECT_FALSE(dialogs.calls.isEmpty());

    // Tab from the list meets these in this order.
    const QList<const char *> reading = {"ltvTask", "ibtnAddFile", "ibtnHelp", "cmbProfile", "bbtnSetting",
                                         "edtOutputdir", "bbtnBrowser", "bbtnOpen", "imgStart"};
    QWidget *at = child<QWidget>(reading.constFirst());
    for (qsizetype i = 1; i < reading.size(); ++i) {
        QWidget *next = child<QWidget>(reading[i]);
        int steps = 0;
        while (at != next && steps++ < 200)
            at = at->nextInFocusChain();
        EXPECT_EQ(at, next) << reading[i - 1] << " then " << reading[i];
    }
}

TEST_F(GermanWindowTest, GridValuesAreGermanAndNothingIsCutAtTheDesignSizeOrLarger)
{
    TMainForm &form = openAll();
    // Shown in German, kept as the profiles store them.
    const struct
    {
        const char *stored;
        const char *shown;
    } values[] = {
        {"No", "Nein"},
        {"Yes\r", "Ja"},
        {"Original Size", "Original"},
        {"Main video and audio", "Hauptspuren"},
        {"Best (CRF 15)", "Beste (CRF 15)"},
        {"~96 kbps (Quality 2)", "~96 kbps (Qualität 2)"},
        {"MPEG-4 (Xvid compatible)", "MPEG-4 (Xvid-kompatibel)"},
        {"libx264", "libx264"},
    };
    for (const auto &v : values)
        EXPECT_EQ(ShownParameterValue(QString::fromUtf8(v.stored)), QString::fromUtf8(v.shown)) << v.stored;

    // Every choice of every shipped profile shows whole in the value column
    // in German wherever it does in English.
    auto *profiles = child<QComboBox>("cmbProfile");
    auto *video = child<ValueListGrid>("vleVideo");
    const int room = video->columnWidth(ParameterGrid::ValueColumn) - 6;
    QStringList cut;
    for (int profile = 0; profile < profiles->count(); ++profile) {
        profiles->setCurrentIndex(profile);
        for (const ParameterGrid *grid : {&form.grids().video, &form.grids().audio, &form.grids().advanced})
            for (int row = 0; row < grid->rowCount(); ++row)
                for (const QString &choice : grid->index(row, 1).data(ParameterGrid::PickListRole).toStringList())
                    if (video->fontMetrics().horizontalAdvance(choice.trimmed()) <= room
                        && video->fontMetrics().horizontalAdvance(ShownParameterValue(choice)) > room)
                        cut << ShownParameterValue(choice);
    }
    cut.removeDuplicates();
    EXPECT_EQ(cut, QStringList()) << room;

    // Texts that must show whole, at the design size and at 1280 x 1024.
    auto *list = child<QTreeView>("ltvTask");
    auto *status = qobject_cast<QStyledItemDelegate *>(list->itemDelegateForColumn(3));
    for (const QSize size : {QSize(790, 505), QSize(1280, 1024)}) {
        form.resize(size);
        for (const QString &stored : {RowStatus::Converting, RowStatus::Complete, RowStatus::Failed, RowStatus::Stop,
                                      RowStatus::Paused}) {
            const QString shown = status->displayText(stored, QLocale());
            EXPECT_LE(list->fontMetrics().horizontalAdvance(shown) + 12, list->columnWidth(3))
                << qPrintable(shown) << " at " << size.width();
        }
    }
    settingForm->showProfiles(0);
    auto *saveAs = settingForm->findChild<QPushButton *>(QStringLiteral("btnSaveAs"));
    const QString caption = saveAs->text().remove(QLatin1Char('&'));
    EXPECT_EQ(caption, QStringLiteral("Speichern unter..."));
    EXPECT_LE(saveAs->fontMetrics().horizontalAdvance(caption) + 8, saveAs->width());
    EXPECT_LE(saveAs->geometry().right(), saveAs->parentWidget()->width());
    auto *profile = settingForm->findChild<QComboBox *>(QStringLiteral("cmbProfile"));
    EXPECT_LT(profile->geometry().right(), saveAs->x());
}

TEST(GermanBatchModeTest, HelpIsGerman)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("de"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/vantorix"), {QStringLiteral("--batch"), QStringLiteral("--help")});
    ASSERT_TRUE(program.waitForFinished(30000));
    const QString help = QString::fromUtf8(program.readAllStandardOutput());
    EXPECT_EQ(program.exitCode(), 0);
    for (const QString &german : {QStringLiteral("Wandelt Videodateien ohne Fenster um"),
                                  QStringLiteral("Ohne Fenster umwandeln."), QStringLiteral("vantorix --batch [Optionen]"),
                                  QStringLiteral("Zeigt Hilfe zu den Kommandozeilenoptionen an."),
                                  QStringLiteral("Pfade")})
        EXPECT_TRUE(help.contains(german)) << qPrintable(german) << "\n" << qPrintable(help);
    EXPECT_FALSE(help.contains(QStringLiteral("paths"))) << qPrintable(help);

    // A usage error and its hint in German, with the exit status of bad usage.
    program.start(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/vantorix"),
                  {QStringLiteral("--batch"), QStringLiteral("--overwrite"), QStringLiteral("--rename"), QStringLiteral("x")});
    ASSERT_TRUE(program.waitForFinished(30000));
    const QString error = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(program.exitCode(), 2);
    EXPECT_TRUE(error.contains(QStringLiteral("--overwrite und --rename schließen einander aus"))) << qPrintable(error);
}
