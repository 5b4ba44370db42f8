// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/GuardedHandler.h"
#include "RecordingDialogs.h"
#include "app/UiCalls.h"
#include "catalog/Errors.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace stowmere::app;
using stowmere::app::testing::RecordingDialogs;
using Message = RecordingDialogs::Message;

TEST(GuardedHandler, ShowsWhatTheBodyThrowsInTheBoxItWasGiven)
{
    RecordingDialogs dialogs;
    EXPECT_TRUE(guarded(dialogs, [] {}));
    EXPECT_TRUE(dialogs.messages().empty());

    EXPECT_FALSE(guarded(dialogs, [] { throw std::runtime_error("Disk full"); }));
    EXPECT_FALSE(guarded(
        dialogs, [] { throw std::runtime_error("Disk full"); },
        OnFailure().showIn(MessageKind::Application)));
    // A refusal is an error like any other unless the handler says it is the user's to mend.
    EXPECT_FALSE(guarded(dialogs, [] { throw stowmere::catalog::RuleRefusal("Pick a set."); }));
    EXPECT_FALSE(guarded(
        dialogs, [] { throw stowmere::catalog::RuleRefusal("Pick a set."); },
        OnFailure().refusalAsInformation()));
    EXPECT_FALSE(guarded(
        dialogs, [] { throw std::runtime_error("Broken"); }, OnFailure().refusalAsInformation()));

    EXPECT_EQ(dialogs.messages(), (std::vector<Message>{{MessageKind::Error, "Disk full"},
                                                        {MessageKind::Application, "Disk full."},
                                                        {MessageKind::Error, "Pick a set."},
                                                        {MessageKind::Information, "Pick a set."},
                                                        {MessageKind::Error, "Broken"}}));
}

TEST(GuardedHandler, RecoveryRunsBeforeTheBoxAndItsOwnFailureDoesNotHideTheFirst)
{
    RecordingDialogs dialogs;
    QStringList order;
    dialogs.setOnMessage([&](MessageKind, const QString& text) { order << "box: " + text; });
    guarded(
        dialogs, [] { throw std::runtime_error("first"); },
        OnFailure().recover([&](const std::exception& error) {
            order << QStringLiteral("recover from ") + error.what();
            throw std::runtime_error("second");
        }));
    EXPECT_EQ(order, (QStringList{"recover from first", "box: first"}));
}

TEST(UiCalls, AnswersFromTheContextsThreadWhileItsLoopRuns)
{
    QObject context;
    auto calls = UiCalls::create();
    int answer = 0;
    bool told = false;
    std::thread worker([&] {
        answer = calls->ask(
            &context, [] { return 42; }, -1);
        calls->tell(&context, [&] { told = true; });
    });
    while (!told)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    worker.join();
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(calls->ask(
                  &context, [] { return 7; }, -1),
              7)
        << "on the context's own thread it runs at once";
}

namespace {

// Releases the calls the moment a call from the worker reaches the context, before it runs.
class ReleaseOnArrival : public QObject {
public:
    explicit ReleaseOnArrival(UiCalls& calls) : m_calls(calls) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall)
            m_calls.release();
        return QObject::eventFilter(watched, event);
    }

private:
    UiCalls& m_calls;
};

} // namespace

// The worker waits for the user-interface thread while that thread is about to wait for the
// worker to end: releasing the calls ends the worker's wait with the fallback answer, and
// the work it asked for never runs.
TEST(UiCalls, ReleaseReturnsTheFallbackToAWaitingCallAndDropsItsWork)
{
    QObject context;
    auto calls = UiCalls::create();
    ReleaseOnArrival filter(*calls);
    context.installEventFilter(&filter);
    std::atomic<bool> ran = false;
    std::atomic<int> answer = 0;
    std::thread worker([&] {
        answer = calls->ask(
            &context,
            [&] {
                ran = true;
                return 42;
            },
            -1);
        calls->tell(&context, [&] { ran = true; }); // released already: returns at once
    });
    while (answer == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(answer, -1);
    EXPECT_FALSE(ran);
}
