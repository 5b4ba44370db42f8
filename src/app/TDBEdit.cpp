// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/TDataTable.h"

#include "app/StringConversion.h"
#include "app/TDBEdit.h"

#include <QKeyEvent>
#include <QValidator>

namespace stowmere::app {
namespace {

// The column counts bytes, so the limit does too: a 51st byte is refused as it is typed,
// also when it is the second half of a two-byte character.
class Utf8LimitValidator final : public QValidator {
public:
    explicit Utf8LimitValidator(TDBEdit& edit) : QValidator(&edit), m_edit(edit) {}

    State validate(QString& input, int&) const override
    {
        const int limit = m_edit.maxBytes();
        return limit > 0 && input.toUtf8().size() > limit ? Invalid : Acceptable;
    }

private:
    const TDBEdit& m_edit;
};

} // namespace

TDBEdit::TDBEdit(store::TDataTable& table, std::string fieldName, QWidget* parent)
    : QLineEdit(parent), m_table(table), m_fieldName(std::move(fieldName))
{
    setValidator(new Utf8LimitValidator(*this));
    connect(this, &QLineEdit::textEdited, this, [this] {
        startEditing();
        m_modified = true;
    });
}

int TDBEdit::maxBytes() const
{
    if (!m_table.Active())
        return 0;
    return static_cast<int>(m_table.FieldByName(m_fieldName).Size());
}

void TDBEdit::refresh()
{
    m_modified = false;
    if (!m_table.Active() || (m_table.IsEmpty() && m_table.State() != store::TDataSetState::dsInsert)) {
        clear();
        return;
    }
    setText(toQString(m_table.FieldByName(m_fieldName).AsString()));
}

void TDBEdit::startEditing()
{
    if (m_table.Active() && m_table.State() == store::TDataSetState::dsBrowse && !m_table.IsEmpty())
        m_table.Edit();
}

void TDBEdit::updateRecord()
{
    if (!m_modified)
        return;
    startEditing();
    m_table.FieldByName(m_fieldName).SetAsString(toUtf8String(text()));
    m_modified = false;
}

void TDBEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (m_table.Active() && m_table.State() != store::TDataSetState::dsBrowse)
        updateRecord();
}

void TDBEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        refresh();
        selectAll();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace stowmere::app
