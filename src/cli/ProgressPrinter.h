// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "backup/TimeLeft.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace stowmere::cli {

/// Shows a backup run's progress on standard error.
///
/// On a terminal one live line is redrawn in place: items done of total, files copied and
/// the file being copied, cut to the terminal's width. Once the run has counted what it
/// will copy, the line shows files and bytes done of those totals, the rate and the time
/// left. Elsewhere (a log file, cron mail,
/// the journal) carriage returns would make a mess, so each item gets a plain line of its
/// own. Quiet shows nothing but failures. Failure texts always come out whole, on lines of
/// their own, with the live line cleared first. Control characters in names are shown
/// escaped in every line, to a terminal or not.
class ProgressPrinter {
public:
    enum class Mode { Quiet, Plain, Terminal };

    /// width: the terminal's column count (only used in Terminal mode).
    /// redrawInterval: the live line is redrawn at most this often while files are copied, so
    /// that thousands of small files are not slowed down by the terminal.
    ProgressPrinter(std::ostream& out, Mode mode, std::size_t width = 80,
                    std::chrono::milliseconds redrawInterval = std::chrono::milliseconds(100));

    void start(std::size_t totalItems);
    void itemStarted(std::string_view path);
    void fileStarted(std::string_view path);
    void fileCopied();
    /// What the run will copy: files and bytes; complete is false while it is still counting.
    void totals(std::uint64_t files, std::uint64_t bytes, bool complete);
    /// Bytes of the files copied so far (complete copies only).
    void bytesCopied(std::uint64_t bytes);
    /// Bytes done of the file being copied.
    void fileProgress(std::uint64_t done);
    void itemDone();
    /// A failure text as the window shows it; "\r\n" line breaks become plain line ends.
    void failure(std::string_view text);
    /// Clears the live line and prints the closing summary.
    void finish(std::string_view outcome);

    /// Takes the width from the terminal on standard error at every redraw, so that the
    /// line follows a window that is resized during the run.
    void followTerminalWidth() { m_followTerminal = true; }

    std::uint64_t filesCopied() const { return m_filesCopied; }
    std::size_t itemsDone() const { return m_itemsDone; }
    Mode mode() const { return m_mode; }

    /// The mode for standard error: Terminal when it is a terminal, else Plain.
    static Mode modeForStandardError(bool quiet);
    /// The column count of the terminal on standard error, or 80.
    static std::size_t terminalWidth();

    /// The text with control characters escaped: "\n", "\r", "\t", others "\xHH".
    static std::string escapeControl(std::string_view text);

    /// The path shortened in the middle with "..." to at most maxColumns characters
    /// (UTF-8 characters, never cut inside one).
    static std::string shortenMiddle(std::string_view text, std::size_t maxColumns);

private:
    void redraw(bool force);
    std::string totalsText();
    void clearLine();

    std::ostream& m_out;
    Mode m_mode;
    std::size_t m_width;
    bool m_followTerminal = false;
    std::chrono::milliseconds m_redrawInterval;
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::size_t m_totalItems = 0;
    std::size_t m_itemsDone = 0;
    std::uint64_t m_filesCopied = 0;
    std::string m_current;
    std::uint64_t m_totalFiles = 0;
    std::uint64_t m_totalBytes = 0;
    bool m_counting = false;
    bool m_totalsKnown = false;
    std::uint64_t m_bytesCopied = 0;
    std::uint64_t m_fileDone = 0;
    backup::TimeLeftEstimator m_estimator;
    bool m_lineShown = false;
};

} // namespace stowmere::cli
