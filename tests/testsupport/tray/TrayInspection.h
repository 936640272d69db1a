#pragma once

// What a tray host sees of a program's tray icon, read over D-Bus: the items registered with the
// StatusNotifierWatcher and the menu an item exports (com.canonical.dbusmenu). Header-only; link Qt6::DBus.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QList>
#include <QStringList>
#include <QVariantMap>

namespace brelta::testsupport::tray {

inline const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// A D-Bus call. With `serveOwnObjects` the event loop runs while it waits, so an object of this very
// process (its own tray icon) can answer.
inline QDBusMessage call(const QString &service, const QString &path, const QString &interface, const QString &method,
                         const QVariantList &arguments = {}, bool serveOwnObjects = false)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, serveOwnObjects ? QDBus::BlockWithGui : QDBus::Block, 5000);
}

inline QVariant property(const QString &service, const QString &path, const QString &interface, const QString &name,
                         bool serveOwnObjects = false)
{
    const QDBusMessage reply = call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {interface, name}, serveOwnObjects);
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

// "<bus name>/StatusNotifierItem" for each registered item, in the order they registered.
inline QStringList registeredItems()
{
    return property(kWatcherService, QStringLiteral("/StatusNotifierWatcher"), kWatcherService,
                    QStringLiteral("RegisteredStatusNotifierItems"))
        .toStringList();
}

struct MenuEntry
{
    int id = 0;
    QVariantMap properties;
};

// The top-level entries of the menu the item at `itemService` exports, empty when it answers nothing.
inline QList<MenuEntry> menuEntries(const QString &itemService, bool serveOwnObjects = false)
{
    const QDBusMessage reply = call(itemService, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                                    QStringLiteral("GetLayout"), {0, -1, QStringList()}, serveOwnObjects);
    QList<MenuEntry> entries;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return entries;
    const QDBusArgument layout = reply.arguments().value(1).value<QDBusArgument>();
    int rootId = 0;
    QVariantMap rootProperties;
    layout.beginStructure();
    layout >> rootId >> rootProperties;
    layout.beginArray();
    while (!layout.atEnd()) {
        QDBusVariant child;
        layout >> child;
        const QDBusArgument node = child.variant().value<QDBusArgument>();
        MenuEntry entry;
        node.beginStructure();
        node >> entry.id >> entry.properties;
        node.endStructure();
        entries.append(entry);
    }
    layout.endArray();
    layout.endStructure();
    return entries;
}

// The host reports a click on a menu entry, as when the user chooses it.
inline QDBusMessage clickMenuEntry(const QString &itemService, int id, bool serveOwnObjects = false)
{
    return call(
        itemService, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"),
        {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))), uint(0)}, serveOwnObjects);
}

} // namespace brelta::testsupport::tray
