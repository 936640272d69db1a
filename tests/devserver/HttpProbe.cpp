#include "HttpProbe.h"

#include <QHttpMultiPart>
#include <QSignalSpy>

namespace brelta::devserver::test {

QByteArray ProbeReply::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QNetworkRequest HttpProbe::request(const QString &pathAndQuery) const
{
    QNetworkRequest request(m_base.resolved(QUrl(pathAndQuery)));
    request.setTransferTimeout(int(m_timeout.count()));
    if (!m_bearer.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + m_bearer.toLatin1());
    return request;
}

QNetworkReply *HttpProbe::start(const QByteArray &method, const QString &pathAndQuery, const QByteArray &body,
                                const QList<QNetworkReply::RawHeaderPair> &headers)
{
    QNetworkRequest request = this->request(pathAndQuery);
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    return m_network.sendCustomRequest(request, method, body);
}

QNetworkReply *HttpProbe::startMultipart(const QString &path, QHttpMultiPart *form)
{
    QNetworkReply *reply = m_network.post(request(path), form);
    form->setParent(reply);
    return reply;
}

ProbeReply HttpProbe::send(const QByteArray &method, const QString &pathAndQuery, const QByteArray &body,
                           const QList<QNetworkReply::RawHeaderPair> &headers)
{
    return finish(start(method, pathAndQuery, body, headers));
}

ProbeReply HttpProbe::finish(QNetworkReply *reply)
{
    if (!reply->isFinished()) {
        QSignalSpy finished(reply, &QNetworkReply::finished);
        finished.wait(10000);
    }
    ProbeReply result;
    result.finished = reply->isFinished();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.error = reply->error();
    result.body = reply->isOpen() ? reply->readAll() : QByteArray();
    result.headers = reply->rawHeaderPairs();
    reply->deleteLater();
    return result;
}

} // namespace brelta::devserver::test
