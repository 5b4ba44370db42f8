// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/ProgressWindow.h"

#include "controls/GradientButton.h"
#include "progress/BevelPanel.h"
#include "progress/CylinderProgressBar.h"
#include "progress/GifAnimator.h"
#include "progress/GifError.h"
#include "progress/ProgressResources.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

using stowmere::controls::ButtonLayout;
using stowmere::controls::Color;
using stowmere::controls::ControlColors;
using stowmere::controls::GradientButton;
using stowmere::controls::GradientControl;
using stowmere::controls::toQColor;
namespace colors = stowmere::controls::colors;
using stowmere::controls::FadeSpeed;
using stowmere::controls::GradientType;

namespace stowmere::progress {

namespace {

// Translated where they are shown: the translators are installed after static initialisation.
const char* const InProgressText = QT_TRANSLATE_NOOP("ProgressWindow", "Backup in Progress...");
const char* const FinalizingText = QT_TRANSLATE_NOOP("ProgressWindow", "Finalizing...");
const char* const CounterText = QT_TRANSLATE_NOOP("ProgressWindow", "Files copied:");

// "MS Sans Serif" is the desktop's default sans font here; sizes are pixel heights.
QFont sansFont(int pixels, bool bold)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QFont arialFont(int pixels, bool bold, bool italic)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

} // namespace

ProgressWindow::ProgressWindow(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                              Qt::MSWindowsFixedSizeDialogHint)
{
    resources::init();
    setObjectName(QStringLiteral("progressWindow"));
    setWindowTitle(tr("Progress"));
    setFixedSize(290, 198);
    setFont(sansFont(11, false));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    m_framePanel = new BevelPanel(this);
    m_framePanel->setObjectName(QStringLiteral("framePanel"));
    m_framePanel->setGeometry(0, 0, 290, 198);
    m_framePanel->setColor(colors::White);
    m_framePanel->setBevelWidth(2);
    m_framePanel->setBorderWidth(1);

    const QColor windowText = toQColor(colors::WindowText);

    m_headlineLabel = new QLabel(tr(InProgressText), m_framePanel);
    m_headlineLabel->setObjectName(QStringLiteral("headlineLabel"));
    m_headlineLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_headlineLabel->setFont(arialFont(21, true, true));
    setTextColour(m_headlineLabel, Qt::black);
    m_framePanel->place(m_headlineLabel, 8, 16, 270, 24);

    m_busyAnimation = new GifAnimator(m_framePanel);
    m_busyAnimation->setObjectName(QStringLiteral("busyAnimation"));
    m_framePanel->place(m_busyAnimation, 120, 64, 32, 32);
    m_busyAnimation->setAsyncDrawing(true);
    // The stored frame index is applied before the picture is there, so it has no
    // effect and the animation starts at frame 0.
    m_busyAnimation->setFrameIndex(1);
    try {
        m_busyAnimation->setImage(GifPicture::load(resources::busyPicture()));
    } catch (const GifError& e) {
        // The picture is built into the program; without it the window still works.
        qWarning("%s", e.what());
    }
    m_busyAnimation->setAnimate(true);

    m_cancelButton = new GradientButton(m_framePanel);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_framePanel->place(m_cancelButton, 219, 64, 41, 41);
    setUpCancelButton();

    m_progressBar = new CylinderProgressBar(m_framePanel);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_framePanel->place(m_progressBar, 19, 120, 246, 41);
    setUpBar();

    m_counterCaption = new QLabel(tr(CounterText), m_framePanel);
    m_counterCaption->setObjectName(QStringLiteral("counterCaption"));
    m_counterCaption->setFont(sansFont(11, true));
    setTextColour(m_counterCaption, windowText);
    m_framePanel->place(m_counterCaption, 104, 168, 73, 13);

    m_counterLabel = new QLabel(QStringLiteral("0"), m_framePanel);
    m_counterLabel->setObjectName(QStringLiteral("counterLabel"));
    m_counterLabel->setFont(sansFont(11, false));
    setTextColour(m_counterLabel, windowText);
    m_framePanel->place(m_counterLabel, 184, 168, 6, 13);
    placeCounter();

    // Only the Cancel button takes the keyboard focus.
    for (QWidget* w : {static_cast<QWidget*>(m_headlineLabel), static_cast<QWidget*>(m_counterCaption),
                       static_cast<QWidget*>(m_counterLabel), static_cast<QWidget*>(m_progressBar),
                       static_cast<QWidget*>(m_busyAnimation), static_cast<QWidget*>(m_framePanel)})
        w->setFocusPolicy(Qt::NoFocus);
    m_cancelButton->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_cancelButton);
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::setUpBar()
{
    CylinderProgressBar& bar = *m_progressBar;
    const CylinderStyleValues style{255, 4.0f, -1.0f, 255, 255, 1.0f, -3.0f};
    bar.setBackColor(colors::rgb(192, 192, 192));
    bar.setBackBorderColor(colors::Black);
    bar.setBackStyle(style);
    bar.setForeStyle(style);
    bar.setBevelColor(colors::White);
    bar.setBevelInner(BevelCut::None);
    bar.setBevelOuter(BevelCut::None);
    bar.setBevelWidth(1);
    bar.setBorderWidth(2);
    bar.setColor(colors::White);
    bar.setCylinderEffect(CylinderEffect::Maximum);
    bar.setFont(arialFont(12, true, false));
    bar.setFontColor(colors::Black);
    bar.setFontEffect(FontEffect::None);
    bar.setFontOrientation(FontOrientation::LeftToRight);
    bar.setFontShadowColor(colors::Black);
    bar.setForeColor(colors::rgb(255, 128, 0));
    bar.setForeLineColor(colors::rgb(128, 0, 0));
    bar.setMin(0);
    bar.setMax(100);
    bar.setPosition(0);
    bar.setStep(1);
    bar.setOrientation(BarOrientation::Horizontal);
    bar.setProEffect(ProEffect::Custom);
    bar.setShowText(true);
    bar.setText(QStringLiteral("%"));
    bar.setTextDone(tr("Backup Complete"));
    bar.setStopAtMax(true);
}

void ProgressWindow::setUpCancelButton()
{
    GradientButton& b = *m_cancelButton;
    b.setToolTip(tr("Stop Backup"));
    b.setColor(colors::White);
    b.setFont(sansFont(11, false));
    b.setFontColor(colors::Black);
    b.setShowCaption(true);
    b.setCaption(QString());
    b.setGlyph(QImage(resources::cancelGlyph()));
    b.setSpacing(15);
    b.setButtonLayout(ButtonLayout::GlyphLeft);
    ControlColors c;
    c.setDefaultFrom(colors::White);
    c.setDefaultTo(Color::rgb(175, 190, 209));
    c.setOverFrom(colors::White);
    c.setOverTo(Color::rgb(118, 148, 190));
    c.setClickedFrom(Color::rgb(214, 207, 198));
    c.setClickedTo(Color::rgb(247, 243, 235));
    c.setHotTrack(Color::rgb(0, 0, 255));
    c.setBorderColor(Color::rgb(128, 128, 128));
    c.setTextShadow(colors::White);
    b.setColors(c);
    b.setFadeSpeed(FadeSpeed::Medium);
    b.setGradientType(GradientType::Vertical);
    // The only control of the window: its dotted frame shows where the keyboard is.
    b.setShowFocusRect(true);
    b.setHotTrack(false);
    b.setGradientBorder(false);
    b.setTextShadow(false);
    b.setAllowAllUp(false);
    b.setDown(false);
    b.setGroupIndex(0);
    b.setModalResult(0);
    b.setCancel(true);
    connect(&b, &GradientControl::clicked, this, &ProgressWindow::cancelRun);
}

void ProgressWindow::cancelRun()
{
    m_headlineLabel->setText(tr(FinalizingText));
    if (m_cancelFlag)
        m_cancelFlag->store(true);
    emit cancelRequested();
    QCoreApplication::processEvents();
}

void ProgressWindow::prepareRun(int itemCount)
{
    setHeadline(tr(InProgressText));
    m_counterCaption->setText(tr(CounterText));
    placeCounter();
    setFilesCopied(0);
    setBarMax(itemCount);
    showOverMainWindow();
    QCoreApplication::processEvents();
}

void ProgressWindow::itemDone()
{
    m_progressBar->setPosition(m_progressBar->position() + 1);
}

void ProgressWindow::fileCopied()
{
    setFilesCopied(filesCopied() + 1);
}

void ProgressWindow::finishRun()
{
    const bool hadKeyboard = isActiveWindow();
    close();
    m_progressBar->setPosition(0);
    // The keyboard goes back to the window the run was started from.
    if (hadKeyboard && parentWidget() != nullptr && parentWidget()->window()->isVisible())
        parentWidget()->window()->activateWindow();
}

void ProgressWindow::setCounterCaption(const QString& text)
{
    m_counterCaption->setText(text);
    placeCounter();
}

void ProgressWindow::placeCounter()
{
    // The caption at 104 and the number at 184 as designed; a longer caption (another
    // language) keeps the number beside it, moving both left while room for the number
    // runs short.
    constexpr int kCaptionLeft = 104;
    constexpr int kNumberLeft = 184;
    constexpr int kGap = 7;
    constexpr int kNumberRoom = 56; // seven digits
    constexpr int kRightEnd = 290 - 2 * BevelPanel::EdgeWidth - 8;
    m_counterCaption->adjustSize();
    const int captionWidth = m_counterCaption->width();
    const int captionLeft =
        std::max(8, std::min(kCaptionLeft, kRightEnd - kNumberRoom - kGap - captionWidth));
    const int numberLeft = std::max(kNumberLeft, captionLeft + captionWidth + kGap);
    m_framePanel->place(m_counterCaption, captionLeft, 168, captionWidth, m_counterCaption->height());
    m_framePanel->place(m_counterLabel, numberLeft, 168, m_counterLabel->width(), m_counterLabel->height());
}

void ProgressWindow::setHeadline(const QString& text)
{
    m_headlineLabel->setText(text);
}

QString ProgressWindow::headline() const
{
    return m_headlineLabel->text();
}

qint64 ProgressWindow::filesCopied() const
{
    // The label is the counter; it only ever holds digits written here.
    bool ok = false;
    const qint64 count = m_counterLabel->text().toLongLong(&ok);
    return ok ? count : 0;
}

void ProgressWindow::setFilesCopied(qint64 count)
{
    m_counterLabel->setText(QString::number(count));
    m_counterLabel->adjustSize();
}

void ProgressWindow::setBarMax(int value)
{
    m_progressBar->setMax(value);
}

int ProgressWindow::barMax() const
{
    return m_progressBar->maximum();
}

void ProgressWindow::setBarPosition(int value)
{
    m_progressBar->setPosition(value);
}

int ProgressWindow::barPosition() const
{
    return m_progressBar->position();
}

void ProgressWindow::showOverMainWindow()
{
    centreOverMainWindow();
    show();
    // The keyboard goes to Cancel: Space or Escape stop the run without a mouse.
    activateWindow();
}

void ProgressWindow::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        centreOverMainWindow();
    QWidget::showEvent(event);
}

void ProgressWindow::centreOverMainWindow()
{
    QRect over;
    if (parentWidget())
        over = parentWidget()->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    if (over.isEmpty())
        return;
    const QRect frame = frameGeometry();
    move(over.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

} // namespace stowmere::progress
