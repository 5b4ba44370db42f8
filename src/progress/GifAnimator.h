// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress/GifComposer.h"
#include "progress/GifPicture.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace stowmere::progress {

/// Shows a multi-frame GIF picture and, while Animate is on, steps through its
/// frames at each frame's own delay.
///
/// The frame timer is a QTimer on the user-interface thread: the backup run works
/// on its own thread, so the user-interface thread is free to turn the picture.
class GifAnimator : public QWidget {
    Q_OBJECT

public:
    explicit GifAnimator(QWidget* parent = nullptr);
    ~GifAnimator() override;

    /// Shortest and longest frame delay the timer uses, in milliseconds.
    static constexpr int MinFrameDelay = 50;
    static constexpr int MaxFrameDelay = 10000;

    const GifPicture& image() const { return *m_picture; }
    /// Replaces the picture: the cache is dropped and the first frame shown.
    void setImage(GifPicture picture);

    bool isAnimated() const { return m_animate; }
    void setAnimate(bool value);
    /// Kept for the window definition; frames are always advanced and painted on
    /// the user-interface thread here (see the class comment).
    bool asyncDrawing() const { return m_asyncDrawing; }
    void setAsyncDrawing(bool value) { m_asyncDrawing = value; }
    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool value);
    bool center() const { return m_center; }
    void setCenter(bool value);
    bool loop() const { return m_loop; }
    void setLoop(bool value) { m_loop = value; }
    bool stretch() const { return m_stretch; }
    void setStretch(bool value);
    bool isTransparent() const { return m_transparent; }
    void setTransparent(bool value);

    int frameIndex() const { return m_frameIndex; }
    /// Ignored when unchanged, negative or past the last frame.
    void setFrameIndex(int value);

    /// Delay before frame k is replaced: 0 (the timer idles) when k is out of range
    /// or the picture has fewer than 2 frames, else the frame's delay within
    /// MinFrameDelay .. MaxFrameDelay.
    int frameDelay(int k) const;

    /// Interval the frame timer sleeps next, and whether it is running.
    int timerInterval() const { return m_interval; }
    bool timerActive() const { return m_timer.isActive(); }

    /// The composed image of the current frame (as painted), for checks.
    const GifComposer& composer() const { return m_composer; }

    /// How well the frames kept their time since the animation last started: a frame is
    /// late by the time its step came after the previous step plus that frame's delay.
    /// Steps skipped while the picture was hidden start the count afresh.
    struct FrameTiming {
        int steps = 0; ///< frame steps timed
        qint64 worstLateMs = 0;
        qint64 totalLateMs = 0;
    };
    const FrameTiming& frameTiming() const { return m_frameTiming; }

signals:
    /// A new picture was set.
    void changed();
    /// Another frame is shown, by the timer or by setFrameIndex.
    void frameChanged();
    /// Animate was switched on / off.
    void started();
    void stopped();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();
    void onTimeout();
    void setTimerInterval(int ms);
    void scheduleTimer();
    void repaintNow();
    void timeStep();

    std::unique_ptr<GifPicture> m_picture;
    GifComposer m_composer;
    QTimer m_timer;
    int m_interval = 1000;
    bool m_timerEnabled = true;

    bool m_animate = false;
    bool m_asyncDrawing = false;
    bool m_autoSize = true;
    bool m_center = false;
    bool m_loop = true;
    bool m_stretch = false;
    bool m_transparent = true;
    int m_frameIndex = 0;
    bool m_drawing = false;

    QElapsedTimer m_lastStep; ///< invalid until a first step has been timed
    int m_dueInterval = 0;    ///< the delay the next step should come after
    FrameTiming m_frameTiming;
};

} // namespace stowmere::progress
