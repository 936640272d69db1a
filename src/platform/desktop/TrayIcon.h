#pragma once

#include "platform/desktop/PopoverPlacement.h"

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QSystemTrayIcon>

#include <optional>

class QMenu;

namespace brelta::platform::desktop {

// The program's icon in the desktop's tray, through QSystemTrayIcon: a StatusNotifierItem when a host has
// registered with org.kde.StatusNotifierWatcher (Qt then exports the menu over dbusmenu and the host draws
// it), else an XEmbed icon when the screen has a system tray (Qt draws the menu). GNOME shows neither
// unless its AppIndicator extension is on.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(QObject *parent = nullptr);

    // Whether the desktop has a tray this process can use. Qt asks the StatusNotifierWatcher once per
    // process, so a host that appears later is seen only by XEmbed.
    static bool hostAvailable();

    void setIcon(const QIcon &icon);
    QIcon icon() const { return m_tray.icon(); }
    void setToolTip(const QString &text);
    // The right-click menu; Qt takes it as it is at the time of the call and follows later changes.
    void setContextMenu(QMenu *menu);
    void show();

    // Where a popover should hang: the icon's geometry (XEmbed), else the pointer where it was when the
    // icon was last activated (StatusNotifierItem hosts report no geometry), else the top-right corner of
    // the primary screen.
    PopoverAnchor anchor() const;

    QSystemTrayIcon *systemTrayIcon() { return &m_tray; }

signals:
    // A left click (Trigger). Double and middle clicks are ignored; the right click opens the menu.
    void clicked();

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_tray;
    std::optional<QPoint> m_pointerAtActivation;
};

} // namespace brelta::platform::desktop
