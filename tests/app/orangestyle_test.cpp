#include "app/orangestyle.h"
#include "windowfixture.h"

#include <QApplication>
#include <QDialog>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QToolTip>

namespace {

// Every named widget of a window with its place and size.
QMap<QString, QRect> Geometries(const QWidget &window)
{
    QMap<QString, QRect> result;
    result.insert(QStringLiteral("(window)"), QRect(QPoint(), window.size()));
    for (const QWidget *widget : window.findChildren<QWidget *>())
        if (!widget->objectName().isEmpty() && !widget->objectName().startsWith(QLatin1String("qt_")))
            result.insert(widget->objectName(), widget->geometry());
    return result;
}

// The window brought to its design size, with the layouts that this asks
// for carried out.
bool atDesignSize(QWidget &window)
{
    const QSize design(TMainForm::DesignWidth, TMainForm::DesignHeight);
    window.resize(design);
    if (!waitFor([&] { return window.size() == design; }))
        return false;
    QCoreApplication::sendPostedEvents();
    return true;
}

// Puts the application's look back as it was when the test ends.
class RestoreLook
{
public:
    RestoreLook()
        : m_style(QApplication::style()->name())
        , m_palette(QApplication::palette())
        , m_tips(QToolTip::palette())
    {
    }
    ~RestoreLook()
    {
        QApplication::setStyle(m_style);
        QApplication::setPalette(m_palette);
        QToolTip::setPalette(m_tips);
    }
    Q_DISABLE_COPY_MOVE(RestoreLook)

private:
    QString m_style;
    QPalette m_palette;
    QPalette m_tips;
};

} // namespace

TEST(ContrastRatioTest, FollowsTheWcagFormula)
{
    EXPECT_DOUBLE_EQ(ContrastRatio(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(ContrastRatio(Qt::white, Qt::black), 21.0);
    EXPECT_DOUBLE_EQ(ContrastRatio(QColor(0x80, 0x30, 0x10), QColor(0x80, 0x30, 0x10)), 1.0);
    // Known values: #777 on white just misses 4.5, #767676 just reaches it.
    EXPECT_NEAR(ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
    EXPECT_NEAR(ContrastRatio(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
    EXPECT_NEAR(ContrastRatio(QColor(0xFF, 0x00, 0x00), Qt::white), 4.0, 0.01);
}

TEST(OrangePaletteTest, TextIsReadableOnEveryBackgroundItStandsOn)
{
    const QPalette palette = OrangePalette();
    const struct
    {
        QPalette::ColorRole text;
        QPalette::ColorRole background;
    } pairs[] = {
        {QPalette::WindowText, QPalette::Window},     {QPalette::ButtonText, QPalette::Button},
        {QPalette::Text, QPalette::Base},             {QPalette::Text, QPalette::AlternateBase},
        {QPalette::HighlightedText, QPalette::Highlight}, {QPalette::ToolTipText, QPalette::ToolTipBase},
        {QPalette::PlaceholderText, QPalette::Base},  {QPalette::Link, QPalette::Base},
        {QPalette::LinkVisited, QPalette::Base},      {QPalette::Link, QPalette::Window},
        {QPalette::WindowText, QPalette::Button},
        // Section headings of the parameter grids: dark text on the Dark role.
        {QPalette::WindowText, QPalette::Dark},
    };
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        for (const auto &pair : pairs)
            EXPECT_GE(ContrastRatio(palette.color(group, pair.text), palette.color(group, pair.background)), 4.5)
                << "group " << group << " text role " << pair.text << " on role " << pair.background;
}

TEST(OrangePaletteTest, IsOrange)
{
    const QPalette palette = OrangePalette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Highlight}) {
        const QColor colour = palette.color(QPalette::Active, role);
        EXPECT_GE(colour.hslHue(), 15) << role;
        EXPECT_LE(colour.hslHue(), 40) << role;
        EXPECT_GT(colour.hslSaturation(), 100) << role;
    }
}

class OrangeStyleTest : public WindowTest
{
};

TEST_F(OrangeStyleTest, EveryWindowTakesItAndTheMainWindowKeepsItsLayout)
{
    RestoreLook restore;
    open();
    ASSERT_TRUE(atDesignSize(*window));
    const QMap<QString, QRect> plain = Geometries(*window);
    window.reset();

    ApplyOrangeStyle(*qApp);
    open();
    ASSERT_TRUE(atDesignSize(*window));
    const QMap<QString, QRect> orange = Geometries(*window);
    ASSERT_EQ(orange.keys(), plain.keys());
    for (auto it = plain.cbegin(); it != plain.cend(); ++it)
        EXPECT_EQ(orange.value(it.key()), it.value()) << it.key().toStdString();

    const QPalette expected = OrangePalette();
    EXPECT_EQ(window->palette().color(QPalette::Window), expected.color(QPalette::Window));
    auto *browse = child<QPushButton>("bbtnBrowser");
    EXPECT_EQ(browse->palette().color(QPalette::Button), expected.color(QPalette::Button));

    // Windows made later, message boxes included, are orange too.
    QMessageBox box(QMessageBox::Information, QStringLiteral("Complete"), QStringLiteral("Done."));
    EXPECT_EQ(box.palette().color(QPalette::Window), expected.color(QPalette::Window));
    QDialog dialog;
    EXPECT_EQ(dialog.palette().color(QPalette::WindowText), expected.color(QPalette::WindowText));
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), expected.color(QPalette::ToolTipBase));
    EXPECT_EQ(QApplication::style()->objectName(), QStringLiteral("OrangeStyle"));
}
