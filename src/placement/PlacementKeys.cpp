// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement/PlacementKeys.h"

#include "placement/FormPosition.h"
#include "placement/IniFile.h"
#include "placement/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace stowmere::placement {
namespace {

std::string fourNumbers(int a, int b, int c, int d)
{
    return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," + std::to_string(d);
}

// Words of a stored list: runs of commas and spaces separate them, so "1, 2,,3 4" has four.
std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> result;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ',' || text[i] == ' '))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ',' && text[i] != ' ')
            ++i;
        if (i > start)
            result.push_back(text.substr(start, i - start));
    }
    return result;
}

// Word n (from 0) as a decimal number, or fallback when it is missing or no number.
int wordAsInteger(const std::vector<std::string_view>& list, std::size_t n, int fallback)
{
    if (n >= list.size())
        return fallback;
    const std::string_view word = list[n];
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
        return fallback;
    return IniFile::parseInteger(word).value_or(fallback);
}

// The value under key + screen suffix, else under the plain key; empty when neither has one.
std::string positionValue(const IniFile& ini, std::string_view section, const std::string& key)
{
    std::string value = ini.readString(section, key + screenSuffix(), "");
    if (value.empty())
        value = ini.readString(section, key, "");
    return value;
}

} // namespace

std::string screenSuffix()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QSize size = primary ? primary->size() : QSize();
    return "(" + std::to_string(size.width()) + "x" + std::to_string(size.height()) + ")";
}

int screenPixelsPerInch()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? static_cast<int>(std::lround(primary->logicalDotsPerInch())) : 96;
}

void writePlacement(const QWidget& window, IniFile& ini, std::string_view section)
{
    const WindowPlacement placement = windowPlacement(window);
    const std::string suffix = screenSuffix();

    ini.writeInteger(section, "Flags", placement.flags);
    // A minimised window reports kSwShowMinimized itself, which is also what makes the
    // whole application start minimised next time.
    ini.writeInteger(section, "ShowCmd", placement.showCmd);
    ini.writeInteger(section, "PixelsPerInch", screenPixelsPerInch());

    const std::string minMax = fourNumbers(placement.minPosition.x(), placement.minPosition.y(),
                                           placement.maxPosition.x(), placement.maxPosition.y());
    ini.writeString(section, "MinMaxPos" + suffix, minMax);
    ini.writeString(section, "MinMaxPos", minMax);

    const PlacementRect& normal = placement.normalPosition;
    const std::string normPos = fourNumbers(normal.left, normal.top, normal.right, normal.bottom);
    ini.writeString(section, "NormPos" + suffix, normPos);
    ini.writeString(section, "NormPos", normPos);
}

void readPlacement(QWidget& window, const IniFile& ini, std::string_view section, bool readPosition,
                   bool readState)
{
    WindowPlacement placement = windowPlacement(window);
    if (!window.isVisible())
        placement.showCmd = kSwHide;

    if (readPosition) {
        bool found = false;
        placement.flags = ini.readInteger(section, "Flags", placement.flags);

        if (const std::string value = positionValue(ini, section, "MinMaxPos"); !value.empty()) {
            const auto list = words(value);
            placement.minPosition = QPoint(wordAsInteger(list, 0, 0), wordAsInteger(list, 1, 0));
            placement.maxPosition = QPoint(wordAsInteger(list, 2, 0), wordAsInteger(list, 3, 0));
            found = true;
        }

        if (const std::string value = positionValue(ini, section, "NormPos"); !value.empty()) {
            const auto list = words(value);
            const QRect current = window.geometry();
            PlacementRect& normal = placement.normalPosition;
            normal.left = wordAsInteger(list, 0, current.left());
            normal.top = wordAsInteger(list, 1, current.top());
            normal.right = wordAsInteger(list, 2, current.left() + current.width());
            normal.bottom = wordAsInteger(list, 3, current.top() + current.height());
            found = true;
        }

        // Positions stored at another pixels-per-inch setting would put a differently sized
        // window in the wrong place; the window then opens where it places itself.
        const int currentPixelsPerInch = screenPixelsPerInch();
        if (found &&
            ini.readInteger(section, "PixelsPerInch", currentPixelsPerInch) == currentPixelsPerInch) {
            PlacementRect& normal = placement.normalPosition;
            if (!hasSizeableBorder(window)) {
                // The user cannot resize such a window; only its place is restored.
                normal.right = normal.left + window.width();
                normal.bottom = normal.top + window.height();
            }
            // An empty rectangle (also from a damaged file) would leave no window to see.
            if (normal.right > normal.left && normal.bottom > normal.top) {
                // Centring on show would move the restored window away again.
                const WindowPosition position = formPosition(window);
                if (position == WindowPosition::ScreenCenter || position == WindowPosition::DesktopCenter)
                    setFormPosition(window, WindowPosition::Designed);
                setWindowPlacement(window, placement);
            }
        }
    }

    if (readState) {
        const WindowPosition position = formPosition(window);
        const bool mainWindow = isApplicationMainWindow(window);
        Qt::WindowState state = Qt::WindowNoState;
        if (mainWindow && (position == WindowPosition::Default || position == WindowPosition::DefaultPosOnly))
            state = Qt::WindowMaximized;

        switch (ini.readInteger(section, "ShowCmd", kSwHide)) {
        case kSwShowNormal:
        case kSwShow:
        case kSwRestore:
            state = Qt::WindowNoState;
            break;
        case kSwShowMinimized:
        case kSwMinimize:
        case kSwShowMinNoActive:
            state = Qt::WindowMinimized;
            break;
        case kSwShowMaximized:
            state = Qt::WindowMaximized;
            break;
        default:
            break;
        }

        constexpr Qt::WindowStates kSpecial =
            Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
        const Qt::WindowStates kept = window.windowState() & ~kSpecial;
        if (state == Qt::WindowMinimized && mainWindow) {
            // The whole application starts minimised: the window is shown first and then
            // minimised, and comes back in the state it had before it was minimised.
            const bool toMaximized = placement.flags & kWpfRestoreToMaximized;
            window.setWindowState(toMaximized ? kept | Qt::WindowMaximized : kept);
            QTimer::singleShot(0, &window, [target = &window] {
                if (target->isVisible())
                    target->setWindowState(target->windowState() | Qt::WindowMinimized);
            });
            return;
        }
        window.setWindowState(kept | state);
    }

    if (window.isVisible())
        window.repaint();
}

} // namespace stowmere::placement
