// SPDX-License-Identifier: GPL-3.0-or-later
// Moments and sizes the window shows follow the user's locale; the run reports' units and
// their English texts stay as they were.
#include "app/ShownValues.h"
#include "app/HistoryDialog.h"
#include "app/PreviewDialog.h"
#include "app/RestoreDialog.h"
#include "app/Translations.h"

#include <QDateTime>
#include <QTableView>

#include <gtest/gtest.h>

using namespace stowmere;
using namespace stowmere::app;

namespace {

class ShownValues : public ::testing::Test {
protected:
    void speak(const char* locale) { m_translations.install(QLocale(QString::fromLatin1(locale))); }

    Translations m_translations;
};

std::int64_t localMoment(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second)).toSecsSinceEpoch();
}

TEST_F(ShownValues, MomentsTakeTheLocalesDateAndKeepTheirSeconds)
{
    const std::int64_t moment = localMoment(2026, 3, 7, 14, 5, 9);
    speak("de_DE");
    EXPECT_EQ(shown::dateTime(moment), "07.03.26 14:05:09");
    EXPECT_EQ(RestoreDialog::localTime(moment), "07.03.26 14:05:09");
    EXPECT_EQ(HistoryDialog::localTime(catalog::RunRecord::Clock::from_time_t(moment)), "07.03.26 14:05:09");
    speak("fr_FR");
    EXPECT_EQ(shown::dateTime(moment), "07/03/2026 14:05:09");
    speak("en_US");
    const QString english = shown::dateTime(moment);
    EXPECT_TRUE(english.startsWith("3/7/26 2:05:09")) << english.toStdString();
    EXPECT_FALSE(english.contains("UTC") || english.contains("GMT")) << english.toStdString();
    // Two moments a second apart read apart.
    EXPECT_NE(shown::dateTime(moment), shown::dateTime(moment + 1));
}

TEST_F(ShownValues, SizesKeepTheirUnitsAndTakeTheLocalesDecimalSeparator)
{
    speak("en_US");
    EXPECT_EQ(shown::byteSize(0), "0 Bytes");
    EXPECT_EQ(shown::byteSize(1024), "1024 Bytes");
    EXPECT_EQ(shown::byteSize(1025), "1.00 KB");
    EXPECT_EQ(shown::byteSize(1048576), "1024.00 KB");
    EXPECT_EQ(shown::byteSize(1048577), "1.00 MB");
    EXPECT_EQ(shown::byteSize(10737418240ULL), "10.00 GB");
    speak("de_DE");
    EXPECT_EQ(shown::byteSize(1536), "1,50 KB");
    EXPECT_EQ(shown::byteSize(1048576), "1024,00 KB") << "no grouping";
    EXPECT_EQ(shown::byteSize(1000), "1000 Bytes");
    speak("fr_FR");
    EXPECT_EQ(shown::byteSize(1536), "1,50 Ko");
    EXPECT_EQ(shown::byteSize(12), "12 octets");

    backup::BackupResult result;
    result.preview.files = 2;
    result.preview.bytes = 1536;
    speak("de_DE");
    EXPECT_NE(PreviewDialog::totalsText(result).indexOf("(1,50 KB)"), -1)
        << PreviewDialog::totalsText(result).toStdString();
}

} // namespace

namespace {

QStringList historyRow(const catalog::RunRecord& run)
{
    HistoryDialog dialog(QStringLiteral("Offsite"), {run}, {});
    const auto* list = dialog.findChild<QTableView*>();
    QStringList cells;
    for (int column = 0; list != nullptr && column < list->model()->columnCount(); ++column)
        cells << list->model()->index(0, column).data().toString();
    return cells;
}

} // namespace

TEST_F(ShownValues, TheHistoryShowsItsModeAndOutcomeInTheUsersLanguage)
{
    catalog::RunRecord run;
    run.mode = catalog::RunMode::Incremental;
    run.outcome = catalog::RunOutcome::Cancelled;
    speak("de_DE");
    QStringList cells = historyRow(run);
    EXPECT_TRUE(cells.contains("inkrementell") && cells.contains("abgebrochen"))
        << cells.join('|').toStdString();
    speak("fr_FR");
    cells = historyRow(run);
    EXPECT_TRUE(cells.contains(QString::fromUtf8("incrémentielle")) &&
                cells.contains(QString::fromUtf8("annulée")))
        << cells.join('|').toStdString();
    speak("en_US");
    cells = historyRow(run);
    EXPECT_TRUE(cells.contains("incremental") && cells.contains("cancelled"))
        << cells.join('|').toStdString();
}
