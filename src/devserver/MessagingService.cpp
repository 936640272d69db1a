#include "devserver/MessagingService.h"

namespace brelta::devserver {
namespace {

// The caller names the user it polls for; it must be the one its token belongs to.
std::optional<QHttpServerResponse> checkUserId(const User &user, const nlohmann::json &body)
{
    const auto userId = stringMember(body, "user_id");
    if (!userId)
        return errorResponse(400, QStringLiteral("expected the text \"user_id\""));
    if (QString::fromStdString(*userId).compare(user.email, Qt::CaseInsensitive) != 0)
        return errorResponse(403, QStringLiteral("\"user_id\" is not the signed-in user"));
    return std::nullopt;
}

} // namespace

void MessagingService::install(RouteTable &routes)
{
    auto call = [this](auto handler) {
        return [this, handler](const QHttpServerRequest &request) {
            const auto user = m_auth.authenticate(request);
            if (!user)
                return AuthService::unauthorized();
            const auto body = jsonObjectBody(request);
            return body ? handler(*user, *body) : errorResponse(400, QStringLiteral("expected a JSON object body"));
        };
    };
    using Method = QHttpServerRequest::Method;
    routes.add(listPath, Method::Post, call([this](const User &u, const nlohmann::json &b) { return list(u, b); }));
    routes.add(getPath, Method::Post, call([this](const User &u, const nlohmann::json &b) { return get(u, b); }));
    routes.add(reportPath, Method::Post, call([this](const User &u, const nlohmann::json &b) { return report(u, b); }));
}

bool MessagingService::Active::isFor(const User &user) const
{
    return !recipient || recipient->compare(user.email, Qt::CaseInsensitive) == 0;
}

QString MessagingService::queueMessage(const Json &message, const std::optional<QString> &recipient)
{
    if (!message.is_object())
        return QStringLiteral("a message must be a JSON object");
    const auto messageId = stringMember(message, "messageId");
    if (!messageId || messageId->empty())
        return QStringLiteral("a message needs a non-empty text \"messageId\"");
    const auto slot = message.find("slot");
    if (slot != message.end() && !slot->is_null() && !slot->is_string())
        return QStringLiteral("\"slot\" must be a text when present");
    for (const char *key : {"content", "schedule"}) {
        const auto member = message.find(key);
        if (member == message.end() || !member->is_object())
            return QStringLiteral("a message needs the object \"%1\"").arg(QLatin1String(key));
    }

    const qsizetype existing = indexOf(*messageId);
    if (existing >= 0)
        m_active[existing] = Active{message, recipient};
    else
        m_active.append(Active{message, recipient});
    return {};
}

void MessagingService::queueMeetingReport(const QString &recipient, const QString &meetingTimestamp, qint64 seconds,
                                          const QUrl &dashboardUrl)
{
    ++m_reportCount;
    Json report{{"messageTitle", "Your session report"},
                {"summary", "You kept a steady pace and gave others room to speak."},
                {"dashboardUrl", dashboardUrl.toString().toStdString()},
                {"meetingTimestamp", meetingTimestamp.toStdString()},
                {"wordsSaid", seconds * 2},
                {"meetingDuration", std::to_string(seconds) + "s"}};
    const Json message{{"messageId", "meeting-report-" + std::to_string(m_reportCount)},
                       {"content", {{"meetingReport", report}}},
                       {"schedule", {{"asap", Json::object()}}}};
    queueMessage(message, recipient);
}

QHttpServerResponse MessagingService::list(const User &user, const nlohmann::json &body)
{
    if (auto refusal = checkUserId(user, body))
        return std::move(*refusal);
    Json entries = Json::array();
    for (const Active &active : std::as_const(m_active)) {
        if (!active.isFor(user))
            continue;
        const Json &message = active.message;
        Json entry{{"messageId", message.at("messageId")}};
        if (const auto slot = stringMember(message, "slot"))
            entry["slot"] = *slot;
        entries.push_back(std::move(entry));
    }
    return jsonResponse(Json{{"entries", entries}});
}

QHttpServerResponse MessagingService::get(const User &user, const nlohmann::json &body)
{
    if (auto refusal = checkUserId(user, body))
        return std::move(*refusal);
    auto found = findMessage(user, body);
    if (auto *refusal = std::get_if<QHttpServerResponse>(&found))
        return std::move(*refusal);
    return jsonResponse(Json{{"userMessage", m_active.at(std::get<qsizetype>(found)).message}});
}

QHttpServerResponse MessagingService::report(const User &user, const nlohmann::json &body)
{
    auto found = findMessage(user, body);
    if (auto *refusal = std::get_if<QHttpServerResponse>(&found))
        return std::move(*refusal);
    m_active.removeAt(std::get<qsizetype>(found));
    return jsonResponse(Json::object());
}

std::variant<qsizetype, QHttpServerResponse> MessagingService::findMessage(const User &user,
                                                                           const nlohmann::json &body) const
{
    const auto messageId = stringMember(body, "message_id");
    if (!messageId)
        return errorResponse(400, QStringLiteral("expected the text \"message_id\""));
    const qsizetype index = indexOf(*messageId);
    if (index < 0 || !m_active.at(index).isFor(user))
        return errorResponse(404, QStringLiteral("no active message %1").arg(QString::fromStdString(*messageId)));
    return index;
}

qsizetype MessagingService::indexOf(const std::string &messageId) const
{
    for (qsizetype i = 0; i < m_active.size(); ++i) {
        if (m_active.at(i).message.at("messageId") == messageId)
            return i;
    }
    return -1;
}

} // namespace brelta::devserver
