// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingDialogs.h"

namespace stowmere::app::testing {

bool RecordingDialogs::message(MessageKind kind, const QString& text)
{
    m_messages.push_back({kind, text});
    if (m_onMessage)
        m_onMessage(kind, text);
    if (kind != MessageKind::Confirmation && kind != MessageKind::ConfirmationDefaultNo)
        return true;
    if (m_answers.empty()) {
        ++m_unexpected;
        return false;
    }
    const bool answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::optional<QString> RecordingDialogs::browseFolder(const QString& start)
{
    m_browseStarts.push_back(start);
    if (m_folders.empty()) {
        ++m_unexpected;
        return std::nullopt;
    }
    const auto [chosen, folder] = m_folders.front();
    m_folders.pop_front();
    if (!chosen)
        return std::nullopt;
    return folder;
}

QStringList RecordingDialogs::openFiles()
{
    if (m_files.empty()) {
        ++m_unexpected;
        return {};
    }
    QStringList files = m_files.front();
    m_files.pop_front();
    return files;
}

QStringList RecordingDialogs::texts() const
{
    QStringList all;
    for (const Message& shown : m_messages)
        all << shown.text;
    return all;
}

void RecordingDialogs::clear()
{
    m_messages.clear();
    m_browseStarts.clear();
    m_unexpected = 0;
}

} // namespace stowmere::app::testing
