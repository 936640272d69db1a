#include "devserver/BodyLimit.h"

#include "devserver/Http.h"

#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <optional>
#include <variant>

namespace brelta::devserver {
namespace {

// Follows one connection's byte stream request by request: a head, then as many body bytes as the head
// declares. It only peeks; the HTTP server, whose slot runs after this one, reads the same bytes.
class ConnectionGuard : public QObject
{
public:
    ConnectionGuard(QTcpSocket *socket, BodyLimitingServer::LimitFor limitFor)
        : QObject(socket)
        , m_socket(socket)
        , m_limitFor(std::move(limitFor))
    {
        // Connected before the HTTP server sees the socket, so this runs first on every arrival.
        connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::follow);
    }

private:
    struct Refusal
    {
        int status;
        QByteArray reason;
        QString message;
    };

    void follow()
    {
        const QByteArray arrived = m_socket->peek(m_socket->bytesAvailable());
        qsizetype used = 0;
        while (used < arrived.size()) {
            if (m_bodyLeft > 0) {
                const qint64 taken = std::min<qint64>(m_bodyLeft, arrived.size() - used);
                used += qsizetype(taken);
                m_bodyLeft -= taken;
                continue;
            }
            const qsizetype before = m_head.size();
            m_head.append(arrived.constData() + used, arrived.size() - used);
            const qsizetype end = m_head.indexOf("\r\n\r\n", std::max<qsizetype>(0, before - 3));
            if (end < 0) {
                if (m_head.size() > BodyLimitingServer::kMaxHeadBytes)
                    refuse({431, "Request Header Fields Too Large", QStringLiteral("request head over 64 KB")}, 0);
                return;
            }
            used += end + 4 - before;
            const QByteArray head = m_head.left(end);
            m_head.clear();
            if (head.trimmed().isEmpty()) // blank lines may come before a request
                continue;
            const std::variant<qint64, Refusal> verdict = judge(head);
            if (const auto *refusal = std::get_if<Refusal>(&verdict)) {
                const qint64 declared = refusal->status == 413 ? m_declaredLength : 0;
                refuse(*refusal, std::max<qint64>(0, declared - (arrived.size() - used)));
                return;
            }
            m_bodyLeft = std::get<qint64>(verdict);
        }
    }

    // The body length the head allows, or why it is refused.
    std::variant<qint64, Refusal> judge(const QByteArray &head)
    {
        QList<QByteArray> lines = head.split('\n');
        for (QByteArray &line : lines) {
            if (line.endsWith('\r'))
                line.chop(1);
        }
        while (!lines.isEmpty() && lines.first().isEmpty())
            lines.removeFirst();
        const QList<QByteArray> requestLine = lines.value(0).split(' ');
        if (requestLine.size() != 3)
            return Refusal{400, "Bad Request", QStringLiteral("malformed request line")};
        const QString path = QUrl::fromEncoded(requestLine.at(1)).path();

        std::optional<qint64> length;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines.at(i).indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = lines.at(i).left(colon).trimmed().toLower();
            const QByteArray value = lines.at(i).mid(colon + 1).trimmed();
            if (name == "transfer-encoding")
                return Refusal{411, "Length Required", QStringLiteral("send the body with a Content-Length")};
            if (name != "content-length")
                continue;
            bool number = !value.isEmpty()
                          && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
            const qint64 parsed = number ? value.toLongLong(&number) : 0;
            if (!number || (length && *length != parsed))
                return Refusal{400, "Bad Request", QStringLiteral("malformed Content-Length")};
            length = parsed;
        }
        m_declaredLength = length.value_or(0);
        const qint64 limit = m_limitFor(path);
        if (m_declaredLength > limit)
            return Refusal{413, "Payload Too Large",
                           QStringLiteral("a request to %1 may carry at most %2 bytes").arg(path).arg(limit)};
        return m_declaredLength;
    }

    // Answers in place of the HTTP server, which never sees this connection again.
    void refuse(const Refusal &refusal, qint64 bodyStillComing)
    {
        qCWarning(lcDevServer).noquote() << "refused a request:" << refusal.status << refusal.message;
        disconnect(m_socket, &QTcpSocket::readyRead, nullptr, nullptr);
        connect(m_socket, &QTcpSocket::readyRead, this, &ConnectionGuard::drop);
        // The HTTP server may have begun a read transaction that would keep every byte.
        if (m_socket->isTransactionStarted())
            m_socket->commitTransaction();
        const QByteArray body = QByteArray::fromStdString(Json{{"error", refusal.message.toStdString()}}.dump());
        m_socket->write("HTTP/1.1 " + QByteArray::number(refusal.status) + ' ' + refusal.reason
                        + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                        + "\r\nConnection: close\r\n\r\n" + body);
        m_socket->skip(m_socket->bytesAvailable());
        m_bodyLeft = bodyStillComing;
        if (m_bodyLeft == 0)
            m_socket->disconnectFromHost();
    }

    void drop()
    {
        const qint64 skipped = m_socket->skip(m_socket->bytesAvailable());
        if (m_bodyLeft > 0 && (m_bodyLeft -= std::max<qint64>(skipped, 0)) <= 0)
            m_socket->disconnectFromHost();
    }

    QTcpSocket *const m_socket;
    const BodyLimitingServer::LimitFor m_limitFor;
    QByteArray m_head;
    qint64 m_bodyLeft = 0;
    qint64 m_declaredLength = 0;
};

} // namespace

BodyLimitingServer::BodyLimitingServer(LimitFor limitFor, QObject *parent)
    : QTcpServer(parent)
    , m_limitFor(std::move(limitFor))
{}

void BodyLimitingServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    new ConnectionGuard(socket, m_limitFor);
    addPendingConnection(socket);
}

} // namespace brelta::devserver
