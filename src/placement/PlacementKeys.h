// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

class QWidget;

namespace stowmere::placement {

class IniFile;

/// "(<width>x<height>)" of the primary screen in pixels, appended to the position keys so
/// that each screen size keeps its own placement.
std::string screenSuffix();
/// The primary screen's logical pixels per inch, rounded.
int screenPixelsPerInch();

/// Writes "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos" and "NormPos" (each position key
/// with and without the screen suffix), in that order.
void writePlacement(const QWidget& window, IniFile& ini, std::string_view section);

/// Reads what writePlacement wrote and applies it to the window: the position and size
/// only when they were stored at the current pixels per inch, the state when readState.
void readPlacement(QWidget& window, const IniFile& ini, std::string_view section, bool readPosition,
                   bool readState);

} // namespace stowmere::placement
