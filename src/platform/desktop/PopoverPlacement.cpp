#include "platform/desktop/PopoverPlacement.h"

#include <algorithm>

namespace brelta::platform::desktop {

PopoverAnchor chooseAnchor(const QRect &iconGeometry, const std::optional<QPoint> &pointerAtActivation,
                           const QRect &primaryAvailable)
{
    if (iconGeometry.isValid() && !iconGeometry.isEmpty())
        return {PopoverAnchor::Kind::IconGeometry, iconGeometry};
    if (pointerAtActivation)
        return {PopoverAnchor::Kind::Pointer, QRect(*pointerAtActivation, QSize(1, 1))};
    return {PopoverAnchor::Kind::ScreenCorner, QRect(primaryAvailable.topRight(), QSize(1, 1))};
}

QRect placePopover(const QSize &size, const PopoverAnchor &anchor, const QRect &available)
{
    const QRect &a = anchor.rect;
    const bool below = a.center().y() < available.center().y();
    int x = a.center().x() - size.width() / 2;
    int y = below ? a.bottom() + 1 + kPopoverGap : a.top() - kPopoverGap - size.height();

    // Right and bottom first, then left and top, so an oversized popover keeps its top-left corner visible.
    x = std::min(x, available.right() + 1 - size.width());
    y = std::min(y, available.bottom() + 1 - size.height());
    x = std::max(x, available.left());
    y = std::max(y, available.top());
    return QRect(QPoint(x, y), size);
}

} // namespace brelta::platform::desktop
