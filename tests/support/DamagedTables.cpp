// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DamagedTables.h"

#include "support/TableFileBytes.h"

#include <string_view>

namespace stowmere::testing {
namespace {

using Expect = DamagedTables::Expect;

std::vector<std::byte> twoSets()
{
    return categoryFileBytes({{1, "Docs", "/backup/docs"}, {2, "Music", "/backup/music"}}, 3);
}

std::vector<std::byte> threePaths()
{
    return pathFileBytes({{1, 1, "/home/u/a"}, {2, 2, "/home/u/b"}, {3, 1, "/home/u/c"}}, 4);
}

std::vector<std::byte> withText(std::vector<std::byte> file, std::string_view text)
{
    for (const char c : text)
        file.push_back(static_cast<std::byte>(c));
    return file;
}

} // namespace

std::vector<DamagedTables> damagedTableCases()
{
    std::vector<DamagedTables> cases;

    // A row count too small: the third path would be dropped by the next save.
    std::vector<std::byte> shortCount = threePaths();
    setRowCount(shortCount, 2);
    cases.push_back({"row_count_too_small", twoSets(), shortCount, Expect::Refused, "Path.cds", "byte", 0});

    cases.push_back({"bytes_after_the_last_row", twoSets(), withText(threePaths(), "garbage"),
                     Expect::Refused, "Path.cds", "byte", 0});

    std::vector<std::byte> offset = threePaths();
    setRowDataOffset(offset, static_cast<std::uint16_t>(rowDataOffset(offset) + 2));
    cases.push_back(
        {"row_data_offset_disagrees", twoSets(), offset, Expect::Refused, "Path.cds", "rows start", 0});

    // Numbering: two sets sharing one number would share one path list.
    cases.push_back({"shared_set_number",
                     categoryFileBytes({{1, "Docs", "/backup/docs"}, {1, "Music", "/backup/music"}}, 2),
                     pathFileBytes({{1, 1, "/home/u/a"}}, 2), Expect::Refused, "Category.cds",
                     "more than one backup set has the number 1", 0});

    cases.push_back(
        {"next_number_already_in_use",
         categoryFileBytes(
             {{1, "Docs", "/backup/docs"}, {2, "Music", "/backup/music"}, {3, "Photos", "/backup/photos"}},
             2),
         pathFileBytes({{1, 2, "/home/u/music"}, {2, 3, "/home/u/photos"}}, 3), Expect::Renumbered, "", "",
         4});

    cases.push_back(
        {"next_number_missing",
         categoryFileBytes({{1, "Docs", "/backup/docs"}, {5, "Music", "/backup/music"}}, std::nullopt),
         pathFileBytes({{1, 5, "/home/u/music"}}, 2), Expect::Renumbered, "", "", 6});

    // Paths left behind by a set that is gone: kept, reported, and never handed to a new set.
    cases.push_back(
        {"paths_of_a_missing_set", categoryFileBytes({{1, "Docs", "/backup/docs"}}, 2),
         pathFileBytes({{1, 1, "/home/u/a"}, {2, 7, "/home/u/orphan"}, {3, 7, "/home/u/orphan2"}}, 4),
         Expect::Reported, "", "2 paths of backup set number 7", 8});

    // A zero byte ends a file name early: the engine would back up another file.
    cases.push_back({"zero_byte_in_a_path", twoSets(),
                     pathFileBytes({{1, 1, "/home/u/a"}, {2, 2, std::string("/etc/passwd\0.txt", 16)}}, 3),
                     Expect::Refused, "Path.cds", "zero byte", 0});

    cases.push_back({"zero_byte_in_a_destination",
                     categoryFileBytes({{1, "Docs", std::string("/backup\0/docs", 13)}}, 2), threePaths(),
                     Expect::Refused, "Category.cds", "zero byte", 0});
    return cases;
}

} // namespace stowmere::testing
