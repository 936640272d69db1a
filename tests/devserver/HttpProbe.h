#pragma once

#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <chrono>

class QHttpMultiPart;

namespace brelta::devserver::test {

struct ProbeReply
{
    int status = 0; // 0 when no answer came
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;
    bool finished = false;

    nlohmann::json json() const { return nlohmann::json::parse(body.begin(), body.end(), nullptr, false); }
    QByteArray header(QByteArrayView name) const;
};

// A plain HTTP client for talking to the server the way any client would, one call at a time.
class HttpProbe
{
public:
    explicit HttpProbe(QUrl base) : m_base(std::move(base)) {}

    void setBearer(const QString &accessToken) { m_bearer = accessToken; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // `pathAndQuery` such as "/authn/password?realm=tarvelo"; a non-empty body goes as JSON.
    QNetworkReply *start(const QByteArray &method, const QString &pathAndQuery, const QByteArray &body = {},
                         const QList<QNetworkReply::RawHeaderPair> &headers = {});
    QNetworkReply *startMultipart(const QString &path, QHttpMultiPart *form);

    ProbeReply send(const QByteArray &method, const QString &pathAndQuery, const QByteArray &body = {},
                    const QList<QNetworkReply::RawHeaderPair> &headers = {});
    ProbeReply post(const QString &pathAndQuery, const nlohmann::json &body)
    {
        return send("POST", pathAndQuery, QByteArray::fromStdString(body.dump()));
    }

    // Waits (running the event loop) until the reply finishes or 10 s pass, then collects it.
    static ProbeReply finish(QNetworkReply *reply);

private:
    QNetworkRequest request(const QString &pathAndQuery) const;

    QUrl m_base;
    QString m_bearer;
    std::chrono::milliseconds m_timeout{5000};
    QNetworkAccessManager m_network;
};

} // namespace brelta::devserver::test
