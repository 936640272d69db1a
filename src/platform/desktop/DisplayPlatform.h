#pragma once

#include <QByteArray>

namespace brelta::platform::desktop {

// The Qt platform plugin to ask for, from the environment the program starts in. Empty: leave Qt's own
// choice. A user's explicit QT_QPA_PLATFORM always holds. Under Wayland with XWayland present the answer is
// "xcb": a Wayland client cannot place its own top-level windows, and popovers must sit by the tray icon.
QByteArray preferredQpaPlatform(const QByteArray &qtQpaPlatform, const QByteArray &waylandDisplay,
                                const QByteArray &display);

// Reads the three variables and sets QT_QPA_PLATFORM when preferredQpaPlatform() says so. Call before the
// QApplication is made. Returns the platform it chose (empty when it left the choice to Qt).
QByteArray applyPreferredQpaPlatform();

} // namespace brelta::platform::desktop
