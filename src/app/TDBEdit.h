// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>

#include <string>

namespace stowmere::store {
class TDataTable;
}

namespace stowmere::app {

/// A text field bound to one text column of a table's current row. It shows the row's
/// value, starts an edit of the row when the user types, and writes the text into the row
/// when it loses the focus (or when asked to). At most the column's size in UTF-8 bytes
/// can be typed. Escape puts the row's value back and selects it.
class TDBEdit : public QLineEdit {
    Q_OBJECT

public:
    TDBEdit(store::TDataTable& table, std::string fieldName, QWidget* parent = nullptr);

    /// Shows the current row's value.
    void refresh();
    /// Writes typed text into the row; does nothing when nothing was typed since the last
    /// refresh or write.
    void updateRecord();
    /// The column's size in bytes (0 while the table is closed).
    int maxBytes() const;

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void startEditing();

    store::TDataTable& m_table;
    std::string m_fieldName;
    bool m_modified = false;
};

} // namespace stowmere::app
