#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

namespace brelta::platform::desktop {

// Keeps one running instance per user. The first start takes a lock file and listens on a local socket
// that only the user may open, both in the user's runtime folder; a later start hands its arguments to
// the first over that socket and ends.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        // This process is the instance: it listens and receives the arguments of later starts.
        Primary,
        // A running instance took the arguments; this process should end (with status 0).
        HandedOver,
        // Neither: the lock is held but nobody answered, or the socket could not be opened. The message
        // says why; the caller decides (the program reports it and ends with a failure).
        Failed,
    };

    // `name` is the file name stem of the lock and the socket ("com.brelta.desktop"); `runtimeFolder`
    // empty = $XDG_RUNTIME_DIR (Qt's runtime location).
    explicit SingleInstance(QString name, QString runtimeFolder = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the instance, or hands `arguments` to the running one. A socket left by an instance that
    // died is removed, but only when nothing answers on it. A start that finds the lock held waits up to
    // `answerTimeout` for the running instance to answer (it may still be starting up).
    Role claim(const QStringList &arguments, std::chrono::milliseconds answerTimeout = std::chrono::seconds(5));

    QString errorString() const { return m_error; }
    QString socketPath() const { return m_socketPath; }
    QString lockPath() const { return m_lockPath; }

    // The socket is a way into the program for anything the user runs, so a connection gets one message,
    // of at most kMaxMessageBytes (all of it), within kMessageTimeout; anything else is dropped.
    static constexpr qint64 kMaxMessageBytes = 8 * 1024;
    static constexpr std::chrono::milliseconds kMessageTimeout{2000};

signals:
    // Another start handed over its arguments (the program name first, as in QCoreApplication::arguments()).
    void argumentsReceived(const QStringList &arguments);

private:
    bool handOver(const QStringList &arguments, std::chrono::milliseconds timeout);
    bool listen();
    void onNewConnection();

    QString m_socketPath;
    QString m_lockPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
    QString m_error;
};

} // namespace brelta::platform::desktop
