#pragma once

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QLoggingCategory>

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>

Q_DECLARE_LOGGING_CATEGORY(lcDevServer)

namespace brelta::devserver {

// Answers keep their keys in the order they are written, as a reader of a raw body would see them.
using Json = nlohmann::ordered_json;

// A JSON answer with "Content-Type: application/json".
QHttpServerResponse jsonResponse(const Json &body, int status = 200);

// A refusal: the status and {"error": message}, so whoever reads the log of a failed test sees why.
QHttpServerResponse errorResponse(int status, const QString &message);

// The request body as a JSON object; empty when the body is not one (an empty body included).
std::optional<nlohmann::json> jsonObjectBody(const QHttpServerRequest &request);

// The text under `key` of a JSON object; empty when the key is missing or holds anything but text.
template<typename JsonType>
std::optional<std::string> stringMember(const JsonType &object, const char *key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return std::nullopt;
    return it->template get<std::string>();
}

// A header by name, case-insensitively; empty when absent.
QByteArray findHeader(const QList<QPair<QByteArray, QByteArray>> &headers, QByteArrayView name);
inline QByteArray headerValue(const QHttpServerRequest &request, QByteArrayView name)
{
    return findHeader(request.headers(), name);
}

QByteArray methodName(QHttpServerRequest::Method method);

// Registers endpoints on a QHttpServer. Paths match exactly (no patterns), so the dots of the messaging
// service's paths mean dots; a known path asked with another method is answered 405.
class RouteTable
{
public:
    using Handler = std::function<QHttpServerResponse(const QHttpServerRequest &)>;

    explicit RouteTable(QHttpServer &server) : m_server(server) {}

    void add(const QString &path, QHttpServerRequest::Method method, Handler handler);

private:
    QHttpServer &m_server;
};

} // namespace brelta::devserver
