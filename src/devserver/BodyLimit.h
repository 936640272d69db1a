#pragma once

#include <QTcpServer>

#include <functional>

namespace brelta::devserver {

// The listening side of the local backend. On each connection it reads every request's head ahead of
// the HTTP server, which would otherwise keep a whole body in memory before any route sees it, and
// answers itself, closing the connection, when the body may not be read: 413 when its Content-Length is
// over the limit for its path, 411 when it declares no length (chunked), 400 for a malformed length and
// 431 for a head over 64 KB. A refused body is read and dropped as it arrives, so the client still gets
// the answer.
class BodyLimitingServer : public QTcpServer
{
    Q_OBJECT

public:
    // The largest body, in bytes, a request to `path` (decoded, without the query) may carry.
    using LimitFor = std::function<qint64(const QString &path)>;

    explicit BodyLimitingServer(LimitFor limitFor, QObject *parent = nullptr);

    static constexpr qsizetype kMaxHeadBytes = 64 * 1024;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    LimitFor m_limitFor;
};

} // namespace brelta::devserver
