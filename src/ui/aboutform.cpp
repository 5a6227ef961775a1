#include "ui/aboutform.h"

#include "platform/shell.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int UpperHeight = 167;
constexpr int StripWidth = 117;
constexpr int TextLeft = 136;
const QSize ButtonSize(75, 25);

QLabel *makeLabel(const char *name, QWidget *parent, int x, int y, const QString &text = {})
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(x, y);
    return label;
}

QPushButton *makeButton(const char *name, QWidget *parent, int x, int y, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(QRect(QPoint(x, y), ButtonSize));
    return button;
}

// A translation longer than the English text, which the window was drawn
// for, widens its button rather than being cut.
void widenForTranslation(QPushButton *button, const char *english)
{
    if (button->text() == QLatin1String(english))
        return;
    const int needed = button->fontMetrics().horizontalAdvance(QString(button->text()).remove(QLatin1Char('&'))) + 16;
    if (needed > button->width())
        button->resize(needed, button->height());
}

} // namespace

AboutInfo DefaultAboutInfo(const QString &version)
{
    // Addresses under a reserved domain: nothing real is named.
    AboutInfo info;
    info.productName = QStringLiteral("Vantorix");
    info.version = version;
    info.maker = QStringLiteral("Quellmark");
    info.year = QStringLiteral("2009");
    info.website = QStringLiteral("https://www.quellmark.example/");
    info.contactMail = QStringLiteral("info@quellmark.example");
    info.techMail = QStringLiteral("support@quellmark.example");
    info.salesMail = QStringLiteral("sales@quellmark.example");
    info.products = {
        {QStringLiteral("Quellmark DVD to Video Converter"),
         QStringLiteral("https://www.quellmark.example/dvd-converter/")},
        {QStringLiteral("Quellmark Video to Audio Converter"),
         QStringLiteral("https://www.quellmark.example/audio-converter/")},
        {QStringLiteral("Quellmark Phone Video Converter"),
         QStringLiteral("https://www.quellmark.example/phone-converter/")},
    };
    return info;
}

TAboutForm::TAboutForm(const AboutInfo &info, IShell &shell, QWidget *owner)
    : BlockingWindow(owner, tr("About"), QSize(ClientWidth, ClientHeight))
    , m_info(info)
    , m_shell(shell)
{
    setObjectName(QStringLiteral("TAboutForm"));
    FormCreate();
}

void TAboutForm::FormCreate()
{
    auto *panTop = new QWidget(this);
    panTop->setObjectName(QStringLiteral("panTop"));
    panTop->setGeometry(0, 0, ClientWidth, UpperHeight);
    auto *imgSide = makeLabel("imgSide", panTop, 0, 0);
    imgSide->setGeometry(0, 0, StripWidth, UpperHeight);
    imgSide->setScaledContents(true);
    imgSide->setPixmap(QPixmap(QStringLiteral(":/pictures/about-side.png")));
    auto *imgBackground = makeLabel("imgBackground", panTop, StripWidth, 0);
    imgBackground->setGeometry(StripWidth, 0, ClientWidth - StripWidth, UpperHeight);
    imgBackground->setScaledContents(true);
    imgBackground->setPixmap(QPixmap(QStringLiteral(":/pictures/about-background.png")));

    // Dark text on the light background picture, whatever the window's colours.
    const QString onPicture = QStringLiteral("QLabel { color: #1f1200; background: transparent; }");
    labProgramName = makeLabel("labProgramName", panTop, TextLeft, 14, m_info.productName);
    QFont bold = labProgramName->font();
    bold.setBold(true);
    labProgramName->setFont(bold);
    labVersion = makeLabel("labVersion", panTop, TextLeft, 32, tr("Version ") + m_info.version);
    labCopyright = makeLabel("labCopyright", panTop, TextLeft, 76,
                             tr("Copyright (C) %1 %2").arg(m_info.year, m_info.maker));
    labRights = makeLabel("labRights", panTop, TextLeft, 92, tr("All rights reserved."));
    labVisitWebsite = makeLabel("labVisitWebsite", panTop, TextLeft, 123, tr("Visit our website"));
    labWebsite = link(makeLabel("labWebsite", panTop, TextLeft, 139, m_info.website));
    QFont underlined = labWebsite->font();
    underlined.setUnderline(true);
    labWebsite->setFont(underlined);
    for (QLabel *label : {labProgramName, labVersion, labCopyright, labRights, labVisitWebsite}) {
        label->setStyleSheet(onPicture);
        label->adjustSize();
    }
    labWebsite->adjustSize();

    auto *panBottom = new QWidget(this);
    panBottom->setObjectName(QStringLiteral("panBottom"));
    panBottom->setGeometry(0, UpperHeight, ClientWidth, ClientHeight - UpperHeight);
    Label7 = makeLabel("Label7", panBottom, 16, 8, tr("More video converting softwares"));
    Label7->adjustSize();
    labMore = link(makeLabel("labMore", panBottom, 184, 8, tr("(More)")));
    // Where the heading's font is wider than the window was drawn for, the
    // link moves right rather than over the heading.
    labMore->move(std::max(labMore->x(), Label7->geometry().right() + 5), labMore->y());
    QLabel **products[] = {&Label8, &Label9, &Label10};
    const char *productNames[] = {"Label8", "Label9", "Label10"};
    for (int i = 0; i < 3; ++i) {
        const QString name = i < m_info.products.size() ? m_info.products[i].name : QString();
        *products[i] = link(makeLabel(productNames[i], panBottom, 16, 27 + 16 * i, name));
    }

    btnTech = makeButton("btnTech", panBottom, 16, 88, tr("Tech Support"));
    widenForTranslation(btnTech, "Tech Support");
    btnSales = makeButton("btnSales", panBottom, std::max(104, btnTech->geometry().right() + 9), 88, tr("Sales Support"));
    widenForTranslation(btnSales, "Sales Support");
    btnOK = makeButton("btnOK", panBottom, 408, 88, tr("&OK"));
    btnOK->setDefault(true);
    connect(btnTech, &QPushButton::clicked, this, &TAboutForm::btnTechClick);
    connect(btnSales, &QPushButton::clicked, this, &TAboutForm::btnSalesClick);
    connect(btnOK, &QPushButton::clicked, this, &TAboutForm::btnOKClick);
}

// A label that opens something when clicked: blue, with a hand pointer.
QLabel *TAboutForm::link(QLabel *label)
{
    label->setStyleSheet(QStringLiteral("QLabel { color: #0645ad; background: transparent; }"));
    label->setCursor(Qt::PointingHandCursor);
    label->installEventFilter(this);
    label->adjustSize();
    return label;
}

bool TAboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == labWebsite)
            labWebsiteClick();
        else if (watched == labMore)
            labMoreClick();
        else if (watched == Label8)
            Label8Click();
        else if (watched == Label9)
            Label9Click();
        else if (watched == Label10)
            Label10Click();
    }
    return QWidget::eventFilter(watched, event);
}

void TAboutForm::btnOKClick()
{
    close();
}

void TAboutForm::labWebsiteClick()
{
    m_shell.openAddress(labWebsite->text());
}

void TAboutForm::labMoreClick()
{
    m_shell.openAddress(m_info.website);
}

void TAboutForm::openProduct(int index)
{
    if (index < m_info.products.size())
        m_shell.openAddress(m_info.products[index].page);
}

void TAboutForm::Label8Click()
{
    openProduct(0);
}

void TAboutForm::Label9Click()
{
    openProduct(1);
}

void TAboutForm::Label10Click()
{
    openProduct(2);
}

void TAboutForm::btnTechClick()
{
    m_shell.openAddress(QStringLiteral("mailto:") + m_info.techMail);
}

void TAboutForm::btnSalesClick()
{
    m_shell.openAddress(QStringLiteral("mailto:") + m_info.salesMail);
}
