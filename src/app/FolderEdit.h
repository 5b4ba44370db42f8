// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>

namespace stowmere::app {

class Dialogs;

/// A one-line folder field with a browse button at its right edge. The path can be typed
/// or chosen in the folder-browse dialog, which starts at the typed folder, else at the
/// folder chosen last, else at the root.
class FolderEdit : public QLineEdit {
    Q_OBJECT

public:
    FolderEdit(Dialogs& dialogs, QWidget* parent = nullptr);

    /// Runs the browse button's action: the dialog, then the chosen folder in the field.
    void browse();

    /// Where the next browse starts for the current text.
    QString browseStart() const;

    QString lastBrowsedFolder() const { return m_lastFolder; }

private:
    Dialogs& m_dialogs;
    QString m_lastFolder;
};

} // namespace stowmere::app
