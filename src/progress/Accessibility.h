// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

namespace stowmere::progress {

/// Makes the progress window's self-painted parts known to assistive technology: the
/// cylinder bar as a progress bar with its value, the bevel frame as a grouping and the busy
/// picture as an animation, and the window itself as a dialog. Installing twice is harmless.
void installAccessibility();

/// The accessible interface of one of the widgets above, or nullptr for anything else.
QAccessibleInterface* accessibleProgressWidget(const QString& className, QObject* object);

} // namespace stowmere::progress
