// Owns org.kde.StatusNotifierWatcher on the session bus, prints "ready" once it does, and runs until it is
// terminated (or its parent test dies).

#include "FakeStatusNotifierWatcher.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "fake watcher: no session bus\n");
        return 1;
    }
    FakeStatusNotifierWatcher watcher;
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals
                                | QDBusConnection::ExportAllProperties)) {
        std::fprintf(stderr, "fake watcher: cannot export the watcher object\n");
        return 1;
    }
    if (!bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "fake watcher: org.kde.StatusNotifierWatcher is taken: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
