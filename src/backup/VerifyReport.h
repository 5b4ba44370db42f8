// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/Verifier.h"

#include <cstddef>
#include <string>
#include <vector>

namespace stowmere::backup {

/// "2 damaged, 1 missing" and so on; "all match" when there is nothing to tell.
std::string verifyCountsText(const VerifyCounts& counts);

/// The one-line outcome of a verification as a person reads it: "Verified 12 copies
/// (3.4 MB): all match", with what was found, a damaged manifest and a stop before the
/// end; or why the destination could not be read.
std::string verifySummary(const VerifyResult& result, bool againstSource);

/// "damaged: /backup/home/a.txt (content differs ...)": one problem on one line.
std::string verifyProblemLine(const VerifyProblem& problem);

/// "damaged manifest: /backup/.stowmere-manifest line 4 (byte 310): bad checksum".
std::string manifestDamageLine(const ManifestDamage& damage);

/// The summary, then each manifest damage and problem on its own line: at most
/// maxProblems of them, then how many more there are (the result's list may itself be
/// shorter than its counts).
std::vector<std::string> verifyReportLines(const VerifyResult& result, bool againstSource,
                                           std::size_t maxProblems);

} // namespace stowmere::backup
