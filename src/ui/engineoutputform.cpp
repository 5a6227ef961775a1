#include "ui/engineoutputform.h"

#include "ui/widgetbuilding.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

EngineOutputForm::EngineOutputForm(QWidget *parent)
    : QDialog(parent, Qt::Window)
{
    setObjectName(QStringLiteral("EngineOutputForm"));
    setWindowTitle(QStringLiteral("Engine Output"));
    resize(640, 360);

    labTask = named(new QLabel(this), "labTask");
    labTask->setTextInteractionFlags(Qt::TextSelectableByMouse);
    memOutput = named(new QPlainTextEdit(this), "memOutput");
    memOutput->setReadOnly(true);
    memOutput->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    memOutput->setLineWrapMode(QPlainTextEdit::NoWrap);
    memOutput->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    btnCopy = named(new QPushButton(QStringLiteral("&Copy"), this), "btnCopy");
    connect(btnCopy, &QPushButton::clicked, this, &EngineOutputForm::btnCopyClick);
    btnClose = named(new QPushButton(QStringLiteral("C&lose"), this), "btnClose");
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCopy);
    buttons->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(labTask);
    layout->addWidget(memOutput, 1);
    layout->addLayout(buttons);
}

void EngineOutputForm::showOutput(const QString &inputFile, const QString &output)
{
    setWindowTitle(QStringLiteral("Engine Output - ") + QFileInfo(inputFile).fileName());
    labTask->setText(QDir::toNativeSeparators(inputFile));
    memOutput->setPlainText(output);
    // The end of the output tells why the task ended.
    memOutput->moveCursor(QTextCursor::End);
    memOutput->ensureCursorVisible();
}

QString EngineOutputForm::text() const
{
    return memOutput->toPlainText();
}

void EngineOutputForm::btnCopyClick()
{
    QGuiApplication::clipboard()->setText(memOutput->toPlainText());
}
