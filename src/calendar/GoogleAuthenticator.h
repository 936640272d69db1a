#pragma once

#include "calendar/GoogleAccess.h"
#include "platform/Clock.h"

#include <QCoroTask>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace brelta::platform {
class SecretStore;
}

namespace brelta::calendar {

struct GoogleClientConfig
{
    QUrl authUrl;
    QUrl tokenUrl;
    QString clientId; // empty: this build cannot connect a Google account
    QString clientSecret;
    // A consent the user never finishes (browser closed) gives up after this long.
    std::chrono::seconds signInTimeout{300};
    // A keyring that cannot answer yet (locked, starting) is asked again this many times.
    int storeReadTries = 3;
    std::chrono::milliseconds storeRetryDelay{2000};
};

// The connected Google account: the refresh token kept in the Secret Service, the e-mail Google vouched
// for and the Brelta user who connected it.
struct GoogleAccount
{
    QString refreshToken;
    QString email;
    QString userId;
};

// Connects a Google account for read-only calendar access: the consent in the user's browser with a
// loopback redirect and PKCE, the account kept in the Secret Service, access tokens refreshed when they
// expire. Main thread only.
class GoogleAuthenticator : public QObject, public GoogleAccess
{
    Q_OBJECT

public:
    static inline const QString kCalendarScope =
        QStringLiteral("https://www.googleapis.com/auth/calendar.events.readonly");
    static inline const QString kNoClientMessage =
        QStringLiteral("This build of Brelta has no Google client configured.");

    // Opens the consent page in a browser; false when no browser could be opened.
    using UrlOpener = std::function<bool(const QUrl &)>;

    // Every service must outlive the authenticator.
    GoogleAuthenticator(GoogleClientConfig config, platform::SecretStore *secrets, QNetworkAccessManager *network,
                        platform::Clock *clock, QObject *parent = nullptr);
    ~GoogleAuthenticator() override;

    // QDesktopServices::openUrl unless replaced.
    void setUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }
    // The signed-in Brelta user: an account stored by another user is never restored.
    void setUserId(const QString &userId) { m_userId = userId; }

    bool isClientConfigured() const { return !m_config.clientId.isEmpty(); }
    bool hasAccount() const { return m_account.has_value(); }
    QString email() const { return m_account ? m_account->email : QString(); }

    // Returns at once while an account is connected; otherwise runs the consent in the browser. A second
    // call while a consent is open opens the same page again and waits for the same answer. Throws
    // platform::AppError when the build has no client, no browser opens, the user refuses or leaves out
    // the calendar, the token exchange fails, or nothing comes back in time.
    QCoro::Task<> signIn();
    // Restores the stored account without any window. Needs the keyring only: the first request
    // refreshes the access token. Never throws.
    QCoro::Task<bool> trySilentSignIn();
    // Forgets the account: work under way for it ends without effect, and the stored item is removed.
    QCoro::Task<> signOut();

    QCoro::Task<std::optional<QString>> accessToken() override;
    QCoro::Task<std::optional<QString>> refreshedAccessToken(QString rejected) override;

signals:
    void accountChanged();
    // Google refused the stored grant (revoked, expired): the account is gone. `reason` is for the user.
    void accountLost(const QString &reason);

private:
    class Consent;

    QCoro::Task<> runConsent(std::shared_ptr<Consent> consent);
    QCoro::Task<> refresh(quint64 generation);
    QCoro::Task<> storeAccount(GoogleAccount account);
    QCoro::Task<> forget(quint64 generation, QString reason);
    QCoro::Task<> sleep(std::chrono::milliseconds delay);

    GoogleClientConfig m_config;
    platform::SecretStore *m_secrets;
    QPointer<QNetworkAccessManager> m_network;
    platform::Clock *m_clock;
    UrlOpener m_opener;
    QString m_userId;

    std::optional<GoogleAccount> m_account;
    QString m_accessToken;
    QDateTime m_accessExpiry;
    quint64 m_generation = 0; // a sign-out starts a new one
    std::shared_ptr<Consent> m_consent;
    bool m_refreshing = false;

signals:
    void refreshFinished();
};

} // namespace brelta::calendar
