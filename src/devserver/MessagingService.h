#pragma once

#include "devserver/AuthService.h"

#include <QList>
#include <QUrl>

#include <optional>

#include <variant>

namespace brelta::devserver {

// The messaging service's three calls over a queue of active messages that a test (or the running
// program) fills. Reporting an interaction with a message ends it: it is no longer listed or fetched.
class MessagingService
{
public:
    static inline const QString rpcPrefix =
        QStringLiteral("/v0/rpc/com.brelta.tarvelo.user_messaging.v1.UserMessageProvider/");
    static inline const QString listPath = rpcPrefix + QStringLiteral("ListActiveUserMessages");
    static inline const QString getPath = rpcPrefix + QStringLiteral("GetUserMessage");
    static inline const QString reportPath = rpcPrefix + QStringLiteral("ReportUserMessageInteraction");

    explicit MessagingService(const AuthService &auth) : m_auth(auth) {}

    void install(RouteTable &routes);

    // Adds a message record ({"messageId", "slot"?, "content", "schedule"}) for `recipient` (an e-mail
    // address; none: every user), or replaces the active one with the same id. Returns why it was
    // refused, empty when queued.
    QString queueMessage(const Json &message, const std::optional<QString> &recipient = std::nullopt);

    // The report the analysis of an uploaded recording ends in, shown at once to its uploader.
    void queueMeetingReport(const QString &recipient, const QString &meetingTimestamp, qint64 seconds,
                            const QUrl &dashboardUrl);

    void clearMessages() { m_active.clear(); }

private:
    QHttpServerResponse list(const User &user, const nlohmann::json &body);
    QHttpServerResponse get(const User &user, const nlohmann::json &body);
    QHttpServerResponse report(const User &user, const nlohmann::json &body);

    struct Active
    {
        Json message; // answered with its keys as given
        std::optional<QString> recipient;

        bool isFor(const User &user) const;
    };

    // The index of the user's active message that the body's "message_id" names, or the refusal to send.
    std::variant<qsizetype, QHttpServerResponse> findMessage(const User &user, const nlohmann::json &body) const;
    qsizetype indexOf(const std::string &messageId) const;

    const AuthService &m_auth;
    QList<Active> m_active; // in the order queued
    int m_reportCount = 0;
};

} // namespace brelta::devserver
