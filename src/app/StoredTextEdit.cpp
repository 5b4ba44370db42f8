// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StoredTextEdit.h"

#include <QKeyEvent>
#include <QValidator>

namespace stowmere::app {
namespace {

// The column counts bytes, so the limit does too: a 51st byte is refused as it is typed,
// also when it is the second half of a two-byte character.
class Utf8LimitValidator final : public QValidator {
public:
    Utf8LimitValidator(int limit, QObject* parent) : QValidator(parent), m_limit(limit) {}

    State validate(QString& input, int&) const override
    {
        return m_limit > 0 && input.toUtf8().size() > m_limit ? Invalid : Acceptable;
    }

private:
    int m_limit;
};

} // namespace

StoredTextEdit::StoredTextEdit(int maxBytes, QWidget* parent) : QLineEdit(parent)
{
    setValidator(new Utf8LimitValidator(maxBytes, this));
    connect(this, &QLineEdit::textEdited, this, [this] { m_typedInto = true; });
}

void StoredTextEdit::setStoredText(const QString& text)
{
    m_stored = text;
    setText(text);
    m_typedInto = false;
}

void StoredTextEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // With nothing to take back, Escape is left to the window (its Cancel).
        if (text() == m_stored) {
            event->ignore();
            return;
        }
        setText(m_stored);
        m_typedInto = false;
        selectAll();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace stowmere::app
