#pragma once

#include <QDBusContext>
#include <QObject>
#include <QStringList>

// org.kde.StatusNotifierWatcher as a tray host's panel provides it: items register with it, and it tells
// them a host is there to show them. This one shows nothing; it records the items for the tests to find.
class FakeStatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    using QObject::QObject;

    QStringList registeredItems() const { return m_items; }
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    // `service` is a bus name (the item lives at /StatusNotifierItem) or an object path on the caller's
    // connection; either way the item is recorded as "<bus name><object path>".
    void RegisterStatusNotifierItem(const QString &service);
    void RegisterStatusNotifierHost(const QString &service);

signals:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierItemUnregistered(const QString &item);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items;
};
