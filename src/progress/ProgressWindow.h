// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <atomic>

class QLabel;

namespace stowmere::controls {
class GradientButton;
} // namespace stowmere::controls

namespace stowmere::progress {

class BevelPanel;
class GifAnimator;
class CylinderProgressBar;

/// The small always-on-top window shown while a backup run copies: a headline,
/// the spinning busy picture, a cylinder bar over the checked items, the
/// "Files copied:" counter and a round Cancel button.
///
/// Created hidden once at start-up and reused for every run. All calls belong on
/// the user-interface thread; the run reaches them through the main window.
///
/// What a run does, in order:
/// - before it starts: prepareRun(number of checked items), then the cancel flag is cleared;
/// - after each file copied: fileCopied();
/// - after each checked item: itemDone(); when the cancel flag is set, finishRun();
/// - after the last item: waits 500 ms, then finishRun().
class ProgressWindow : public QWidget {
    Q_OBJECT

public:
    /// mainWindow is the window the progress window is centred over and stays with.
    explicit ProgressWindow(QWidget* mainWindow = nullptr);
    ~ProgressWindow() override;

    /// The flag that Cancel sets; owned by the main window, read by the run.
    void setCancelFlag(std::atomic<bool>* flag) { m_cancelFlag = flag; }

    // --- The run's interface -------------------------------------------------

    /// Headline "Backup in Progress...", counter "0", bar maximum := itemCount,
    /// window shown centred over the main window, pending events processed.
    void prepareRun(int itemCount);
    /// The bar moves one item on.
    void itemDone();
    /// The "Files copied:" counter goes up by one.
    void fileCopied();
    /// Closes (hides) the window and puts the bar back to 0.
    void finishRun();

    void setHeadline(const QString& text);
    QString headline() const;
    /// The caption before the counter, "Files copied:" after prepareRun; another command
    /// than a backup counts something else.
    void setCounterCaption(const QString& text);
    /// The counter label, read back as a number.
    qint64 filesCopied() const;
    void setFilesCopied(qint64 count);
    void setBarMax(int value);
    int barMax() const;
    void setBarPosition(int value);
    int barPosition() const;
    /// Shows the window (modeless) centred over the main window.
    void showOverMainWindow();

    /// The Cancel button's handler: headline "Finalizing...", cancel flag set,
    /// pending events processed. The window stays open until the run closes it.
    void cancelRun();

    // --- Components ----------------------------------------------------------

    BevelPanel* framePanel() const { return m_framePanel; }
    QLabel* headlineLabel() const { return m_headlineLabel; }
    GifAnimator* busyAnimation() const { return m_busyAnimation; }
    stowmere::controls::GradientButton* cancelButton() const { return m_cancelButton; }
    CylinderProgressBar* progressBar() const { return m_progressBar; }
    QLabel* counterCaption() const { return m_counterCaption; }
    QLabel* counterLabel() const { return m_counterLabel; }

signals:
    /// Emitted by cancelRun after the flag is set, for callers that want to
    /// react at once rather than poll the flag.
    void cancelRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setUpBar();
    void setUpCancelButton();
    /// Places the counter's caption and number side by side for the caption's length.
    void placeCounter();
    void centreOverMainWindow();

    std::atomic<bool>* m_cancelFlag = nullptr;
    BevelPanel* m_framePanel = nullptr;
    QLabel* m_headlineLabel = nullptr;
    GifAnimator* m_busyAnimation = nullptr;
    stowmere::controls::GradientButton* m_cancelButton = nullptr;
    CylinderProgressBar* m_progressBar = nullptr;
    QLabel* m_counterCaption = nullptr;
    QLabel* m_counterLabel = nullptr;
};

} // namespace stowmere::progress
