#pragma once

#include "platform/desktop/PopoverPlacement.h"
#include "platform/desktop/TrayIcon.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QObject>

namespace brelta::shell {

// Brelta's tray icon: the idle and recording images and the menu that holds a separator and
// "Quit Brelta" (Ctrl+Q). A StatusNotifierItem host draws the menu from Qt's dbusmenu export on a right
// click; an XEmbed tray gets it from Qt.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    // The images are compiled in; without them the program is broken and stops here.
    explicit StatusItem(QObject *parent = nullptr);

    // Shows the icon. False when the desktop has no tray to show it in.
    bool setUp();
    bool hostAvailable() const { return m_hostAvailable; }

    void setRecording(bool recording);
    bool showsRecordingImage() const { return m_recording; }

    static QIcon idleImage();
    static QIcon recordingImage();

    platform::desktop::PopoverAnchor anchor() const { return m_tray.anchor(); }
    QMenu *menu() { return &m_menu; }
    QAction *quitAction() { return m_quit; }
    platform::desktop::TrayIcon *trayIcon() { return &m_tray; }

signals:
    void clicked();
    void quitChosen();

private:
    platform::desktop::TrayIcon m_tray;
    QMenu m_menu;
    QAction *m_quit = nullptr;
    QIcon m_idle;
    QIcon m_recordingIcon;
    bool m_recording = false;
    bool m_hostAvailable = false;
};

} // namespace brelta::shell
