#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace brelta::platform::desktop {

// What a popover hangs from. Tray hosts differ in what they tell: an XEmbed tray gives the icon's
// rectangle, a StatusNotifierItem host gives nothing but the click, and without any host there is only
// the screen.
struct PopoverAnchor
{
    enum class Kind { IconGeometry, Pointer, ScreenCorner };
    Kind kind = Kind::ScreenCorner;
    // The icon's rectangle, the pointer as a 1 x 1 rectangle, or the screen's top-right pixel.
    QRect rect;

    friend bool operator==(const PopoverAnchor &, const PopoverAnchor &) = default;
};

// The icon's geometry when it has one, else the pointer position captured when the icon was activated,
// else the top-right corner of `primaryAvailable` (the primary screen without its panels).
PopoverAnchor chooseAnchor(const QRect &iconGeometry, const std::optional<QPoint> &pointerAtActivation,
                           const QRect &primaryAvailable);

// Gap between the anchor and the popover.
inline constexpr int kPopoverGap = 4;

// Where a popover of `size` goes on the screen area `available`: centred under the anchor when the
// anchor lies in the upper half of the screen, centred above it in the lower half, then moved as little
// as needed to lie wholly inside `available` (a popover larger than the area keeps its top-left corner
// inside). Placed below, its top edge depends only on the anchor, so a resize keeps that edge; placed
// above, its bottom edge.
QRect placePopover(const QSize &size, const PopoverAnchor &anchor, const QRect &available);

} // namespace brelta::platform::desktop
