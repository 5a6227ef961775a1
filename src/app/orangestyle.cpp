#include "app/orangestyle.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

// Light and dark oranges; text on each of them stays readable (at least
// 4.5:1, checked by the tests).
const QColor Cream(0xFF, 0xF1, 0xE3);     // alternate rows, tips
const QColor Sand(0xFD, 0xE3, 0xC8);      // window background
const QColor Apricot(0xFB, 0xC4, 0x8C);   // bevel light
const QColor Orange(0xF7, 0xA0, 0x48);    // buttons
const QColor Copper(0xC0, 0x77, 0x3A);    // bevel dark, section headings
const QColor Rust(0xB3, 0x47, 0x00);      // selection
const QColor Umber(0x5A, 0x2C, 0x00);     // shadows
const QColor Ink(0x1F, 0x12, 0x00);       // text
const QColor Greyed(0x8A, 0x75, 0x60);    // disabled text
const QColor LinkBlue(0x06, 0x45, 0xAD);
const QColor LinkVisited(0x5A, 0x1F, 0x9E);

double channel(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &colour)
{
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

} // namespace

double ContrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette OrangePalette()
{
    QPalette palette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        palette.setColor(group, QPalette::Window, Sand);
        palette.setColor(group, QPalette::WindowText, disabled ? Greyed : Ink);
        palette.setColor(group, QPalette::Base, disabled ? Cream : Qt::white);
        palette.setColor(group, QPalette::AlternateBase, Cream);
        palette.setColor(group, QPalette::Text, disabled ? Greyed : Qt::black);
        palette.setColor(group, QPalette::PlaceholderText, QColor(0x6B, 0x54, 0x40));
        palette.setColor(group, QPalette::ToolTipBase, Cream);
        palette.setColor(group, QPalette::ToolTipText, Ink);
        palette.setColor(group, QPalette::Button, Orange);
        palette.setColor(group, QPalette::ButtonText, disabled ? QColor(0x6E, 0x4A, 0x28) : Ink);
        palette.setColor(group, QPalette::BrightText, Qt::white);
        palette.setColor(group, QPalette::Light, QColor(0xFF, 0xF7, 0xEE));
        palette.setColor(group, QPalette::Midlight, Apricot);
        palette.setColor(group, QPalette::Mid, QColor(0xD9, 0x8A, 0x3D));
        palette.setColor(group, QPalette::Dark, Copper);
        palette.setColor(group, QPalette::Shadow, Umber);
        palette.setColor(group, QPalette::Highlight, disabled ? Copper : Rust);
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::Link, LinkBlue);
        palette.setColor(group, QPalette::LinkVisited, LinkVisited);
    }
    return palette;
}

namespace {

// Fusion, which draws every control from the palette, with the orange
// palette as its own: a later change of style or platform theme falls back
// to orange, not to grey.
class OrangeStyle final : public QProxyStyle
{
public:
    OrangeStyle()
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
    {
        setObjectName(QStringLiteral("OrangeStyle"));
    }

    QPalette standardPalette() const override { return OrangePalette(); }
};

} // namespace

void ApplyOrangeStyle(QApplication &application)
{
    QApplication::setStyle(new OrangeStyle);
    application.setPalette(OrangePalette());
    QToolTip::setPalette(OrangePalette());
}
