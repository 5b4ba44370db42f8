// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

namespace stowmere::app {

/// Makes every self-painted part of the program's windows known to assistive technology:
/// the controls, the progress window's parts and the check list with its items' checks.
/// Installing twice is harmless.
void installAccessibility();

/// The accessible interface of a check list or of a window of the program's own, or nullptr
/// for anything else.
QAccessibleInterface* accessibleAppWidget(const QString& className, QObject* object);

} // namespace stowmere::app
