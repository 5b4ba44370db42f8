// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace stowmere::app {

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor()
{
    release();
}

void WaitCursor::release()
{
    if (!m_active)
        return;
    m_active = false;
    QApplication::restoreOverrideCursor();
}

} // namespace stowmere::app
