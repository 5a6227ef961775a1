#include "ui/engineoutputform.h"

#include "conversion/failureexplanation.h"
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
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

const QString EngineOutputForm::FailureMark = QStringLiteral("\u26A0 ");

EngineOutputForm::EngineOutputForm(QWidget *parent)
    : QDialog(parent, Qt::Window)
{
    setObjectName(QStringLiteral("EngineOutputForm"));
    setWindowTitle(tr("Engine Output"));
    resize(640, 360);

    labTask = named(new QLabel(this), "labTask");
    labTask->setTextInteractionFlags(Qt::TextSelectableByMouse);
    memOutput = named(new QPlainTextEdit(this), "memOutput");
    memOutput->setReadOnly(true);
    memOutput->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    memOutput->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memOutput->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    memOutput->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    btnCopy = named(new QPushButton(tr("&Copy"), this), "btnCopy");
    connect(btnCopy, &QPushButton::clicked, this, &EngineOutputForm::btnCopyClick);
    btnClose = named(new QPushButton(tr("C&lose"), this), "btnClose");
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

void EngineOutputForm::showOutput(const QString &inputFile, const QString &output, const QString &notes)
{
    setWindowTitle(tr("Engine Output - ") + QFileInfo(inputFile).fileName());
    labTask->setText(QDir::toNativeSeparators(inputFile));

    const QString sentence = ExplainFailure(output, notes);
    m_copied = sentence.isEmpty() ? output : sentence + QLatin1Char('\n') + output;

    memOutput->clear();
    QTextCursor cursor(memOutput->document());
    QTextCharFormat plain;
    QTextCharFormat marked;
    marked.setFontWeight(QFont::Bold);
    marked.setForeground(QColor(0xb0, 0x00, 0x20));
    bool first = true;
    const auto addLine = [&](const QString &line, const QTextCharFormat &format) {
        if (!first)
            cursor.insertBlock();
        first = false;
        cursor.insertText(line, format);
    };
    if (!sentence.isEmpty())
        addLine(sentence, marked);
    static const QRegularExpression breaks(QStringLiteral("\r\n|[\r\n]"));
    for (const QString &line : output.split(breaks)) {
        if (line.trimmed().isEmpty() || IsEngineBannerLine(line))
            continue;
        if (NamesFailure(line))
            addLine(FailureMark + line, marked);
        else
            addLine(line, plain);
    }
    // The explanation and the first lines are what a reader looks for first.
    memOutput->moveCursor(QTextCursor::Start);
    memOutput->ensureCursorVisible();
    memOutput->horizontalScrollBar()->setValue(0);
    memOutput->verticalScrollBar()->setValue(0);
}

QString EngineOutputForm::text() const
{
    return memOutput->toPlainText();
}

void EngineOutputForm::btnCopyClick()
{
    QGuiApplication::clipboard()->setText(m_copied);
}
