#include "platform/desktop/TrayIcon.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>

Q_LOGGING_CATEGORY(lcTrayIcon, "brelta.platform.TrayIcon")

namespace brelta::platform::desktop {

TrayIcon::TrayIcon(QObject *parent) : QObject(parent), m_tray(this)
{
    connect(&m_tray, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
}

bool TrayIcon::hostAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setIcon(const QIcon &icon)
{
    m_tray.setIcon(icon);
}

void TrayIcon::setToolTip(const QString &text)
{
    m_tray.setToolTip(text);
}

void TrayIcon::setContextMenu(QMenu *menu)
{
    m_tray.setContextMenu(menu);
}

void TrayIcon::show()
{
    m_tray.show();
}

PopoverAnchor TrayIcon::anchor() const
{
    const QScreen *primary = QGuiApplication::primaryScreen();
    return chooseAnchor(m_tray.geometry(), m_pointerAtActivation, primary ? primary->availableGeometry() : QRect());
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // The pointer is on the icon now; a StatusNotifierItem host tells nothing else about where it is.
    m_pointerAtActivation = QCursor::pos();
    qCDebug(lcTrayIcon) << "activated:" << reason << "pointer at" << *m_pointerAtActivation;
    if (reason == QSystemTrayIcon::Trigger)
        emit clicked();
}

} // namespace brelta::platform::desktop
