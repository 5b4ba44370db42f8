// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupObserver.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace stowmere::testing {

/// A window stand-in that answers at once and writes down every call in order.
class RecordingObserver : public backup::BackupObserver {
public:
    explicit RecordingObserver(std::vector<bool> checks) : checks(std::move(checks)) {}

    bool isItemChecked(std::size_t index) override
    {
        asked.push_back(index);
        return index < checks.size() && checks[index];
    }
    void uncheckItem(std::size_t index) override
    {
        events.push_back("uncheck " + std::to_string(index));
        checks.at(index) = false;
    }
    void copyingFile(const std::string& source, const std::string& target) override
    {
        sources.push_back(source);
        targets.push_back(target);
    }
    void fileCopied(std::uint64_t count) override
    {
        counter = count;
        events.push_back("copied " + std::to_string(count));
        if (onFileCopied)
            onFileCopied(count);
    }
    void itemDone() override
    {
        ++steps;
        events.push_back("step");
        if (onItemDone)
            onItemDone(steps);
    }
    void showError(const std::string& text) override
    {
        errors.push_back(text);
        events.push_back("error");
    }
    void showInformation(const std::string& text) override
    {
        information.push_back(text);
        events.push_back("information");
    }
    void copyProgress(const std::string& source, std::uint64_t done, std::uint64_t size) override
    {
        if (onCopyProgress)
            onCopyProgress(source, done, size);
    }
    void foldersListed(std::size_t count) override
    {
        listed = count;
        if (onFoldersListed)
            onFoldersListed(count);
    }
    void previewEntry(const backup::PreviewEntry& entry) override { previews.push_back(entry); }
    void itemStarted(std::size_t index, const std::string&) override { started.push_back(index); }
    void totalsCounted(const backup::RunTotals& counted) override
    {
        totals.push_back(counted);
        if (onTotals)
            onTotals(counted);
    }
    bool startWithoutSpace(std::uint64_t needed, std::uint64_t free, const std::string& folder) override
    {
        spaceQuestions.push_back({needed, free, folder});
        return startAnyway;
    }
    void bytesCopied(std::uint64_t bytes) override
    {
        bytesTold.push_back(bytes);
        copiedBeforeBytes.push_back(counter);
    }
    void runComplete() override { ++completions; }
    void closeProgress() override
    {
        ++closes;
        events.push_back("close");
    }

    std::vector<bool> checks;
    std::vector<std::size_t> asked;
    std::vector<std::string> events;
    std::vector<std::string> sources;
    std::vector<std::string> targets;
    std::vector<std::string> errors;
    std::vector<std::string> information;
    std::vector<backup::PreviewEntry> previews;
    std::vector<std::size_t> started;
    std::vector<backup::RunTotals> totals;
    struct SpaceQuestion {
        std::uint64_t needed;
        std::uint64_t free;
        std::string folder;
    };
    std::vector<SpaceQuestion> spaceQuestions;
    bool startAnyway = true;
    std::vector<std::uint64_t> bytesTold;
    std::vector<std::uint64_t> copiedBeforeBytes; ///< the file count when each bytesCopied came
    std::function<void(const backup::RunTotals&)> onTotals;
    std::size_t listed = 0;
    std::uint64_t counter = 0;
    int steps = 0;
    int closes = 0;
    int completions = 0;
    std::function<void(std::uint64_t)> onFileCopied;
    std::function<void(int)> onItemDone;
    std::function<void(const std::string&, std::uint64_t, std::uint64_t)> onCopyProgress;
    std::function<void(std::size_t)> onFoldersListed;
};

} // namespace stowmere::testing
