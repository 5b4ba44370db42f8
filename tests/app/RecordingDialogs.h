// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Dialogs.h"

#include <deque>
#include <functional>
#include <vector>

namespace stowmere::app::testing {

/// A Dialogs that shows nothing: it records every message and answers every question from
/// answers queued before the action. A question with no answer queued is answered "No" or
/// "Cancel" and counted as unexpected, so a test notices a box it did not plan for.
class RecordingDialogs final : public Dialogs {
public:
    struct Message {
        MessageKind kind;
        QString text;
        bool operator==(const Message&) const = default;
    };

    bool message(MessageKind kind, const QString& text) override;
    std::optional<QString> browseFolder(const QString& start) override;
    QStringList openFiles() override;

    void setNextAnswer(bool yes) { m_answers.push_back(yes); }
    void setNextFolder(std::optional<QString> folder)
    {
        m_folders.emplace_back(folder.has_value(), folder.value_or(QString()));
    }
    void setNextFiles(QStringList files) { m_files.push_back(std::move(files)); }
    /// Runs while the next message box would be open (the code under test is blocked).
    void setOnMessage(std::function<void(MessageKind, const QString&)> hook)
    {
        m_onMessage = std::move(hook);
    }

    const std::vector<Message>& messages() const { return m_messages; }
    QStringList texts() const;
    const std::vector<QString>& browseStarts() const { return m_browseStarts; }
    int unexpected() const { return m_unexpected; }
    void clear();

private:
    std::vector<Message> m_messages;
    std::deque<bool> m_answers;
    std::deque<std::pair<bool, QString>> m_folders; ///< chosen, folder
    std::deque<QStringList> m_files;
    std::vector<QString> m_browseStarts;
    std::function<void(MessageKind, const QString&)> m_onMessage;
    int m_unexpected = 0;
};

} // namespace stowmere::app::testing
