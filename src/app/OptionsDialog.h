// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalog/Entities.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QSpinBox;

namespace stowmere::controls {
class GradientButton;
}

namespace stowmere::app {

class Dialogs;

/// Edits one backup set's options: the patterns left out, the versions kept of replaced
/// copies, CACHEDIR.TAG and the drive guard. Save hands the options to save, which may
/// refuse them (the refusal is shown and the dialog stays open); Cancel changes nothing.
class OptionsDialog final : public QDialog {
    Q_OBJECT

public:
    using SaveHandler = std::function<void(const catalog::SetOptions&)>;

    OptionsDialog(Dialogs& dialogs, const QString& setDescription, catalog::SetOptions options,
                  SaveHandler save, QWidget* parent = nullptr);

    /// The options as the fields show them; empty lines of the patterns are dropped.
    catalog::SetOptions options() const;

private:
    /// Shows the drive of the last backup by its mount point and label.
    void showDrive();
    void saveClick();

    Dialogs& m_dialogs;
    catalog::SetOptions m_original;
    SaveHandler m_save;
    QPlainTextEdit* m_exclusions = nullptr;             // optionsExclusions
    QSpinBox* m_keepVersions = nullptr;                 // optionsKeepVersions
    QSpinBox* m_keepDays = nullptr;                     // optionsKeepDays
    QCheckBox* m_cacheDirTag = nullptr;                 // optionsCacheDirTag
    QCheckBox* m_mirror = nullptr;                      // optionsMirror
    QCheckBox* m_guard = nullptr;                       // optionsGuard
    QLabel* m_drive = nullptr;                          // optionsDrive
    controls::GradientButton* m_saveButton = nullptr;   // optionsSave
    controls::GradientButton* m_cancelButton = nullptr; // optionsCancel
};

} // namespace stowmere::app
