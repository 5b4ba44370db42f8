// SPDX-License-Identifier: GPL-3.0-or-later
// Desktop notifications at the end of a backup, as the real executable sends them to a
// notification service of the test's own on a private session bus.
#include "CliTest.h"
#include "NotificationListener.h"
#include "support/TestTree.h"

#include "cli/CommandLine.h"
#include "cli/DesktopNotifier.h"
#include "cli/RunNotice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using stowmere::backup::BackupResult;
using stowmere::cli::DesktopNotification;
using stowmere::cli::DesktopNotifier;
using stowmere::cli::ExitCode;
using stowmere::cli::NotifyMode;
using stowmere::cli::RunNotice;
using stowmere::cli::test::CliTest;
using stowmere::cli::test::NotificationListener;
using stowmere::cli::test::PrivateSessionBus;
using stowmere::cli::test::ProcessResult;
using stowmere::cli::test::ReceivedNotification;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

/// A set "Holiday Photos" of one folder and one file; gone() removes the file, so that a
/// backup ends with an item not found (exit code 1).
class Notifications : public CliTest {
protected:
    void SetUp() override
    {
        temp.file("src/Photos/beach.jpg", "sand");
        note = temp.file("src/note.txt", "note");
        ok({"new-set", "Holiday Photos", temp.folder("dest")});
        ok({"add-paths", "Holiday Photos", temp.path("src/Photos"), note});
    }

    void onBus(const std::string& address) { extraEnvironment = {"DBUS_SESSION_BUS_ADDRESS=" + address}; }
    void gone() { std::filesystem::remove(note); }

    std::string note;
    std::string busFolder = temp.folder("bus");
};

} // namespace

TEST_F(Notifications, AFailingRunTellsWhichSetWhatFailedAndWhereTheDetailsAre)
{
    PrivateSessionBus bus(busFolder);
    NotificationListener service(bus.address());
    onBus(bus.address());
    gone();

    const ProcessResult warned = cli({"backup", "Holiday Photos"});
    EXPECT_EQ(warned.exitCode, 1) << warned.err;
    ASSERT_EQ(service.received().size(), 1u);
    const ReceivedNotification notice = service.received().front();
    EXPECT_EQ(notice.summary, "Backup of \"Holiday Photos\" finished with warnings");
    EXPECT_EQ(notice.body, "1 item was not found.\n'stowmere-cli history' has the details.");
    EXPECT_EQ(notice.appName, "Stowmere");
    EXPECT_EQ(notice.appIcon, "io.github.stowmere.Stowmere");
    EXPECT_EQ(notice.desktopEntry, "io.github.stowmere.Stowmere");
    EXPECT_EQ(notice.urgency, 1);
    EXPECT_EQ(notice.expireTimeout, -1);

    // A run that cannot start: a critical notification with the reason.
    std::filesystem::remove_all(temp.path("dest"));
    const ProcessResult failed = cli({"backup", "Holiday Photos"});
    EXPECT_EQ(failed.exitCode, 3) << failed.err;
    ASSERT_EQ(service.received().size(), 2u);
    const ReceivedNotification refusal = service.received().back();
    EXPECT_EQ(refusal.summary, "Backup of \"Holiday Photos\" did not start");
    EXPECT_EQ(refusal.urgency, 2);
    EXPECT_EQ(refusal.category, "transfer.error");
    EXPECT_FALSE(contains(refusal.body, "\n\n")) << refusal.body;
    EXPECT_TRUE(contains(refusal.body, "Backup To Folder " + temp.path("dest") + " does not exist."))
        << refusal.body;

    // A set that is no longer there (a timer outliving its set) is named as the timer names it.
    const ProcessResult missing = cli({"backup", "7"});
    EXPECT_EQ(missing.exitCode, 3);
    ASSERT_EQ(service.received().size(), 3u);
    EXPECT_EQ(service.received().back().summary, "Backup of \"7\" did not start");
    EXPECT_TRUE(contains(service.received().back().body, "\"7\"")) << service.received().back().body;
}

TEST_F(Notifications, SuccessIsToldOnlyWithNotifyAlwaysAndNeverSilencesAFailure)
{
    PrivateSessionBus bus(busFolder);
    NotificationListener service(bus.address());
    onBus(bus.address());

    ok({"backup", "Holiday Photos"});
    ok({"backup", "Holiday Photos", "--notify", "failures"});
    EXPECT_TRUE(service.received().empty());

    ok({"backup", "Holiday Photos", "--notify=always"});
    ASSERT_EQ(service.received().size(), 1u);
    EXPECT_EQ(service.received().front().summary, "Backup of \"Holiday Photos\" finished");
    EXPECT_EQ(service.received().front().body, "2 files copied.\n'stowmere-cli history' has the details.");
    EXPECT_EQ(service.received().front().category, "transfer.complete");

    gone();
    EXPECT_EQ(cli({"backup", "Holiday Photos", "--notify", "never"}).exitCode, 1);
    // A dry run is watched as it runs: it never notifies.
    EXPECT_EQ(cli({"backup", "Holiday Photos", "--dry-run"}).exitCode, 1);
    EXPECT_EQ(service.received().size(), 1u);
}

TEST_F(Notifications, TheBodyIsEscapedOnlyForAServiceThatReadsMarkup)
{
    PrivateSessionBus bus(busFolder);
    onBus(bus.address());
    {
        NotificationListener markup(bus.address(), NotificationListener::Behaviour::Answering, true);
        EXPECT_EQ(cli({"backup", "Tom & <Jerry>"}).exitCode, 3);
        ASSERT_EQ(markup.received().size(), 1u);
        EXPECT_EQ(markup.received().front().summary, "Backup of \"Tom & <Jerry>\" did not start");
        EXPECT_TRUE(contains(markup.received().front().body, "\"Tom &amp; &lt;Jerry&gt;\""))
            << markup.received().front().body;
    }
    NotificationListener plain(bus.address(), NotificationListener::Behaviour::Answering, false);
    EXPECT_EQ(cli({"backup", "Tom & <Jerry>"}).exitCode, 3);
    ASSERT_EQ(plain.received().size(), 1u);
    EXPECT_TRUE(contains(plain.received().front().body, "\"Tom & <Jerry>\""))
        << plain.received().front().body;
}

TEST_F(Notifications, NoBusNoServiceOrAHungServiceLeaveTheExitCodeAsItIs)
{
    gone();
    // No bus at all: the default says nothing; an explicit always says why in one line.
    onBus("unix:path=" + temp.path("nowhere/bus"));
    ProcessResult result = cli({"backup", "Holiday Photos"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(contains(result.err, "notification")) << result.err;
    result = cli({"backup", "Holiday Photos", "--notify", "always"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "stowmere-cli: no desktop notification: no session bus")) << result.err;

    // A bus where nothing owns the notification service's name.
    PrivateSessionBus bus(busFolder);
    onBus(bus.address());
    result = cli({"backup", "Holiday Photos", "--notify", "always"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "no desktop notification: ")) << result.err;
    EXPECT_EQ(cli({"backup", "Holiday Photos"}).exitCode, 1);

    // A service that owns the name but never answers: the run gives up after the call's
    // time-out instead of sd-bus's default of 25 seconds. The bound is that default, far
    // above any honest run here, not a measure of speed.
    NotificationListener hung(bus.address(), NotificationListener::Behaviour::Silent);
    const auto start = std::chrono::steady_clock::now();
    result = cli({"backup", "Holiday Photos", "--notify", "always"});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "no answer from the notification service within 2000 ms")) << result.err;
    EXPECT_LT(elapsed, std::chrono::seconds(25));
}

TEST(RunNotice, FailuresModeSkipsSuccessAndCtrlCOnly)
{
    for (const ExitCode code :
         {ExitCode::Success, ExitCode::ItemsNotFound, ExitCode::CopyFailed, ExitCode::NotStarted,
          ExitCode::HungUp, ExitCode::Interrupted, ExitCode::Terminated}) {
        const bool quiet = code == ExitCode::Success || code == ExitCode::Interrupted;
        EXPECT_EQ(RunNotice::wanted(NotifyMode::Failures, code), !quiet) << static_cast<int>(code);
        EXPECT_TRUE(RunNotice::wanted(NotifyMode::Always, code));
        EXPECT_FALSE(RunNotice::wanted(NotifyMode::Never, code));
    }
}

TEST(RunNotice, TheBodySaysWhatFailedInAShortLine)
{
    RunNotice notice;
    notice.setName("Docs");
    BackupResult result;
    result.notBackedUpCount = 3;
    result.missingItems = {"/a", "/b"};
    notice.setResult(result);
    EXPECT_EQ(notice.notification(ExitCode::ItemsNotFound).body,
              "3 files could not be read; 2 items were not found.\n'stowmere-cli history' has the details.");

    result = {};
    result.copyFailed = true;
    result.failedFile = "/home/alex/" + std::string(300, 'x') + "/movie.mkv";
    result.failureReason = "No space left on device";
    notice.setResult(result);
    const DesktopNotification failed = notice.notification(ExitCode::CopyFailed);
    EXPECT_EQ(failed.summary, "Backup of \"Docs\" failed");
    const std::string firstLine = failed.body.substr(0, failed.body.find('\n'));
    EXPECT_LE(firstLine.size(), RunNotice::kLineLength);
    EXPECT_EQ(firstLine.rfind("Could not copy /home/alex/", 0), 0u) << firstLine;
    EXPECT_TRUE(firstLine.ends_with("No space left on device")) << firstLine;

    // A message of several lines keeps them, as plain lines without the window's carriage
    // returns or blank lines; control characters within a line are shown, not obeyed.
    RunNotice stopped;
    stopped.setName("Line\nbreak");
    stopped.setError("The Backup To Folder /mnt/a\x1b is elsewhere.\r\n\r\nSecond line\nThird\nFourth",
                     "Connect the drive.");
    const DesktopNotification refused = stopped.notification(ExitCode::NotStarted);
    EXPECT_EQ(refused.summary, "Backup of \"Line\\nbreak\" did not start");
    EXPECT_EQ(refused.body, "The Backup To Folder /mnt/a\\x1b is elsewhere.\nSecond line\nThird\n"
                            "Connect the drive.\n'stowmere-cli history' has the details.");

    // An interrupted run says how far it came, and by what it was stopped.
    result = {};
    result.cancelled = true;
    result.filesCopied = 1;
    RunNotice interrupted;
    interrupted.setName("Docs");
    interrupted.setResult(result);
    interrupted.setItems(2, 5);
    EXPECT_EQ(
        interrupted.notification(ExitCode::Terminated).body,
        "Stopped by the system; 2 of 5 items done, 1 file copied.\n'stowmere-cli history' has the details.");
    const DesktopNotification hungUp = interrupted.notification(ExitCode::HungUp);
    EXPECT_EQ(hungUp.summary, "Backup of \"Docs\" was interrupted");
    EXPECT_EQ(hungUp.body.substr(0, hungUp.body.find('\n')),
              "Stopped when its terminal closed; 2 of 5 items done, 1 file copied.");
}

TEST(DesktopNotifier, TextReachesTheBusAsWellFormedUtf8)
{
    EXPECT_EQ(DesktopNotifier::validUtf8("Fotos Müller"), "Fotos Müller");
    EXPECT_EQ(DesktopNotifier::validUtf8("a\xFF"
                                         "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(DesktopNotifier::validUtf8(std::string("a\0b", 3)), "a\xEF\xBF\xBD"
                                                                  "b");
    // A character cut short at the end, and an overlong form.
    EXPECT_EQ(DesktopNotifier::validUtf8("\xC3"), "\xEF\xBF\xBD");
    EXPECT_EQ(DesktopNotifier::validUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(DesktopNotifier::escapeMarkup("a&b <c>"), "a&amp;b &lt;c&gt;");
}
