// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Style.h"

#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "controls/GradientPanel.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QVBoxLayout>

#include <algorithm>

namespace stowmere::app::style {
namespace {

constexpr controls::Color kTitleFrom = controls::Color::rgb(16, 132, 208);
constexpr controls::Color kTitleTo = controls::Color::rgb(113, 184, 255);
constexpr controls::Color kBarFrom = controls::Color::rgb(0, 159, 0);
constexpr controls::Color kBarTo = controls::Color::rgb(3, 199, 82);
constexpr controls::Color kSmallButtonFace = controls::Color::rgb(3, 171, 73);
constexpr controls::Color kCheckGreen = controls::Color::rgb(0, 128, 0);
constexpr controls::Color kCheckBoxFace = controls::Color::rgb(0, 176, 0);
constexpr controls::Color kCheckBoxOverTo = controls::Color::rgb(118, 148, 190);

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

void applyButtonColours(controls::GradientButton& button, bool large)
{
    controls::ControlColors colours;
    colours.setDefaultFrom(controls::Color::rgb(255, 255, 255));
    colours.setDefaultTo(controls::Color::rgb(175, 190, 209));
    colours.setOverFrom(controls::Color::rgb(255, 255, 255));
    colours.setOverTo(controls::Color::rgb(118, 148, 190));
    colours.setClickedFrom(controls::Color::rgb(214, 207, 198));
    colours.setClickedTo(controls::Color::rgb(247, 243, 235));
    colours.setBorderColor(controls::colors::Gray);
    button.setColors(colours);
    button.setFadeSpeed(controls::FadeSpeed::Medium);
    button.setGradientType(controls::GradientType::Vertical);
    // The dotted frame shows which button the keyboard is on.
    button.setShowFocusRect(true);
    button.setHotTrack(false);
    // A pressed button shows the clicked gradient over its whole face, and the black
    // captions carry no white halo.
    button.setGradientBorder(false);
    button.setTextShadow(false);
    button.setColor(large ? controls::colors::White : kSmallButtonFace);
}

controls::GradientButton* makeButton(QWidget* parent, const QString& caption, const QImage& glyph,
                                     int spacing, bool large)
{
    auto* button = new controls::GradientButton(parent);
    button->setFont(sansFont(11));
    button->setCaption(caption);
    if (!glyph.isNull())
        button->setGlyph(glyph);
    button->setButtonLayout(controls::ButtonLayout::GlyphLeft);
    button->setSpacing(spacing);
    applyButtonColours(*button, large);
    return button;
}

void styleTitlePanel(controls::GradientPanel& panel, const QString& caption)
{
    // Panels only frame other controls: none of them is a Tab stop.
    panel.setFocusPolicy(Qt::NoFocus);
    panel.setAntialiased(false);
    panel.setGradient(true);
    panel.setGradientType(controls::GradientType::DoubleVertical);
    panel.setDefaultFrom(kTitleFrom);
    panel.setDefaultTo(kTitleTo);
    panel.setBorderWidth(1);
    panel.setBorderColor(controls::colors::Gray);
    panel.setCornerWidth(0);
    panel.setFont(arialFont(29, true));
    panel.setFontColor(controls::colors::White);
    panel.setTextShadow(false);
    panel.setCaptionPosition(controls::CaptionPosition::MiddleCenter);
    panel.setCaption(caption);
}

void styleButtonBar(controls::GradientPanel& panel)
{
    panel.setFocusPolicy(Qt::NoFocus);
    panel.setAntialiased(false);
    panel.setGradient(true);
    panel.setGradientType(controls::GradientType::DoubleVertical);
    panel.setDefaultFrom(kBarFrom);
    panel.setDefaultTo(kBarTo);
    panel.setBorderWidth(1);
    panel.setBorderColor(controls::colors::Gray);
    panel.setCornerWidth(0);
}

void styleWhitePanel(controls::GradientPanel& panel, int borderWidth)
{
    panel.setFocusPolicy(Qt::NoFocus);
    panel.setAntialiased(true);
    panel.setColor(controls::colors::White);
    panel.setDefaultFrom(controls::colors::White);
    panel.setDefaultTo(controls::colors::White);
    panel.setBorderWidth(borderWidth);
    panel.setBorderColor(controls::colors::Silver);
    panel.setOuterColor(controls::colors::Silver);
    panel.setCornerWidth(0);
}

void styleRoundedPanel(controls::GradientPanel& panel)
{
    panel.setFocusPolicy(Qt::NoFocus);
    panel.setColor(controls::colors::White);
    panel.setDefaultFrom(controls::colors::White);
    panel.setDefaultTo(controls::colors::White);
    panel.setCornerWidth(25);
    panel.setBorderWidth(3);
    panel.setBorderColor(controls::colors::Silver);
    panel.setOuterColor(controls::colors::Silver);
    panel.setAntialiased(true);
}

DialogFrame frameDialog(QWidget& dialog, const QString& caption)
{
    auto* outer = new QVBoxLayout(&dialog);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* title = new controls::GradientPanel(&dialog);
    title->setObjectName(QStringLiteral("dialogTitle"));
    title->setFixedHeight(36);
    styleTitlePanel(*title, caption);
    title->setFont(arialFont(20, true));
    // Neither bar takes the keyboard: the dialog's first field has it when it opens.
    title->setFocusPolicy(Qt::NoFocus);
    outer->addWidget(title);
    DialogFrame frame;
    frame.content = new QVBoxLayout;
    frame.content->setContentsMargins(11, 11, 11, 11);
    outer->addLayout(frame.content, 1);
    auto* bar = new controls::GradientPanel(&dialog);
    bar->setObjectName(QStringLiteral("dialogButtonBar"));
    bar->setFixedHeight(45);
    styleButtonBar(*bar);
    bar->setFocusPolicy(Qt::NoFocus);
    frame.buttons = new QHBoxLayout(bar);
    frame.buttons->setContentsMargins(8, 10, 8, 10);
    frame.buttons->addStretch(1);
    outer->addWidget(bar);
    return frame;
}

controls::GradientButton* makeBarButton(QWidget* parent, const QString& caption)
{
    controls::GradientButton* button = makeButton(parent, caption, QImage(), 2, false);
    button->setFixedSize(
        std::max(
            75,
            QFontMetrics(button->font()).size(Qt::TextShowMnemonic | Qt::TextSingleLine, caption).width() +
                24),
        25);
    return button;
}

void styleBarCheckBox(controls::GradientCheckBox& box, const QString& caption)
{
    box.setFont(sansFont(11));
    box.setColor(kCheckBoxFace);
    box.setCaption(caption);
    box.setFontColor(controls::colors::White);
    // A plain white box, blue only while the pointer is over it.
    controls::ControlColors colours;
    colours.setDefaultFrom(controls::colors::White);
    colours.setDefaultTo(controls::colors::White);
    colours.setOverFrom(controls::colors::White);
    colours.setOverTo(kCheckBoxOverTo);
    box.setColors(colours);
    box.setSpacing(3);
    box.setCheckColor(kCheckGreen);
    box.setGradientBorder(true);
    box.setHotTrack(false);
    box.setShowFocusRect(true);
    box.setTextShadow(false);
    box.setBorderLinesColor(controls::colors::Gray);
    box.setFadeSpeed(controls::FadeSpeed::Medium);
    box.setChecked(false);
}

int buttonWidth(const controls::GradientButton& button, int designedWidth)
{
    constexpr int kMargins = 2 * 8;
    const int glyph = button.glyph().isNull() ? 0 : button.glyph().width() + button.spacing();
    const int caption =
        QFontMetrics(button.font()).size(Qt::TextShowMnemonic | Qt::TextSingleLine, button.caption()).width();
    return std::max(designedWidth, kMargins + glyph + caption);
}

void holdHeaderTitles(QHeaderView& header)
{
    int widest = header.minimumSectionSize();
    for (int section = 0; section < header.count(); ++section)
        widest = std::max(widest, header.sectionSizeHint(section));
    header.setMinimumSectionSize(widest);
}

int checkBoxWidth(const controls::GradientCheckBox& box, int designedWidth)
{
    constexpr int kBoxAndMargins = 13 + 8;
    const int needed =
        kBoxAndMargins + box.spacing() +
        QFontMetrics(box.font()).size(Qt::TextShowMnemonic | Qt::TextSingleLine, box.caption()).width();
    return std::max(designedWidth, needed);
}

} // namespace stowmere::app::style
