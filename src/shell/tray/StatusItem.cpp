#include "shell/tray/StatusItem.h"

#include <QImage>
#include <QLoggingCategory>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

Q_LOGGING_CATEGORY(lcStatusItem, "brelta.shell.StatusItem")

namespace brelta::shell {

namespace {

// Rendered here at the sizes tray hosts ask for, so the icon does not depend on Qt's SVG icon plugin.
QIcon requiredIcon(const QString &path)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        qFatal("the status image %s is missing from the program's resources", qPrintable(path));
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace

QIcon StatusItem::idleImage()
{
    return requiredIcon(QStringLiteral(":/shell/menu-bar-icon.svg"));
}

QIcon StatusItem::recordingImage()
{
    return requiredIcon(QStringLiteral(":/shell/menu-bar-icon-recording.svg"));
}

StatusItem::StatusItem(QObject *parent) : QObject(parent), m_idle(idleImage()), m_recordingIcon(recordingImage())
{
    m_menu.addSeparator();
    m_quit = m_menu.addAction(QStringLiteral("Quit Brelta"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setMenuRole(QAction::QuitRole);
    connect(m_quit, &QAction::triggered, this, &StatusItem::quitChosen);
    connect(&m_tray, &platform::desktop::TrayIcon::clicked, this, &StatusItem::clicked);
}

bool StatusItem::setUp()
{
    m_tray.setIcon(m_recording ? m_recordingIcon : m_idle);
    m_tray.setToolTip(QStringLiteral("Brelta"));
    m_tray.setContextMenu(&m_menu);
    m_hostAvailable = platform::desktop::TrayIcon::hostAvailable();
    m_tray.show();
    return m_hostAvailable;
}

void StatusItem::setRecording(bool recording)
{
    if (m_recording == recording)
        return;
    m_recording = recording;
    m_tray.setIcon(recording ? m_recordingIcon : m_idle);
    qCDebug(lcStatusItem) << "status image:" << (recording ? "recording" : "idle");
}

} // namespace brelta::shell
