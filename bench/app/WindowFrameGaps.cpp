// SPDX-License-Identifier: GPL-3.0-or-later
//
// window-frame-gaps DATA_FOLDER: opens the window on a data folder whose first backup set
// is ready, checks all of its items, clicks "Backup" and waits for the run to end, then
// prints how late the progress window's busy picture turned its frames during the run,
// from the picture's own step timestamps:
//
//   steps 812 worst_late_ms 23 mean_late_ms 1.4 seconds 84.2
//
// Every question is answered yes and every box closed at once; their texts go to standard
// error. Exit status 1 when the window could not run the backup or the run showed an error.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/SetEditorDialog.h"
#include "app/StowmereApplication.h"
#include "progress/GifAnimator.h"
#include "progress/ProgressWindow.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace {

using namespace stowmere;

/// Answers every question yes at once, as a user who wants the backup to go on would.
class AnsweringDialogs : public app::Dialogs {
public:
    bool message(app::MessageKind kind, const QString& text) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title(kind)), qPrintable(text));
        if (kind == app::MessageKind::Error || kind == app::MessageKind::Application)
            failed = true;
        return true;
    }
    std::optional<QString> browseFolder(const QString&) override { return std::nullopt; }
    QStringList openFiles() override { return {}; }

    bool failed = false;
};

QWidget* child(QWidget& parent, const char* name)
{
    auto* widget = parent.findChild<QWidget*>(QString::fromLatin1(name));
    if (!widget)
        std::fprintf(stderr, "window-frame-gaps: the window has no %s\n", name);
    return widget;
}

void click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: window-frame-gaps DATA_FOLDER\n");
        return 2;
    }
    AnsweringDialogs dialogs;
    app::StowmereApplication application(argc, argv, dialogs);
    app::MainWindow window(dialogs, argv[1]);
    auto* editor = new app::SetEditorDialog(dialogs, window.catalog(), &window);
    auto* progress = new progress::ProgressWindow(&window);
    window.setEditor(editor);
    window.setProgress(progress);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    auto* selectAll = child(window, "selectAllBox");
    auto* backup = child(window, "backupButton");
    if (!selectAll || !backup || !window.currentSet())
        return 1;
    click(selectAll);

    QEventLoop loop;
    QObject::connect(&window, &app::MainWindow::backupFinished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    click(backup);
    if (window.backupRunning())
        loop.exec();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;

    const progress::GifAnimator::FrameTiming timing = progress->busyAnimation()->frameTiming();
    const double meanLate = timing.steps > 0 ? static_cast<double>(timing.totalLateMs) / timing.steps : 0.0;
    std::printf("steps %d worst_late_ms %lld mean_late_ms %.1f seconds %.1f\n", timing.steps,
                static_cast<long long>(timing.worstLateMs), meanLate, seconds);
    return dialogs.failed || timing.steps == 0 ? 1 : 0;
}
