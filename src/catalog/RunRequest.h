// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/BackupEngine.h"
#include "backup/BackupStartCheck.h"
#include "catalog/Entities.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace stowmere::catalog {

/// Whether item index of a run is checked. The engine asks when the run reaches the item,
/// not when it starts, so an item checked during a run still joins it.
using CheckedQuery = std::function<bool(std::size_t index)>;

/// What a backup run of one set is asked to do: the set, its destination, whether the run
/// is incremental, the set's items in list order and how to ask whether each is checked.
struct RunRequest {
    BackupSet set;
    std::vector<std::string> items;
    bool incremental = false;
    CheckedQuery isChecked;
    /// The set's options: what is left out, which versions are kept.
    SetOptions options;

    /// Items checked now.
    std::size_t checkedCount() const;
    /// The Backup button's checks, in their order, with their messages.
    backup::BackupStartCheck startCheck() const;
    /// The engine's settings for this request.
    backup::BackupSettings settings() const;
};

} // namespace stowmere::catalog
