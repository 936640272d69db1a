#pragma once

#include "backend/client/ApiAuth.h"
#include "backend/client/BackendHosts.h"
#include "backend/client/KeychainStore.h"
#include "backend/client/OAuthRequestInterceptor.h"
#include "backend/client/RequestExecutor.h"
#include "backend/records/ApiDto.h"
#include "backend/records/ApiMessages.h"
#include "backend/records/ApiPreferences.h"
#include "backend/records/ApiQuomblerDto.h"
#include "platform/AppError.h"

#include <QCoroTask>
#include <QMap>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QTimer>

#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <optional>

namespace brelta::platform {
class SettingsStore;
}
namespace brelta::backend {

class SessionDelegate;

struct ApiClientOptions
{
    // Bounds every request: no bytes for this long and the request fails as a bad connection.
    std::chrono::milliseconds transferTimeout = std::chrono::seconds(30);
    // When the tokens cannot be read at launch (locked keyring, no Secret Service), the read is tried
    // again after this delay, doubling up to maxKeychainRetryDelay.
    std::chrono::milliseconds keychainRetryDelay = std::chrono::seconds(15);
    std::chrono::milliseconds maxKeychainRetryDelay = std::chrono::minutes(5);
    // The process's launch arguments, for the user agent; empty = QCoreApplication::arguments().
    QStringList launchArguments;
};

// The one client of the backend. Every operation runs on the main thread; several may be under way at
// once. Failures reach callers as ApiClientException (bad connection, wrong credentials, e-mail taken),
// HttpFailure (any other refused status) or platform::JsonDecodeError (an answer of the wrong shape).
class ApiClient : public OAuthRequestInterceptorDelegate
{
    Q_OBJECT

public:
    // `keychain`, `settings` and `session` must outlive the client; `session` may be null until the shell
    // exists (then nothing is signed out).
    ApiClient(BackendHosts hosts, KeychainStore *keychain, platform::SettingsStore *settings, SessionDelegate *session,
              ApiClientOptions options = {}, QObject *parent = nullptr);
    ~ApiClient() override;

    const BackendEndpoints &endpoints() const { return m_endpoints; }
    const QString &userAgent() const { return m_userAgent; }

    // Tokens ---------------------------------------------------------------------------------------

    std::optional<QString> accessToken() const { return m_accessToken; }
    // What is known of the access token. Only Absent means signed out: before the launch-time read has
    // answered, or while the keyring cannot be read (locked, no Secret Service), the token may well exist.
    enum class TokenState { NotRead, Held, Absent, Unreadable };
    TokenState accessTokenState() const { return m_accessToken ? TokenState::Held : m_tokenReadState; }
    std::optional<QString> refreshToken() const { return m_refreshToken; }
    std::shared_ptr<OAuthRequestInterceptor> interceptor() const { return m_interceptor; }

    // Starts a new session's interceptor with these tokens. Requests still under way keep the interceptor
    // they started with and its tokens: a refusal of one of them is refreshed with those, and only that
    // interceptor learns the new tokens.
    void configureInterceptor(const QString &accessToken, const QString &refreshToken);

    // Puts the stored tokens into the client at launch. A token the Secret Service says is absent stays
    // absent; a read that fails (locked keyring, no service, no answer) is reported and tried again later,
    // and tokensRestored() follows when it succeeds. Returns after the first attempt either way.
    QCoro::Task<> loadTokensFromKeychain();

    // The client's part of signing out: forgets both tokens, revokes every interceptor a request may still
    // hold so no request carries an old token and no refresh under way can bring one back, and deletes the
    // stored tokens (a failed deletion is reported; the next launch deletes tokens it finds while no user
    // name is stored).
    void clearSession();

    // Sign-in ---------------------------------------------------------------------------------------

    QCoro::Task<ApiAuth::UserIdentity> signIn(QString username, QString password);
    QCoro::Task<ApiAuth::UserIdentity> signInWithCode(QString code);
    QCoro::Task<ApiAuth::UserIdentity> signUp(QString email, QString password);
    // Trades a one-time code (or a refresh token) for tokens, keeps and stores them, and returns the
    // identity. Does not reconfigure the interceptor.
    QCoro::Task<ApiAuth::UserIdentity> getToken(bool isRefresh, QString value);

    // Endpoints -------------------------------------------------------------------------------------

    // The signed-in user's active messages; empty without a request when no user name is stored.
    QCoro::Task<std::vector<ApiMessages::MessagesListEntry>> listActiveUserMessages();
    // Throws AppError "username was not found", without a request, when no user name is stored.
    QCoro::Task<ApiMessages::Message> getUserMessage(QString messageId);
    QCoro::Task<> reportUserMessageInteraction(QString messageId);
    QCoro::Task<ApiPreferences::GetPreferencesResponse> getPreferences();
    QCoro::Task<> setGoals(QStringList goals);
    QCoro::Task<> setFeedbackLanguage(QString language);
    // The text of one freshly generated tip; throws AppError when the answer holds none.
    QCoro::Task<QString> generateCoachingTip();
    QCoro::Task<ApiQuomblerDto::UserInfo> getUserInfo();

    // Posts the recording at `path` to the upload receiver as one multipart form: the file (content type
    // "audio/" + its extension), then "username", "startTime", "endTime", "sessionType" and, when there
    // are source parameters, "sourceParams" as a compact JSON object. The file is streamed from disk and
    // read afresh from its start at every attempt, a repeat after a token refresh included. Returns the
    // receiver's message.
    // Failures: a file that cannot be opened throws AppError before any request. Any later failure is also
    // reported through errorReported ("Audio upload failed. fileSize: …"); a 2xx answer of the wrong shape
    // throws platform::JsonDecodeError, although the receiver has taken the file.
    QCoro::Task<QString> uploadAudio(QString path, ApiDto::UploadAudioParams params);

    // Generic requests ---------------------------------------------------------------------------------

    // GET with form-encoded query parameters and none of the client's own headers; the raw body.
    QCoro::Task<QByteArray> get(QUrl url, QMap<QString, QString> params);
    // POST / PUT of a JSON object with the client's headers; the raw body.
    QCoro::Task<QByteArray> post(QUrl url, nlohmann::ordered_json params);
    QCoro::Task<QByteArray> put(QUrl url, nlohmann::ordered_json params);
    // Any other request (the upload's multipart form), with the interceptor and the failure mapping;
    // `mappingUrl` is the URL the error mapping looks at, absent for none.
    QCoro::Task<QByteArray> send(OutgoingRequest outgoing, std::optional<QUrl> mappingUrl);

    // OAuthRequestInterceptorDelegate: one refresh at a time; requests refused meanwhile wait for it.
    QCoro::Task<RefreshOutcome> refreshTokens(std::shared_ptr<OAuthRequestInterceptor> interceptor) override;

signals:
    // Something went wrong that no caller waits for: hand it to the error-tracking service.
    void errorReported(const brelta::platform::AppError &error);
    // Tokens that could not be read at launch were read later.
    void tokensRestored();

private:
    class RefreshFlight;

    QCoro::Task<ApiAuth::UserIdentity> exchangeCode(QString code);
    // The token request itself: no tokens kept, nothing signed out.
    QCoro::Task<ApiAuth::GetTokenResponse> requestTokens(bool isRefresh, QString value);
    // Makes the response's tokens the client's, in memory and in the keychain.
    void keepTokens(const ApiAuth::GetTokenResponse &response);
    QCoro::Task<RefreshOutcome> runRefresh(std::shared_ptr<OAuthRequestInterceptor> interceptor);
    struct TokenLoad
    {
        enum Outcome { Loaded, Failed, Superseded } outcome;
        QString error;
    };
    QCoro::Task<TokenLoad> readStoredTokens();
    QCoro::Task<> retryTokenLoad();
    QCoro::Task<> storeTokens(QString accessToken, QString refreshToken);
    // Deletes both stored tokens; a deletion that fails is reported.
    void deleteStoredTokens(const QString &when);
    QCoro::Task<> deleteStoredToken(KeychainKey key, QString when);
    void signOutAfterRefusedRefresh();
    void report(const QString &message);
    // The stored user name, read afresh: absent and empty text differ.
    std::optional<QString> storedUsername() const;
    QNetworkRequest jsonRequest(const QUrl &url) const;

    BackendHosts m_hosts;
    BackendEndpoints m_endpoints;
    QString m_hostsError;
    KeychainStore *m_keychain;
    platform::SettingsStore *m_settings;
    SessionDelegate *m_session;
    ApiClientOptions m_options;
    QString m_userAgent;
    QNetworkAccessManager m_network;
    RequestExecutor m_executor;

    std::optional<QString> m_accessToken;
    std::optional<QString> m_refreshToken;
    // What the last read of the stored tokens found while no token is held (see accessTokenState()).
    TokenState m_tokenReadState = TokenState::NotRead;
    std::shared_ptr<OAuthRequestInterceptor> m_interceptor;
    // Every interceptor configured since the last sign-out, for as long as a request holds it.
    std::vector<std::weak_ptr<OAuthRequestInterceptor>> m_issuedInterceptors;
    // Counts sessions: every configureInterceptor and clearSession starts a new one, and a launch-time read
    // begun in an older one does not touch the new one's tokens.
    quint64 m_sessionNumber = 0;
    std::shared_ptr<RefreshFlight> m_refreshFlight;
    QTimer m_keychainRetry;
    std::chrono::milliseconds m_nextKeychainRetryDelay;
};

} // namespace brelta::backend
