// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/RunRecord.h"

#include "backup/OwnNames.h"
#include "backup/VersionStore.h"

namespace stowmere::backup {

std::string escapeRecordPath(std::string_view path)
{
    std::string text;
    text.reserve(path.size());
    for (const char c : path) {
        if (c == '\\')
            text += "\\\\";
        else if (c == '\n')
            text += "\\n";
        else
            text += c;
    }
    return text;
}

std::string unescapeRecordPath(std::string_view text)
{
    std::string path;
    path.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
            path += text[i] == 'n' ? '\n' : text[i];
        } else {
            path += text[i];
        }
    }
    return path;
}

RunRecord::RunRecord(Destination& destination, std::time_t moment)
    : m_destination(destination), m_moment(moment)
{
}

RunRecord::~RunRecord()
{
    flush();
}

const std::string& RunRecord::name()
{
    if (!m_name.empty())
        return m_name;
    const std::string stamp = VersionStore::stampOf(m_moment);
    std::error_code error;
    const FolderHandle versions = m_destination.openFolder(kVersionsFolderName, error);
    const FolderHandle records = m_destination.openFolder(kRunRecordsFolderName, error);
    for (unsigned suffix = 1; suffix < 100000; ++suffix) {
        std::string name = suffix == 1 ? stamp : stamp + "-" + std::to_string(suffix);
        if (versions && m_destination.status(versions, name).kind != DestinationKind::Missing)
            continue;
        if (records && m_destination.status(records, name).kind != DestinationKind::Missing)
            continue;
        m_name = std::move(name);
        break;
    }
    return m_name;
}

bool RunRecord::open()
{
    if (m_opened)
        return m_appender != nullptr;
    m_opened = true;
    const std::string& runName = name();
    std::error_code error;
    bool created = false;
    const FolderHandle records = m_destination.makeFolder(
        m_destination.root(), std::string(kRunRecordsFolderName), 0777, created, error);
    if (records && !runName.empty())
        m_appender = m_destination.openAppend(records, runName, error);
    if (m_appender && m_appender->sizeAtOpen() > 0)
        error = std::make_error_code(std::errc::file_exists); // never another run's record
    if (!m_appender || error) {
        m_appender.reset();
        m_failure = "Cannot keep the record of this backup in " +
                    m_destination.pathOf(kRunRecordsFolderName) + ": " +
                    (error ? error.message() : std::string("no name is free")) +
                    "; restoring this backup's moment may bring back files added later.";
        return false;
    }
    m_heldBack.insert(0, std::string(kRunRecordHeader) + "\nmoment " + std::to_string(m_moment) + '\n');
    return true;
}

void RunRecord::add(std::string_view word, std::string_view relative)
{
    if (!open())
        return;
    m_heldBack += word;
    m_heldBack += ' ';
    m_heldBack += escapeRecordPath(relative);
    m_heldBack += '\n';
    if (m_heldBack.size() >= kHeldBack)
        flush();
}

void RunRecord::added(std::string_view relative)
{
    add("added", relative);
}

void RunRecord::replaced(std::string_view relative)
{
    add("replaced", relative);
}

void RunRecord::removed(std::string_view relative)
{
    // Written at once: it tells which entries a removed folder did not hold.
    add("removed", relative);
    flush();
}

void RunRecord::flush()
{
    if (!m_appender || m_heldBack.empty())
        return;
    if (const std::error_code error = m_appender->append(m_heldBack); error && m_failure.empty())
        m_failure = "Cannot write the record of this backup: " + error.message();
    m_heldBack.clear();
}

void RunRecord::finish()
{
    if (!m_appender)
        return;
    m_heldBack += "end\n";
    flush();
}

} // namespace stowmere::backup
