#include "ui/dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QVBoxLayout>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

#include <memory>

QString ToolkitNameFilter(const QString &entry)
{
    static const QRegularExpression form(QStringLiteral("^(.*)\\(([^()]*)\\)\\s*$"));
    const QRegularExpressionMatch match = form.match(entry);
    if (!match.hasMatch())
        return entry;
    static const QRegularExpression separators(QStringLiteral("[;\\s]+"));
    QStringList patterns = match.captured(2).split(separators, Qt::SkipEmptyParts);
    for (QString &pattern : patterns) {
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
    }
    return match.captured(1) + QLatin1Char('(') + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

namespace {

// The filter entries, the first one preselected. The dialog matches with its
// own form of the entries but shows them as they were given.
void setFilterEntries(QFileDialog &dialog, const QStringList &filters)
{
    if (filters.isEmpty())
        return;
    QStringList toolkitFilters;
    toolkitFilters.reserve(filters.size());
    for (const QString &entry : filters)
        toolkitFilters << ToolkitNameFilter(entry);
    dialog.setNameFilters(toolkitFilters);
    dialog.selectNameFilter(toolkitFilters.first());
    auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    if (types && types->count() == filters.size()) {
        for (int i = 0; i < types->count(); ++i)
            types->setItemText(i, filters[i]);
    }
}

} // namespace

namespace {

// Opens the dialog without waiting for it, modal to every window of the
// program; `chosen` follows with its selected files in native form on OK, an
// empty list otherwise. The dialog goes when it is closed.
void OpenFileDialog(QFileDialog *dialog, std::function<void(QStringList)> chosen)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, chosen = std::move(chosen)](int result) {
        QStringList files;
        if (result == QDialog::Accepted)
            files = dialog->selectedFiles();
        files.removeAll(QString());
        for (QString &file : files)
            file = QDir::toNativeSeparators(file);
        chosen(files);
    });
    dialog->show();
}

} // namespace

void WidgetDialogs::pickFolder(QWidget *owner, const QString &title,
                               std::function<void(std::optional<QString>)> chosen)
{
    auto *dialog = new QFileDialog(owner, title);
    dialog->setObjectName(QStringLiteral("folderPicker"));
    dialog->setFileMode(QFileDialog::Directory);
    // The toolkit's own chooser everywhere, so it behaves the same on every
    // desktop.
    dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    OpenFileDialog(dialog, [chosen = std::move(chosen)](const QStringList &folders) {
        chosen(folders.isEmpty() ? std::nullopt : std::optional<QString>(folders.first()));
    });
}

void WidgetDialogs::openFiles(QWidget *owner, const QStringList &filters, std::function<void(QStringList)> chosen)
{
    auto *dialog = new QFileDialog(owner, QCoreApplication::translate("WidgetDialogs", "Open"));
    dialog->setObjectName(QStringLiteral("openDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setSizeGripEnabled(true);
    if (!m_lastOpenFolder.isEmpty())
        dialog->setDirectory(m_lastOpenFolder);
    setFilterEntries(*dialog, filters);
    OpenFileDialog(dialog, [this, dialog, chosen = std::move(chosen)](const QStringList &files) {
        if (!files.isEmpty())
            m_lastOpenFolder = dialog->directory().absolutePath();
        chosen(files);
    });
}

void WidgetDialogs::saveFile(QWidget *owner, const QString &folder, const QString &defaultExtension,
                             const QStringList &filters, std::function<void(std::optional<QString>)> chosen)
{
    auto *dialog = new QFileDialog(owner, QCoreApplication::translate("WidgetDialogs", "Save As"));
    dialog->setObjectName(QStringLiteral("saveDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setSizeGripEnabled(true);
    QString suffix = defaultExtension;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog->setDefaultSuffix(suffix);
    if (!folder.isEmpty())
        dialog->setDirectory(folder);
    setFilterEntries(*dialog, filters);
    OpenFileDialog(dialog, [chosen = std::move(chosen)](const QStringList &files) {
        chosen(files.isEmpty() ? std::nullopt : std::optional<QString>(files.first()));
    });
}

void WidgetDialogs::countdown(QWidget *owner, const QString &caption, const QString &text, int seconds,
                              std::function<void(bool)> answered)
{
    if (seconds <= 0) {
        answered(true);
        return;
    }
    const auto textFor = [text](int secondsLeft) {
        return QString(text).replace(QLatin1String("%1"), QString::number(secondsLeft));
    };

    auto *box = new QMessageBox(QMessageBox::Warning, caption, textFor(seconds), QMessageBox::Cancel, owner);
    box->setObjectName(QStringLiteral("countdownBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setEscapeButton(QMessageBox::Cancel);

    // The count lives with the box: the box's end answers once.
    auto left = std::make_shared<int>(seconds);
    auto *tick = new QTimer(box);
    tick->setInterval(1000);
    QObject::connect(tick, &QTimer::timeout, box, [box, tick, left, textFor] {
        if (--*left > 0) {
            box->setText(textFor(*left));
            return;
        }
        tick->stop();
        box->done(QDialog::Accepted);
    });
    QObject::connect(box, &QDialog::finished, box,
                     [left, answered = std::move(answered)](int) { answered(*left <= 0); });
    tick->start();
    box->open();
}

void WidgetDialogs::askIncludeSubfolders(QWidget *owner, bool include,
                                         std::function<void(std::optional<bool>)> answered)
{
    auto *box = new QDialog(owner);
    box->setObjectName(QStringLiteral("dlgIncludeSubfolders"));
    box->setWindowTitle(QCoreApplication::translate("WidgetDialogs", "Add a directory to the Task List"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(box);
    auto *check = new QCheckBox(QCoreApplication::translate("WidgetDialogs", "Include subfolders"), box);
    check->setObjectName(QStringLiteral("chkIncludeSubfolders"));
    check->setChecked(include);
    layout->addWidget(check);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, box);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::reject);
    QObject::connect(box, &QDialog::finished, box, [check, answered = std::move(answered)](int result) {
        answered(result == QDialog::Accepted ? std::optional<bool>(check->isChecked()) : std::nullopt);
    });
    box->open();
}
