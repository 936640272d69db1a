#include "platform/desktop/SingleInstance.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

Q_LOGGING_CATEGORY(lcSingleInstance, "brelta.platform.SingleInstance")

namespace brelta::platform::desktop {

namespace {

// A message: this magic, the size of the rest, then the arguments as a QDataStream QStringList.
constexpr quint32 kMagic = 0x42524c31; // "BRL1"
constexpr char kAcknowledgement = 'k';

QByteArray encode(const QStringList &arguments)
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << arguments;
    }
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << kMagic << quint32(payload.size());
    message.append(payload);
    return message;
}

// Arguments from a message complete in `buffer`; nothing while it is incomplete. `malformed` is set for
// a message that will never decode.
std::optional<QStringList> decode(const QByteArray &buffer, bool &malformed)
{
    malformed = false;
    if (buffer.size() < 8)
        return std::nullopt;
    QDataStream in(buffer);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint32 size = 0;
    in >> magic >> size;
    if (magic != kMagic || qint64(size) + 8 > SingleInstance::kMaxMessageBytes) {
        malformed = true;
        return std::nullopt;
    }
    if (buffer.size() < 8 + qint64(size))
        return std::nullopt;
    QStringList arguments;
    QDataStream payload(buffer.mid(8, size));
    payload.setVersion(QDataStream::Qt_6_4);
    payload >> arguments;
    if (payload.status() != QDataStream::Ok) {
        malformed = true;
        return std::nullopt;
    }
    return arguments;
}

} // namespace

SingleInstance::SingleInstance(QString name, QString runtimeFolder, QObject *parent) : QObject(parent)
{
    if (runtimeFolder.isEmpty())
        runtimeFolder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    m_socketPath = QDir(runtimeFolder).filePath(name + QStringLiteral(".socket"));
    m_lockPath = QDir(runtimeFolder).filePath(name + QStringLiteral(".lock"));
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance()
{
    m_server.close();
}

SingleInstance::Role SingleInstance::claim(const QStringList &arguments, std::chrono::milliseconds answerTimeout)
{
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // Only a lock whose process is gone is stale, however old it is.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        // Someone may still answer on the socket (a lock file removed by hand): then that one is the instance.
        if (QFile::exists(m_socketPath) && handOver(arguments, std::chrono::milliseconds(500)))
            return Role::HandedOver;
        if (listen())
            return Role::Primary;
        return Role::Failed;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        m_error = QStringLiteral("cannot create the lock file %1").arg(m_lockPath);
        return Role::Failed;
    }
    if (handOver(arguments, answerTimeout))
        return Role::HandedOver;
    if (!m_error.isEmpty())
        return Role::Failed; // the hand-over said why
    qint64 pid = 0;
    QString host;
    QString application;
    m_lock->getLockInfo(&pid, &host, &application);
    m_error = QStringLiteral("another Brelta (process %1) holds %2 but did not answer on %3")
                  .arg(pid)
                  .arg(m_lockPath, m_socketPath);
    return Role::Failed;
}

bool SingleInstance::handOver(const QStringList &arguments, std::chrono::milliseconds timeout)
{
    const QByteArray message = encode(arguments);
    if (message.size() > kMaxMessageBytes) {
        m_error = QStringLiteral("the arguments are too long to hand to the running Brelta (%1 bytes, at most %2)")
                      .arg(message.size())
                      .arg(kMaxMessageBytes);
        return false;
    }
    const QDeadlineTimer deadline(timeout);
    do {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(int(std::max<qint64>(deadline.remainingTime(), 0)))) {
            socket.write(message);
            if (socket.waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 100)))
                && socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 100)))
                && socket.read(1) == QByteArray(1, kAcknowledgement)) {
                qCInfo(lcSingleInstance) << "handed the arguments to the running instance";
                return true;
            }
            qCWarning(lcSingleInstance) << "the running instance took the connection but did not confirm";
            return false;
        }
        // The running instance may not be listening yet.
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}

bool SingleInstance::listen()
{
    if (m_server.listen(m_socketPath))
        return true;
    if (m_server.serverError() == QAbstractSocket::AddressInUseError) {
        // We hold the lock and nobody answered: the socket is what a dead instance left behind.
        qCInfo(lcSingleInstance) << "removing a stale socket" << m_socketPath;
        QLocalServer::removeServer(m_socketPath);
        if (m_server.listen(m_socketPath))
            return true;
    }
    m_error = QStringLiteral("cannot listen on %1: %2").arg(m_socketPath, m_server.errorString());
    return false;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        QPointer<QLocalSocket> guarded(socket);
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [guarded] {
            qCWarning(lcSingleInstance) << "dropping a connection that sent no whole message in time";
            if (guarded)
                guarded->abort();
        });
        deadline->start(kMessageTimeout);
        connect(socket, &QLocalSocket::readyRead, this, [this, guarded, buffer, deadline] {
            if (!guarded)
                return;
            buffer->append(guarded->read(kMaxMessageBytes + 1 - buffer->size()));
            bool malformed = false;
            const std::optional<QStringList> arguments = decode(*buffer, malformed);
            if (malformed || buffer->size() > kMaxMessageBytes) {
                qCWarning(lcSingleInstance) << "refusing a malformed or oversized message from another start";
                guarded->abort();
                return;
            }
            if (!arguments)
                return;
            // One message per connection: nothing after it is read.
            deadline->stop();
            disconnect(guarded, &QLocalSocket::readyRead, this, nullptr);
            guarded->write(QByteArray(1, kAcknowledgement));
            guarded->flush();
            guarded->disconnectFromServer();
            emit argumentsReceived(*arguments);
        });
    }
}

} // namespace brelta::platform::desktop
