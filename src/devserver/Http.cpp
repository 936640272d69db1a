#include "devserver/Http.h"

#include "platform/Json.h"

#include <QHttpServerRouterRule>
#include <QMetaEnum>

Q_LOGGING_CATEGORY(lcDevServer, "brelta.devserver.DevServer")

namespace brelta::devserver {
namespace {

// Matches one path exactly, whatever the method; the route's handler answers other methods itself.
class ExactPathRule : public QHttpServerRouterRule
{
public:
    ExactPathRule(const QString &path, RouterHandler handler)
        : QHttpServerRouterRule(path, std::move(handler))
        , m_path(path)
    {}

protected:
    bool matches(const QHttpServerRequest &request, QRegularExpressionMatch *) const override
    {
        return request.url().path() == m_path;
    }

private:
    QString m_path;
};

} // namespace

QHttpServerResponse jsonResponse(const Json &body, int status)
{
    return QHttpServerResponse(QByteArrayLiteral("application/json"), QByteArray::fromStdString(body.dump()),
                               static_cast<QHttpServerResponse::StatusCode>(status));
}

QHttpServerResponse errorResponse(int status, const QString &message)
{
    return jsonResponse(Json{{"error", message.toStdString()}}, status);
}

std::optional<nlohmann::json> jsonObjectBody(const QHttpServerRequest &request)
{
    try {
        nlohmann::json parsed = platform::parseJson(request.body());
        if (parsed.is_object())
            return parsed;
    } catch (const platform::JsonDecodeError &) {
    }
    return std::nullopt;
}

QByteArray findHeader(const QList<QPair<QByteArray, QByteArray>> &headers, QByteArrayView name)
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    const char *key = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(method));
    return key ? QByteArray(key).toUpper() : QByteArrayLiteral("UNKNOWN");
}

void RouteTable::add(const QString &path, QHttpServerRequest::Method method, Handler handler)
{
    m_server.route<ExactPathRule>(path, [method, handler = std::move(handler)](const QHttpServerRequest &request) {
        if (request.method() != method) {
            QHttpServerResponse refusal = errorResponse(405, QStringLiteral("method not allowed"));
            refusal.setHeader(QByteArrayLiteral("Allow"), methodName(method));
            return refusal;
        }
        return handler(request);
    });
}

} // namespace brelta::devserver
