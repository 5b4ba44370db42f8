// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Style.h"

#include "controls/TGradButton.h"
#include "controls/TGradCheckBox.h"
#include "controls/TGradPanel.h"

#include <QFontMetrics>

#include <algorithm>

namespace stowmere::app::style {
namespace {

constexpr TColor kTitleFrom = TColor::rgb(16, 132, 208);
constexpr TColor kTitleTo = TColor::rgb(113, 184, 255);
constexpr TColor kBarFrom = TColor::rgb(0, 159, 0);
constexpr TColor kBarTo = TColor::rgb(3, 199, 82);
constexpr TColor kSmallButtonFace = TColor::rgb(3, 171, 73);
constexpr TColor kCheckGreen = TColor::rgb(0, 128, 0);
constexpr TColor kCheckBoxFace = TColor::rgb(0, 176, 0);
constexpr TColor kCheckBoxOverTo = TColor::rgb(118, 148, 190);

} // namespace

QFont sansFont(int pixelHeight, bool bold)
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

QFont arialFont(int pixelHeight, bool bold)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

void applyButtonColours(TGradButton& button, bool large)
{
    TGradControlColors colours;
    colours.SetDefaultFrom(TColor::rgb(255, 255, 255));
    colours.SetDefaultTo(TColor::rgb(175, 190, 209));
    colours.SetOverFrom(TColor::rgb(255, 255, 255));
    colours.SetOverTo(TColor::rgb(118, 148, 190));
    colours.SetClickedFrom(TColor::rgb(214, 207, 198));
    colours.SetClickedTo(TColor::rgb(247, 243, 235));
    colours.SetBorderColor(clGray);
    button.SetColors(colours);
    button.SetFadeSpeed(fsMedium);
    button.SetGradientType(gtVertical);
    button.SetShowFocusRect(false);
    button.SetHotTrack(false);
    // A pressed button shows the clicked gradient over its whole face, and the black
    // captions carry no white halo.
    button.SetGradientBorder(false);
    button.SetTextShadow(false);
    button.SetColor(large ? clWhite : kSmallButtonFace);
}

TGradButton* makeButton(QWidget* parent, const QString& caption, const QImage& glyph, int spacing, bool large)
{
    auto* button = new TGradButton(parent);
    button->setFont(sansFont(11));
    button->SetCaption(caption);
    if (!glyph.isNull())
        button->SetGlyph(glyph);
    button->SetLayout(blGlyphLeft);
    button->SetSpacing(spacing);
    applyButtonColours(*button, large);
    return button;
}

void styleTitlePanel(TGradPanel& panel, const QString& caption)
{
    panel.SetAntialiased(false);
    panel.SetGradient(true);
    panel.SetGradientType(gtDoubleVert);
    panel.SetDefaultFrom(kTitleFrom);
    panel.SetDefaultTo(kTitleTo);
    panel.SetBorderWidth(1);
    panel.SetBorderColor(clGray);
    panel.SetCornerWidth(0);
    panel.setFont(arialFont(29, true));
    panel.SetFontColor(clWhite);
    panel.SetTextShadow(false);
    panel.SetCaptionPosition(cpMiddleCenter);
    panel.SetCaption(caption);
}

void styleButtonBar(TGradPanel& panel)
{
    panel.SetAntialiased(false);
    panel.SetGradient(true);
    panel.SetGradientType(gtDoubleVert);
    panel.SetDefaultFrom(kBarFrom);
    panel.SetDefaultTo(kBarTo);
    panel.SetBorderWidth(1);
    panel.SetBorderColor(clGray);
    panel.SetCornerWidth(0);
}

void styleWhitePanel(TGradPanel& panel, int borderWidth)
{
    panel.SetAntialiased(true);
    panel.SetColor(clWhite);
    panel.SetDefaultFrom(clWhite);
    panel.SetDefaultTo(clWhite);
    panel.SetBorderWidth(borderWidth);
    panel.SetBorderColor(clSilver);
    panel.SetOuterColor(clSilver);
    panel.SetCornerWidth(0);
}

void styleRoundedPanel(TGradPanel& panel)
{
    panel.SetColor(clWhite);
    panel.SetDefaultFrom(clWhite);
    panel.SetDefaultTo(clWhite);
    panel.SetCornerWidth(25);
    panel.SetBorderWidth(3);
    panel.SetBorderColor(clSilver);
    panel.SetOuterColor(clSilver);
    panel.SetAntialiased(true);
}

void styleBarCheckBox(TGradCheckBox& box, const QString& caption)
{
    box.setFont(sansFont(11));
    box.SetColor(kCheckBoxFace);
    box.SetCaption(caption);
    box.SetFontColor(clWhite);
    // A plain white box, blue only while the pointer is over it.
    TGradControlColors colours;
    colours.SetDefaultFrom(clWhite);
    colours.SetDefaultTo(clWhite);
    colours.SetOverFrom(clWhite);
    colours.SetOverTo(kCheckBoxOverTo);
    box.SetColors(colours);
    box.SetSpacing(3);
    box.SetCheckColor(kCheckGreen);
    box.SetGradientBorder(true);
    box.SetHotTrack(false);
    box.SetShowFocusRect(false);
    box.SetTextShadow(false);
    box.SetBorderLinesColor(clGray);
    box.SetFadeSpeed(fsMedium);
    box.SetChecked(false);
}

int checkBoxWidth(const TGradCheckBox& box, int designedWidth)
{
    constexpr int kBoxAndMargins = 13 + 8;
    const int needed =
        kBoxAndMargins + box.Spacing() + QFontMetrics(box.font()).horizontalAdvance(box.Caption());
    return std::max(designedWidth, needed);
}

} // namespace stowmere::app::style
