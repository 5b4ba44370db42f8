// SPDX-License-Identifier: GPL-3.0-or-later
// The command line in German and French: what a person reads follows the locale, what a
// program reads (list, --json, the stored files) stays byte for byte the same.
#include "ChildProcess.h"
#include "support/TempFolder.h"

#include <clocale>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using stowmere::cli::test::ChildProcess;
using stowmere::cli::test::cliExecutable;
using stowmere::cli::test::ProcessResult;

namespace {

const std::vector<std::string> kGerman{"LC_ALL=de_DE.UTF-8", "LANGUAGE=de"};
const std::vector<std::string> kFrench{"LC_ALL=fr_FR.UTF-8", "LANGUAGE=fr"};
const std::vector<std::string> kEnglish{"LC_ALL=C.UTF-8", "LANGUAGE="};

// gettext ignores LANGUAGE under the C locale, so these tests need the real locales that
// scripts/install-deps generates.
bool haveLocale(const char* name)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const bool found = std::setlocale(LC_ALL, name) != nullptr;
    std::setlocale(LC_ALL, previous.c_str());
    return found;
}

class Translation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(haveLocale("de_DE.UTF-8") && haveLocale("fr_FR.UTF-8"))
            << "the de_DE.UTF-8 and fr_FR.UTF-8 locales are missing: run scripts/install-deps";
    }

    ProcessResult run(std::vector<std::string> words, std::vector<std::string> environment)
    {
        environment.push_back("XDG_STATE_HOME=" + m_state.str());
        environment.push_back("DBUS_SESSION_BUS_ADDRESS=");
        return ChildProcess::run(cliExecutable(), words, environment);
    }

    stowmere::testing::TempFolder m_state{"state"};
};

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST_F(Translation, HelpAndErrorsFollowTheLanguage)
{
    const ProcessResult german = run({"--help"}, kGerman);
    EXPECT_EQ(german.exitCode, 0);
    EXPECT_EQ(german.out.rfind("Aufruf: stowmere-cli COMMAND", 0), 0u) << german.out;
    EXPECT_NE(german.out.find("Sicherungssätze"), std::string::npos);
    const ProcessResult french = run({"backup", "--help"}, kFrench);
    EXPECT_EQ(french.out.rfind("Utilisation\u202f: stowmere-cli backup SET", 0), 0u) << french.out;
    // The option words stay as typed, so the translated help still names them.
    EXPECT_NE(french.out.find("  --incremental  "), std::string::npos);

    const ProcessResult error = run({"frob"}, kGerman);
    EXPECT_EQ(error.exitCode, 3);
    EXPECT_EQ(error.err, "stowmere-cli: unbekannter Befehl „frob“ (siehe „stowmere-cli --help“)\n");
    EXPECT_EQ(
        run({"frob"}, kFrench).err,
        "stowmere-cli: commande inconnue «\u202ffrob\u202f» (voir «\u202fstowmere-cli --help\u202f»)\n");
    // Without a translation the English text is the text, byte for byte.
    EXPECT_EQ(run({"frob"}, kEnglish).err,
              "stowmere-cli: unknown command 'frob' (see 'stowmere-cli --help')\n");
    EXPECT_EQ(run({"frob"}, {"LC_ALL=de_DE.UTF-8", "LANGUAGE=it"}).err,
              "stowmere-cli: unknown command 'frob' (see 'stowmere-cli --help')\n");
}

TEST_F(Translation, CountsTakeTheLanguagesPluralForms)
{
    stowmere::testing::TempFolder data("data");
    stowmere::testing::TempFolder source("source");
    stowmere::testing::TempFolder target("target");
    std::ofstream(source.path() / "one.txt") << "one";
    ASSERT_EQ(run({"new-set", "Docs", target.str(), "--data", data.str()}, kEnglish).exitCode, 0);
    ASSERT_EQ(run({"add-paths", "Docs", source.str(), "--data", data.str()}, kEnglish).exitCode, 0);

    const auto dryRun = [&](const std::vector<std::string>& environment) {
        return run({"backup", "Docs", "--dry-run", "--data", data.str()}, environment).out;
    };
    // French counts 0 and 1 alike, German and English do not.
    EXPECT_NE(dryRun(kGerman).find("Würde 1 Datei kopieren"), std::string::npos) << dryRun(kGerman);
    EXPECT_NE(dryRun(kFrench).find("Copierait 1 fichier ("), std::string::npos) << dryRun(kFrench);
    std::ofstream(source.path() / "two.txt") << "two";
    EXPECT_NE(dryRun(kGerman).find("Würde 2 Dateien kopieren"), std::string::npos) << dryRun(kGerman);
    EXPECT_NE(dryRun(kFrench).find("Copierait 2 fichiers ("), std::string::npos) << dryRun(kFrench);
    EXPECT_NE(dryRun(kEnglish).find("Would copy 2 files ("), std::string::npos) << dryRun(kEnglish);
    std::filesystem::remove(source.path() / "one.txt");
    std::filesystem::remove(source.path() / "two.txt");
    EXPECT_NE(dryRun(kFrench).find("Copierait 0 fichier ("), std::string::npos) << dryRun(kFrench);
    EXPECT_NE(dryRun(kGerman).find("Würde 0 Dateien kopieren"), std::string::npos) << dryRun(kGerman);
}

TEST_F(Translation, SizesTakeTheDecimalSeparatorAndRefusalsTheLanguage)
{
    stowmere::testing::TempFolder data("data");
    stowmere::testing::TempFolder source("source");
    stowmere::testing::TempFolder target("target");
    std::ofstream(source.path() / "half.bin") << std::string(1536, 'x');
    ASSERT_EQ(run({"new-set", "Docs", target.str(), "--data", data.str()}, kEnglish).exitCode, 0);
    ASSERT_EQ(run({"add-paths", "Docs", source.str(), "--data", data.str()}, kEnglish).exitCode, 0);
    const auto dryRun = [&](const std::vector<std::string>& environment) {
        return run({"backup", "Docs", "--dry-run", "--data", data.str()}, environment).out;
    };
    EXPECT_NE(dryRun(kEnglish).find("(1.50 KB)"), std::string::npos) << dryRun(kEnglish);
    EXPECT_NE(dryRun(kGerman).find("(1,50 KB)"), std::string::npos) << dryRun(kGerman);
    EXPECT_NE(dryRun(kFrench).find("(1,50 Ko)"), std::string::npos) << dryRun(kFrench);

    // A refusal of the sets' own rules, made below the command line, reaches it translated.
    const ProcessResult refused = run({"delete-set", "Docs", "--data", data.str()}, kGerman);
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("Leeren Sie die Liste der Dateien und Ordner"), std::string::npos)
        << refused.err;
    EXPECT_NE(run({"delete-set", "Docs", "--data", data.str()}, kEnglish)
                  .err.find("Delete file and folder list before deleting Backup."),
              std::string::npos);
}

TEST_F(Translation, MachineOutputAndStoredFilesAreTheSameInEveryLanguage)
{
    std::vector<std::string> lists;
    std::vector<std::string> jsons;
    std::vector<std::string> tables;
    for (const auto& environment : {kEnglish, kGerman, kFrench}) {
        stowmere::testing::TempFolder data("data");
        stowmere::testing::TempFolder source("source");
        std::ofstream(source.path() / "a.txt") << "a";
        ASSERT_EQ(run({"new-set", "Fotos 1,5", "/backup/ziel", "--data", data.str()}, environment).exitCode,
                  0);
        ASSERT_EQ(
            run({"add-paths", "1", source.str() + "/a.txt", "--data", data.str()}, environment).exitCode, 0);
        ASSERT_EQ(run({"options", "1", "--keep-versions", "12", "--exclude", "*.tmp", "--data", data.str()},
                      environment)
                      .exitCode,
                  0);
        const ProcessResult list = run({"list", "--data", data.str()}, environment);
        ASSERT_EQ(list.exitCode, 0) << list.err;
        lists.push_back(list.out);
        jsons.push_back(run({"list", "--json", "--data", data.str()}, environment).out);
        // Options.cds holds a random identity of the set; the sets' table holds none.
        tables.push_back(fileBytes(data.path() / "Category.cds"));
        EXPECT_EQ(run({"options", "1", "--data", data.str()}, environment).out,
                  "exclude\t*.tmp\nkeep-versions\t12\nkeep-days\t0\nkeep-daily\t0\nkeep-weekly\t0\n"
                  "keep-monthly\t0\ncachedir-tag\ton\nguard\ton\nmirror\toff\ndrive\t-\n");
    }
    EXPECT_EQ(lists[1], lists[0]);
    EXPECT_EQ(lists[2], lists[0]);
    EXPECT_EQ(jsons[1], jsons[0]);
    EXPECT_EQ(jsons[2], jsons[0]);
    EXPECT_EQ(tables[1], tables[0]);
    EXPECT_EQ(tables[2], tables[0]);
}
