// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>

namespace stowmere::app {

/// A text field for one stored text column: it takes at most the column's size in UTF-8
/// bytes, and Escape puts the stored text back and selects it (when nothing differs from the
/// stored text, Escape goes on to the window).
class StoredTextEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit StoredTextEdit(int maxBytes, QWidget* parent = nullptr);

    /// Shows the stored text; typing since then counts as a change.
    void setStoredText(const QString& text);
    /// Whether the user typed into the field since the stored text was shown.
    bool typedInto() const { return m_typedInto; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_stored;
    bool m_typedInto = false;
};

} // namespace stowmere::app
