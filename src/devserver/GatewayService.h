#pragma once

#include "devserver/AuthService.h"

#include <QHash>
#include <QStringList>

namespace brelta::devserver {

// The REST gateway's user information, coaching tips and preferences, each user's choices kept in memory.
class GatewayService
{
public:
    static inline const QString userInfoPath = QStringLiteral("/quombler/v2/GetUserInfo");
    static inline const QString coachingTipsPath = QStringLiteral("/quombler/v2/GenerateCoachingTips");
    static inline const QString preferencesPath = QStringLiteral("/quombler/v0/my-preferences");
    static inline const QString goalsPath = QStringLiteral("/quombler/v0/my-preferences/goals");
    static inline const QString languagePath = QStringLiteral("/quombler/v0/my-preferences/language");

    explicit GatewayService(const AuthService &auth) : m_auth(auth) {}

    void install(RouteTable &routes);

    // The feature names every user's information lists, sent as given (an unknown name included, so a
    // test can see how a client takes it).
    void setEnabledFeatures(const QStringList &features) { m_enabledFeatures = features; }

private:
    struct Choices
    {
        std::optional<QStringList> goals;
        std::optional<QString> feedbackLanguage;
    };

    QHttpServerResponse userInfo(const User &user, const nlohmann::json &body);
    QHttpServerResponse coachingTips(const nlohmann::json &body);
    QHttpServerResponse preferences(const User &user);
    QHttpServerResponse setGoals(const User &user, const nlohmann::json &body);
    QHttpServerResponse setLanguage(const User &user, const nlohmann::json &body);

    const AuthService &m_auth;
    QStringList m_enabledFeatures;
    QHash<QString, Choices> m_choicesByUserId;
    int m_nextTip = 0;
};

} // namespace brelta::devserver
