// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ProgressPrinter.h"

#include "backup/FailureReport.h"
#include "platform/Translation.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace stowmere::cli {
namespace {

bool isLeadByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

std::size_t columnsOf(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text)
        count += isLeadByte(c) ? 1 : 0;
    return count;
}

/// Byte offset where character number `characters` starts.
std::size_t offsetOfCharacter(std::string_view text, std::size_t characters)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isLeadByte(text[i])) {
            if (seen == characters)
                return i;
            ++seen;
        }
    }
    return text.size();
}

} // namespace

ProgressPrinter::ProgressPrinter(std::ostream& out, Mode mode, std::size_t width,
                                 std::chrono::milliseconds redrawInterval)
    : m_out(out), m_mode(mode), m_width(width), m_redrawInterval(redrawInterval)
{
}

void ProgressPrinter::start(std::size_t totalItems)
{
    m_totalItems = totalItems;
    m_itemsDone = 0;
    m_filesCopied = 0;
}

void ProgressPrinter::itemStarted(std::string_view path)
{
    m_current.assign(path);
    if (m_mode == Mode::Plain) {
        m_out << '[' << (m_itemsDone + 1) << '/' << m_totalItems << "] " << escapeControl(path) << '\n'
              << std::flush;
    } else if (m_mode == Mode::Terminal) {
        redraw(true);
    }
}

void ProgressPrinter::fileStarted(std::string_view path)
{
    m_current.assign(path);
    m_fileDone = 0;
    if (m_mode == Mode::Terminal)
        redraw(false);
}

void ProgressPrinter::fileCopied()
{
    ++m_filesCopied;
    if (m_mode == Mode::Terminal)
        redraw(false);
}

void ProgressPrinter::totals(std::uint64_t files, std::uint64_t bytes, bool complete)
{
    m_totalFiles = files;
    m_totalBytes = bytes;
    m_counting = !complete;
    m_totalsKnown = complete;
    // Bytes measure the progress, unless the run copies nothing but empty files.
    m_estimator.setTotal(complete ? (bytes > 0 ? bytes : files) : 0);
    if (m_mode == Mode::Terminal)
        redraw(false);
}

void ProgressPrinter::bytesCopied(std::uint64_t bytes)
{
    m_bytesCopied = bytes;
    m_fileDone = 0;
}

void ProgressPrinter::fileProgress(std::uint64_t done)
{
    m_fileDone = done;
    if (m_mode == Mode::Terminal)
        redraw(false);
}

void ProgressPrinter::itemDone()
{
    ++m_itemsDone;
    if (m_mode == Mode::Terminal)
        redraw(true);
}

void ProgressPrinter::failure(std::string_view text)
{
    clearLine();
    // The window's texts break lines with "\r\n"; any other control character belongs to
    // a name and is shown escaped, so a name cannot forge a line of its own.
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = text.find("\r\n", start);
        plain += escapeControl(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            break;
        plain += '\n';
        start = end + 2;
    }
    m_out << plain;
    if (plain.empty() || plain.back() != '\n')
        m_out << '\n';
    m_out << std::flush;
    if (m_mode == Mode::Terminal)
        redraw(true);
}

void ProgressPrinter::finish(std::string_view outcome)
{
    clearLine();
    if (m_mode == Mode::Quiet)
        return;
    m_out << translation::format(ngettext("%s: %d of %d item done", "%s: %d of %d items done", m_totalItems),
                                 outcome, m_itemsDone, m_totalItems)
          << translation::format(ngettext(", %d file copied.\n", ", %d files copied.\n", m_filesCopied),
                                 m_filesCopied)
          << std::flush;
}

void ProgressPrinter::redraw(bool force)
{
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_lineShown && now - m_lastDraw < m_redrawInterval)
        return;
    m_lastDraw = now;
    std::string line =
        '[' + std::to_string(m_itemsDone) + '/' + std::to_string(m_totalItems) + "] " + totalsText();
    if (m_followTerminal)
        m_width = terminalWidth();
    // Leave the last column free: writing into it makes some terminals wrap, and a wrapped
    // line is no longer cleared by the next redraw, leaving a stale row behind.
    const std::size_t room = m_width > 0 ? m_width - 1 : 0;
    if (!m_current.empty()) {
        // A file name may hold control characters; on a terminal they would move the cursor.
        const std::string current = escapeControl(m_current);
        const std::size_t used = columnsOf(line) + 2;
        if (used + 3 < room)
            line += "  " + shortenMiddle(current, room - used);
    }
    // On a narrow terminal even the counts may not fit: their end goes.
    if (columnsOf(line) > room)
        line.resize(offsetOfCharacter(line, room));
    m_out << "\r\x1b[K" << line << std::flush;
    m_lineShown = true;
}

std::string ProgressPrinter::totalsText()
{
    if (m_counting)
        return translation::format(ngettext("counting: %d file, %s", "counting: %d files, %s", m_totalFiles),
                                   m_totalFiles, backup::formatByteSize(m_totalBytes));
    if (!m_totalsKnown)
        return translation::format(ngettext("%d file copied", "%d files copied", m_filesCopied),
                                   m_filesCopied);
    const std::uint64_t bytes = m_bytesCopied + m_fileDone;
    m_estimator.update(backup::TimeLeftEstimator::Clock::now(), m_totalBytes > 0 ? bytes : m_filesCopied);
    std::string text = translation::format(
        ngettext("%d/%d file, %s of %s", "%d/%d files, %s of %s", m_totalFiles), m_filesCopied, m_totalFiles,
        backup::formatByteSize(bytes), backup::formatByteSize(m_totalBytes));
    if (const auto rate = m_estimator.rate(); rate && m_totalBytes > 0)
        text += ", " + backup::formatByteSize(static_cast<std::uint64_t>(*rate)) + "/s";
    if (const auto left = m_estimator.timeLeft())
        text += ", " + backup::formatTimeLeft(*left);
    return text;
}

void ProgressPrinter::clearLine()
{
    if (m_mode == Mode::Terminal && m_lineShown) {
        m_out << "\r\x1b[K" << std::flush;
        m_lineShown = false;
    }
}

ProgressPrinter::Mode ProgressPrinter::modeForStandardError(bool quiet)
{
    if (quiet)
        return Mode::Quiet;
    return ::isatty(STDERR_FILENO) ? Mode::Terminal : Mode::Plain;
}

std::size_t ProgressPrinter::terminalWidth()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

std::string ProgressPrinter::escapeControl(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            result.push_back(c);
            continue;
        }
        switch (c) {
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        default:
            result += "\\x";
            result.push_back(kHex[byte >> 4]);
            result.push_back(kHex[byte & 0xf]);
        }
    }
    return result;
}

std::string ProgressPrinter::shortenMiddle(std::string_view text, std::size_t maxColumns)
{
    const std::size_t columns = columnsOf(text);
    if (columns <= maxColumns)
        return std::string(text);
    if (maxColumns <= 3)
        return std::string(text.substr(0, offsetOfCharacter(text, maxColumns)));
    const std::size_t keep = maxColumns - 3;
    const std::size_t head = keep / 2;
    const std::size_t tail = keep - head;
    std::string result(text.substr(0, offsetOfCharacter(text, head)));
    result += "...";
    result += text.substr(offsetOfCharacter(text, columns - tail));
    return result;
}

} // namespace stowmere::cli
