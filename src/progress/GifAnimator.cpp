// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/GifAnimator.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <exception>

namespace stowmere::progress {

GifAnimator::GifAnimator(QWidget* parent) : QWidget(parent), m_picture(std::make_unique<GifPicture>())
{
    // Sleep, tick, sleep again: a single-shot timer rearmed after each tick lets a
    // changed interval take effect from the next sleep without cutting this one short.
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &GifAnimator::onTimeout);
}

GifAnimator::~GifAnimator()
{
    m_timer.stop();
}

int GifAnimator::frameDelay(int k) const
{
    const int count = m_picture->frameCount();
    if (k < 0 || k >= count || count < 2)
        return 0;
    return std::clamp(m_picture->frame(k).delayMs, MinFrameDelay, MaxFrameDelay);
}

void GifAnimator::setTimerInterval(int ms)
{
    m_interval = ms;
    scheduleTimer();
}

void GifAnimator::scheduleTimer()
{
    // The timer idles while its interval is 0, it is disabled or it has no tick to run.
    const bool run = m_timerEnabled && m_animate && m_interval > 0;
    if (!run) {
        m_timer.stop();
        return;
    }
    if (!m_timer.isActive())
        m_timer.start(m_interval);
}

void GifAnimator::onTimeout()
{
    try {
        tick();
    } catch (const std::exception& e) {
        // A failed frame must not stop the picture; the error is reported and the timer goes on.
        qWarning("Busy picture: %s", e.what());
    }
    scheduleTimer();
}

void GifAnimator::tick()
{
    if (m_drawing || !isVisible() || m_picture->frameCount() < 2 || !parentWidget()) {
        m_lastStep.invalidate();
        return;
    }
    timeStep();
    m_frameIndex = m_frameIndex + 1 >= m_picture->frameCount() ? 0 : m_frameIndex + 1;
    m_drawing = true;
    emit frameChanged();
    repaint();
    m_drawing = false;
    if (m_frameIndex >= 0 && m_frameIndex < m_picture->frameCount())
        m_interval = frameDelay(m_frameIndex);
    m_dueInterval = m_interval;
    if (!m_loop && m_frameIndex == 0)
        setAnimate(false);
}

void GifAnimator::timeStep()
{
    // Timed from step to step on a monotonic clock, so the figure holds whatever kept the
    // user-interface thread from turning the picture: a long handler, a slow paint.
    if (m_lastStep.isValid()) {
        const qint64 late = std::max<qint64>(0, m_lastStep.elapsed() - m_dueInterval);
        ++m_frameTiming.steps;
        m_frameTiming.worstLateMs = std::max(m_frameTiming.worstLateMs, late);
        m_frameTiming.totalLateMs += late;
    }
    m_lastStep.start();
}

void GifAnimator::setImage(GifPicture picture)
{
    *m_picture = std::move(picture);
    m_composer.reset();
    m_frameIndex = m_picture->currentFrame();
    if (!m_picture->isEmpty())
        setTimerInterval(frameDelay(m_frameIndex));
    if (m_autoSize && !m_picture->isEmpty())
        resize(m_picture->width(), m_picture->height());
    update();
    emit changed();
}

void GifAnimator::setAnimate(bool value)
{
    if (value == m_animate)
        return;
    if (value) {
        m_frameTiming = {};
        m_lastStep.start();
        m_dueInterval = m_interval;
        m_animate = true;
        m_timerEnabled = true;
        m_animate = m_timerEnabled;
        scheduleTimer();
        emit started();
    } else {
        m_animate = false;
        m_timer.stop();
        emit stopped();
        update();
    }
}

void GifAnimator::setAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    if (m_autoSize && !m_picture->isEmpty())
        resize(m_picture->width(), m_picture->height());
}

void GifAnimator::repaintNow()
{
    if (m_animate)
        repaint();
    else
        update();
}

void GifAnimator::setCenter(bool value)
{
    if (value == m_center)
        return;
    m_center = value;
    repaintNow();
}

void GifAnimator::setStretch(bool value)
{
    if (value == m_stretch)
        return;
    m_stretch = value;
    repaintNow();
}

void GifAnimator::setTransparent(bool value)
{
    if (value == m_transparent)
        return;
    m_transparent = value;
    // The transparent mark belongs to a freshly built image, so rebuild it.
    m_composer.reset();
    repaintNow();
}

void GifAnimator::setFrameIndex(int value)
{
    if (value == m_frameIndex || value < 0 || value >= m_picture->frameCount())
        return;
    m_frameIndex = value;
    setTimerInterval(frameDelay(value));
    emit frameChanged();
    update();
}

void GifAnimator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool seeThrough = m_picture->isEmpty() || m_picture->countsAsTransparent();
    // A see-through picture leaves the control unfilled: Qt has already painted the
    // parent and the controls beneath it there.
    if (!seeThrough && parentWidget())
        painter.fillRect(rect(), parentWidget()->palette().color(parentWidget()->backgroundRole()));
    if (m_picture->isEmpty() || m_picture->width() < 1 || m_picture->height() < 1)
        return;

    m_composer.compose(*m_picture, m_frameIndex, m_transparent);
    const QImage image = m_composer.displayImage();
    QRect target(QPoint(0, 0), image.size());
    if (m_stretch)
        target = rect();
    else if (m_center)
        target.moveTopLeft(QPoint((width() - image.width()) / 2, (height() - image.height()) / 2));
    painter.drawImage(target, image);
}

} // namespace stowmere::progress
