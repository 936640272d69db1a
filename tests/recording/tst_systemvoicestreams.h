#pragma once

// Helpers of the system-voice tests for the record streams of the private test server.

#include "testsupport/AudioFixtures.h"

#include <QFile>
#include <QLocalSocket>
#include <QStringList>

namespace systemvoicetest {

// Names of the record streams open on the server, without the test server's own microphone remap.
inline QStringList recordStreamNames()
{
    QStringList names;
    const QStringList lines = brelta::testsupport::pactl({QStringLiteral("list"), QStringLiteral("source-outputs")})
                                  .split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("media.name = \"")))
            names << line.mid(14).chopped(1);
    }
    names.removeAll(QStringLiteral("Remapped Stream"));
    return names;
}

// The index of the record stream named `streamName`; empty when there is none.
inline QString sourceOutputIndex(const QString &streamName)
{
    QString index;
    const QStringList lines = brelta::testsupport::pactl({QStringLiteral("list"), QStringLiteral("source-outputs")})
                                  .split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("Source Output #")))
            index = line.mid(15);
        else if (line == QStringLiteral("media.name = \"%1\"").arg(streamName))
            return index;
    }
    return {};
}

// Ends a record stream from the server's side, as when the server drops it. pactl cannot do that, so this
// speaks the server's command-line protocol, on a socket at `cliSocket` loaded on first use.
inline bool killSourceOutput(const QString &index, const QString &cliSocket)
{
    if (index.isEmpty())
        return false;
    if (!QFile::exists(cliSocket))
        brelta::testsupport::pactl({QStringLiteral("load-module"), QStringLiteral("module-cli-protocol-unix"),
                                    QStringLiteral("socket=") + cliSocket});
    QLocalSocket cli;
    cli.connectToServer(cliSocket);
    if (!cli.waitForConnected(5000))
        return false;
    cli.write(QStringLiteral("kill-source-output %1\n").arg(index).toUtf8());
    cli.waitForBytesWritten(5000);
    cli.waitForReadyRead(1000);
    cli.disconnectFromServer();
    return true;
}

} // namespace systemvoicetest
