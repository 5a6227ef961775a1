#include "ui/sizeform.h"

#include "profiles/framesize.h"
#include "platform/interactive.h"
#include "profiles/parametergrid.h"
#include "ui/widgetbuilding.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString VideoSizeKey = QStringLiteral("Video Size");
const QString CustomSize = QStringLiteral("Custom Size");
const QString OriginalSize = QStringLiteral("Original Size");

} // namespace

TSizeForm::TSizeForm(QWidget *mainWindow, ParameterGrid &videoGrid, IInteractive &interactive, QWidget *parent)
    : BlockingWindow(mainWindow, tr("Video Size of output files"), QSize(ClientWidth, ClientHeight),
                     parent)
    , m_videoGrid(videoGrid)
    , m_interactive(interactive)
{
    setObjectName(QStringLiteral("TSizeForm"));

    QLabel *width = makeLabel(tr("Width:"), this, 19, 24);
    width->setObjectName(QStringLiteral("labWidth"));
    FitLabel(width, 56 - 3 - 19);
    edtWidth = new QLineEdit(this);
    edtWidth->setObjectName(QStringLiteral("edtWidth"));
    edtWidth->setGeometry(56, 20, 81, 21);
    QLabel *height = makeLabel(tr("Height:"), this, 176, 24);
    height->setObjectName(QStringLiteral("labHeight"));
    FitLabel(height, 216 - 3 - 176);
    edtHeight = new QLineEdit(this);
    edtHeight->setObjectName(QStringLiteral("edtHeight"));
    edtHeight->setGeometry(216, 20, 97, 21);

    btnOK = new QPushButton(tr("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(160, 64, 75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &TSizeForm::btnOKClick);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(248, 64, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, &TSizeForm::btnCancelClick);

    setTabOrder(edtWidth, edtHeight);
    setTabOrder(edtHeight, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TSizeForm::~TSizeForm() = default;

void TSizeForm::FormShow()
{
    activateWindow();
    raise();
    edtWidth->setFocus();
}

void TSizeForm::btnOKClick()
{
    // The engine cannot make a frame of no size: zero and negative numbers
    // are refused like text that is no number.
    if (!IsFrameDimension(edtWidth->text())) {
        m_interactive.information(tr("Incorrect Width"),
                                  tr("Please specify a proper width for output videos."));
        edtWidth->setFocus();
        return;
    }
    if (!IsFrameDimension(edtHeight->text())) {
        m_interactive.information(tr("Incorrect Height"),
                                  tr("Please specify a proper height for output videos."));
        edtHeight->setFocus();
        return;
    }
    // Blanks around a number are no part of it; inside the value they would
    // split it into two engine arguments.
    m_videoGrid.setValue(VideoSizeKey,
                         edtWidth->text().trimmed() + QLatin1Char('x') + edtHeight->text().trimmed());
    close();
}

void TSizeForm::btnCancelClick()
{
    close();
}

void TSizeForm::FormClose()
{
    // Left without a size: the row must not keep a choice the engine has no
    // value for.
    if (m_videoGrid.value(VideoSizeKey) == CustomSize)
        m_videoGrid.setValue(VideoSizeKey, OriginalSize);
}
