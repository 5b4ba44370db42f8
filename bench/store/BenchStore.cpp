// SPDX-License-Identifier: GPL-3.0-or-later
// Store benchmarks over a generated Path.cds of 100,000 rows (500 backup sets, paths of
// 40 to 120 bytes): load with the Category_No;Path_Item order, save, and switching the
// path range from set to set. Run with --peak-memory to measure the peak resident memory
// of one load in a fresh process.
#include "catalog/Catalog.h"
#include "catalog/Schema.h"
#include "store/PacketWriter.h"
#include "store/Table.h"
#include "store/TableFiles.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace stowmere::store;
using namespace stowmere::catalog::schema;
namespace fs = std::filesystem;

extern char** environ;

namespace {

constexpr int kRows = 100'000;
constexpr int kSets = 500;

std::string randomPath(std::mt19937& random)
{
    static const char* const roots[] = {"/home/anna/", "/home/bert/Documents/", "/srv/share/projects/",
                                        "/etc/"};
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";
    std::string path = roots[random() % 4];
    const std::size_t length = 40 + random() % 81;
    while (path.size() < length) {
        path += letters[random() % (sizeof letters - 1)];
        if (random() % 12 == 0 && path.size() + 2 < length)
            path += '/';
    }
    path.resize(length);
    return path;
}

// Written with the packet writer directly: rows in random set order, as a long-used table
// would hold them.
std::vector<std::byte> generatePathFile()
{
    std::mt19937 random(2024);
    PacketWriter writer;
    writer.beginPacket(3, 3);
    const auto add = [&](const ColumnDescriptor& column) { writer.addColumn(column); };
    add({"Path_No", 0x00010004, 0x0002});
    writer.addProperty(PropertyScope::Column, "SUBTYPE", 0x00490002, std::as_bytes(std::span("Autoinc", 8)));
    add({"Category_No", 0x00010004, 0});
    add({"Path_Item", 0x00490002, 0});
    const char width[2] = {static_cast<char>(255), 0};
    writer.addProperty(PropertyScope::Column, "WIDTH", 0x00020002, std::as_bytes(std::span(width, 2)));
    std::int32_t next = kRows + 1;
    writer.addProperty(PropertyScope::Table, "AUTOINCVALUE", 0x00010004,
                       std::as_bytes(std::span(reinterpret_cast<const char*>(&next), 4)));
    const std::byte status{0};
    for (std::int32_t row = 1; row <= kRows; ++row) {
        const std::int32_t set = static_cast<std::int32_t>(random() % kSets) + 1;
        const std::string path = randomPath(random);
        writer.putField(0, &status, 1);
        writer.putField(0, reinterpret_cast<const std::byte*>(&row), 4);
        writer.putField(0, reinterpret_cast<const std::byte*>(&set), 4);
        writer.putField(0, reinterpret_cast<const std::byte*>(path.data()), path.size());
    }
    std::vector<std::byte> packet;
    writer.finish(packet);
    return packet;
}

std::vector<std::byte> generateCategoryFile()
{
    Table table;
    table.setFieldDefs(categoryFieldDefs());
    table.createDataSet();
    for (int set = 1; set <= kSets; ++set) {
        table.insert();
        table.fieldByName("Category_Description").setAsString("Backup set " + std::to_string(set));
        table.fieldByName("Category_BackupDirectory").setAsString("/mnt/backup/" + std::to_string(set));
        table.post();
    }
    return table.saveToBytes();
}

const fs::path& dataFolder()
{
    static const fs::path folder = [] {
        const fs::path path = fs::temp_directory_path() / ("stowmere-bench-" + std::to_string(::getpid()));
        fs::create_directories(path);
        Table paths;
        paths.loadFromBytes(generatePathFile());
        saveTableFile(paths, (path / std::string(kPathFileName)).string());
        Table categories;
        categories.loadFromBytes(generateCategoryFile());
        saveTableFile(categories, (path / std::string(kCategoryFileName)).string());
        return path;
    }();
    return folder;
}

void BM_LoadPathTableWithOrder(benchmark::State& state)
{
    const std::string file = (dataFolder() / std::string(kPathFileName)).string();
    for (auto _ : state) {
        auto table = std::make_unique<Table>();
        table->setIndexFieldNames(kPathOrder);
        loadTableFile(*table, file);
        benchmark::DoNotOptimize(table->recordCount());
        // Freeing the rows is not part of a load.
        state.PauseTiming();
        table.reset();
        state.ResumeTiming();
    }
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(file));
}
BENCHMARK(BM_LoadPathTableWithOrder)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_SavePathTableToBytes(benchmark::State& state)
{
    Table table;
    table.setIndexFieldNames(kPathOrder);
    loadTableFile(table, (dataFolder() / std::string(kPathFileName)).string());
    for (auto _ : state)
        benchmark::DoNotOptimize(table.saveToBytes());
}
BENCHMARK(BM_SavePathTableToBytes)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The whole save: packet, temporary file, flush to disk, rename.
void BM_SavePathTableToFile(benchmark::State& state)
{
    Table table;
    table.setIndexFieldNames(kPathOrder);
    loadTableFile(table, (dataFolder() / std::string(kPathFileName)).string());
    const std::string target = (dataFolder() / "Saved.cds").string();
    for (auto _ : state)
        saveTableFile(table, target);
}
BENCHMARK(BM_SavePathTableToFile)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// What a click on a set costs the window: the catalog's paths of the next set.
void BM_CatalogPathsOfSet(benchmark::State& state)
{
    stowmere::catalog::Catalog catalog(dataFolder().string());
    catalog.open();
    const auto sets = catalog.sets();
    std::size_t next = 0;
    std::size_t rows = 0;
    for (auto _ : state) {
        rows += catalog.paths(sets[next].number).size();
        next = (next + 1) % sets.size();
    }
    benchmark::DoNotOptimize(rows);
}
BENCHMARK(BM_CatalogPathsOfSet)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

// Opening the catalog: both files read, checked and numbered (the window's start).
void BM_CatalogOpen(benchmark::State& state)
{
    for (auto _ : state) {
        stowmere::catalog::Catalog catalog(dataFolder().string());
        catalog.open();
        benchmark::DoNotOptimize(catalog.sets().size());
    }
}
BENCHMARK(BM_CatalogOpen)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The peak resident memory of this process image, in KiB. VmHWM belongs to the address
// space, so unlike ru_maxrss it does not carry over the parent's peak into a spawned child.
long maxRssKb()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1)
            break;
    std::fclose(status);
    return kb;
}

// Runs in a fresh process: the peak resident memory added by loading the file.
int measurePeakMemory(const char* file)
{
    {
        Table warmUp; // loads the collation data, which every process needs once
        warmUp.setFieldDefs(pathFieldDefs());
        warmUp.setIndexFieldNames(kPathOrder);
        warmUp.createDataSet();
    }
    const long before = maxRssKb();
    Table table;
    table.setIndexFieldNames(kPathOrder);
    loadTableFile(table, file);
    const long after = maxRssKb();
    std::printf("%ld %ld\n", before, after);
    return 0;
}

void reportPeakMemory(const char* self)
{
    const std::string file = (dataFolder() / std::string(kPathFileName)).string();
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string flag = "--peak-memory";
    char* argv[] = {const_cast<char*>(self), flag.data(), const_cast<char*>(file.c_str()), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    char buffer[128] = {};
    const ssize_t count = read(pipeFds[0], buffer, sizeof buffer - 1);
    close(pipeFds[0]);
    if (spawned != 0)
        return;
    int status = 0;
    waitpid(child, &status, 0);
    long before = 0;
    long after = 0;
    if (count <= 0 || std::sscanf(buffer, "%ld %ld", &before, &after) != 2)
        return;
    const double fileKb = static_cast<double>(fs::file_size(file)) / 1024.0;
    std::printf("Peak memory of one load: file %.0f KiB, resident %ld KiB before and %ld KiB after, "
                "added %ld KiB = %.2f x the file size\n",
                fileKb, before, after, after - before, static_cast<double>(after - before) / fileKb);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--peak-memory") == 0)
        return measurePeakMemory(argv[2]);
    benchmark::Initialize(&argc, argv);
    reportPeakMemory("/proc/self/exe");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(dataFolder());
    return 0;
}
