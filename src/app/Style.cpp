// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Style.h"

#include "controls/GradButton.h"
#include "controls/GradCheckBox.h"
#include "controls/GradPanel.h"

#include <QFontMetrics>

#include <algorithm>

namespace stowmere::app::style {
namespace {

constexpr TColor kTitleFrom = 0xD08410;
constexpr TColor kTitleTo = 0xFFB871;
constexpr TColor kBarFrom = 0x009F00;
constexpr TColor kBarTo = 0x52C703;
constexpr TColor kSmallButtonFace = 0x49AB03;
constexpr TColor kCheckGreen = 0x008000;
constexpr TColor kCheckBoxFace = 0x00B000;
constexpr TColor kCheckBoxOverTo = 0xBE9476;

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
    colours.SetDefaultFrom(0xFFFFFF);
    colours.SetDefaultTo(0xD1BEAF);
    colours.SetOverFrom(0xFFFFFF);
    colours.SetOverTo(0xBE9476);
    colours.SetClickedFrom(0xC6CFD6);
    colours.SetClickedTo(0xEBF3F7);
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
