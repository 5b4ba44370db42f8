// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

namespace stowmere::controls {

/// Makes the self-painted controls known to assistive technology: the gradient button as a
/// push button, the check box as a check box with its checked state, and the panel as a
/// grouping named by its caption. Installing twice is harmless.
void installAccessibility();

/// The accessible interface of one of the controls above, or nullptr for anything else.
QAccessibleInterface* accessibleControl(const QString& className, QObject* object);

/// A caption as a screen reader says it: "&&" is a literal ampersand, a single "&" marks
/// the mnemonic and is dropped.
QString withoutMnemonic(const QString& caption);
/// The key that a caption's mnemonic stands for ("Alt+B" for "&Backup"), or empty.
QString mnemonicKey(const QString& caption);

} // namespace stowmere::controls
