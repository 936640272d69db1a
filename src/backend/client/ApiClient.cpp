#include "backend/client/ApiClient.h"

#include "backend/client/ApiErrors.h"
#include "backend/client/SessionDelegate.h"
#include "backend/client/UserAgent.h"
#include "backend/records/ApiTips.h"
#include "platform/Json.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/WireTime.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QLoggingCategory>
#include <QPointer>
#include <QUrlQuery>

Q_LOGGING_CATEGORY(lcApiClient, "brelta.backend.ApiClient")

namespace brelta::backend {

using platform::AppError;

namespace {

constexpr int kMaxRetries = 2;

bool isRefusedWith(const std::exception_ptr &failure, int status)
{
    try {
        std::rethrow_exception(failure);
    } catch (const HttpFailure &http) {
        return http.isRefusedStatus() && http.status() == status;
    } catch (...) {
        return false;
    }
}

std::exception_ptr appError(const QString &message)
{
    return std::make_exception_ptr(AppError(AppError::Kind::General, message));
}

// What an operation still under way meets when the client is gone (the application quitting).
AppError clientClosed()
{
    return AppError(AppError::Kind::General, QStringLiteral("the backend client closed"));
}

// POSTs `body` to `url` through `client` and decodes the answer as T. Touches the client only before its
// await.
template<typename T>
QCoro::Task<T> postAndDecode(ApiClient *client, QUrl url, nlohmann::ordered_json body)
{
    QCoro::Task<QByteArray> sent = client->post(std::move(url), std::move(body));
    const QByteArray answer = co_await std::move(sent);
    co_return platform::decodeJson<T>(answer);
}

// A form part holding text, without file name or content type.
QHttpPart textPart(const QByteArray &name, const QByteArray &value)
{
    QHttpPart part;
    part.setRawHeader("Content-Disposition", "form-data; name=\"" + name + "\"");
    part.setBody(value);
    return part;
}

// A file name as a quoted header parameter: a quote or a line break in it cannot end the header early.
QByteArray quotedFileName(const QString &name)
{
    QByteArray quoted = name.toUtf8();
    quoted.replace('"', "%22").replace('\r', "%0D").replace('\n', "%0A");
    return '"' + quoted + '"';
}

AppError unreadableRecording(const QString &path, const QFile &file)
{
    return AppError(AppError::Kind::General,
                    QStringLiteral("cannot read the recording %1: %2").arg(path, file.errorString()));
}

} // namespace

// One refresh under way, and what it came to, for every request that waits for it.
class ApiClient::RefreshFlight : public QObject
{
    Q_OBJECT

public:
    explicit RefreshFlight(std::shared_ptr<OAuthRequestInterceptor> interceptor) : interceptor(std::move(interceptor))
    {}

    const std::shared_ptr<OAuthRequestInterceptor> interceptor;
    RefreshOutcome outcome;

signals:
    void finished();
};

ApiClient::ApiClient(BackendHosts hosts, KeychainStore *keychain, platform::SettingsStore *settings,
                     SessionDelegate *session, ApiClientOptions options, QObject *parent)
    : OAuthRequestInterceptorDelegate(parent)
    , m_hosts(std::move(hosts))
    , m_endpoints(m_hosts)
    , m_hostsError(m_hosts.validationError())
    , m_keychain(keychain)
    , m_settings(settings)
    , m_session(session)
    , m_options(std::move(options))
    , m_userAgent(buildUserAgent(UserAgentParts::current(
          m_options.launchArguments.isEmpty() ? QCoreApplication::arguments() : m_options.launchArguments)))
    , m_executor(&m_network, m_options.transferTimeout)
    , m_interceptor(std::make_shared<OAuthRequestInterceptor>(m_endpoints, nullptr, kMaxRetries, QString(), QString()))
    , m_nextKeychainRetryDelay(m_options.keychainRetryDelay)
{
    if (!m_hostsError.isEmpty())
        qCCritical(lcApiClient).noquote() << "the backend hosts cannot be used:" << m_hostsError;
    m_keychainRetry.setSingleShot(true);
    connect(&m_keychainRetry, &QTimer::timeout, this, [this] { retryTokenLoad(); });
}

ApiClient::~ApiClient() = default;

// Tokens ------------------------------------------------------------------------------------------------

void ApiClient::configureInterceptor(const QString &accessToken, const QString &refreshToken)
{
    ++m_sessionNumber;
    m_keychainRetry.stop();
    // The interceptor it replaces stays as it is: requests under way keep it, and their tokens.
    m_interceptor =
        std::make_shared<OAuthRequestInterceptor>(m_endpoints, this, kMaxRetries, accessToken, refreshToken);
    std::erase_if(m_issuedInterceptors, [](const auto &issued) { return issued.expired(); });
    m_issuedInterceptors.push_back(m_interceptor);
}

void ApiClient::clearSession()
{
    ++m_sessionNumber;
    m_keychainRetry.stop();
    m_accessToken.reset();
    m_refreshToken.reset();
    m_tokenReadState = TokenState::Absent;
    // Every interceptor a request may still hold, not only the current one: nothing sent from now on
    // carries a token of this user, and no refresh under way brings one back.
    m_interceptor->revoke();
    for (const auto &issued : std::as_const(m_issuedInterceptors)) {
        if (const auto interceptor = issued.lock())
            interceptor->revoke();
    }
    m_issuedInterceptors.clear();
    m_interceptor = std::make_shared<OAuthRequestInterceptor>(m_endpoints, nullptr, kMaxRetries, QString(), QString());
    deleteStoredTokens(QStringLiteral("at sign-out"));
}

void ApiClient::deleteStoredTokens(const QString &when)
{
    for (const KeychainKey key : kAllKeychainKeys)
        deleteStoredToken(key, when);
}

QCoro::Task<> ApiClient::deleteStoredToken(KeychainKey key, QString when)
{
    QPointer<ApiClient> self(this);
    QCoro::Task<bool> removing = m_keychain->remove(key);
    const bool removed = co_await std::move(removing);
    // A locked keyring keeps the token while the user believes it gone: say so.
    if (!removed && self)
        report(QStringLiteral("failed to delete %1 from the keychain %2").arg(keychainKeyName(key), when));
}

QCoro::Task<> ApiClient::loadTokensFromKeychain()
{
    m_nextKeychainRetryDelay = m_options.keychainRetryDelay;
    QPointer<ApiClient> self(this);
    QCoro::Task<TokenLoad> reading = readStoredTokens();
    const TokenLoad load = co_await std::move(reading);
    if (!self)
        co_return;
    if (load.outcome == TokenLoad::Failed) {
        // Reported once; the retries that follow only log.
        report(QStringLiteral("failed to read the tokens from the keychain: ") + load.error);
        m_keychainRetry.start(m_nextKeychainRetryDelay);
    }
}

QCoro::Task<> ApiClient::retryTokenLoad()
{
    QPointer<ApiClient> self(this);
    QCoro::Task<TokenLoad> reading = readStoredTokens();
    const TokenLoad load = co_await std::move(reading);
    if (!self)
        co_return;
    if (load.outcome == TokenLoad::Loaded) {
        emit tokensRestored();
    } else if (load.outcome == TokenLoad::Failed) {
        m_nextKeychainRetryDelay = std::min(m_nextKeychainRetryDelay * 2, m_options.maxKeychainRetryDelay);
        m_keychainRetry.start(m_nextKeychainRetryDelay);
    }
}

QCoro::Task<ApiClient::TokenLoad> ApiClient::readStoredTokens()
{
    QPointer<ApiClient> self(this);
    const quint64 session = m_sessionNumber;
    // A sign-in or sign-out since a read began (or the client gone): its tokens hold.
    const auto superseded = [&self, session] { return !self || session != self->m_sessionNumber; };
    // One after the other: the store answers each within its own timeout.
    QCoro::Task<platform::SecretRead> accessRead = m_keychain->getString(KeychainKey::AccessToken);
    const platform::SecretRead access = co_await std::move(accessRead);
    if (superseded())
        co_return TokenLoad{TokenLoad::Superseded, {}};
    QCoro::Task<platform::SecretRead> refreshRead = m_keychain->getString(KeychainKey::RefreshToken);
    const platform::SecretRead refresh = co_await std::move(refreshRead);
    if (superseded())
        co_return TokenLoad{TokenLoad::Superseded, {}};

    using Status = platform::SecretRead::Status;
    if (access.status == Status::Failed || refresh.status == Status::Failed) {
        // Not "signed out": the items may well be there behind a locked keyring. Keep trying.
        m_tokenReadState = TokenState::Unreadable;
        co_return TokenLoad{TokenLoad::Failed, access.status == Status::Failed ? access.error : refresh.error};
    }

    // Tokens with nobody signed in are what a sign-out could not delete (a locked keyring): finish the job
    // rather than sign the user back in behind their back.
    if ((access.status == Status::Found || refresh.status == Status::Found)
        && storedUsername().value_or(QString()).isEmpty()) {
        qCInfo(lcApiClient) << "stored tokens found while nobody is signed in; deleting them";
        m_accessToken.reset();
        m_refreshToken.reset();
        m_tokenReadState = TokenState::Absent;
        configureInterceptor(QString(), QString());
        deleteStoredTokens(QStringLiteral("left from a sign-out"));
        co_return TokenLoad{TokenLoad::Loaded, {}};
    }

    m_accessToken = access.status == Status::Found ? std::optional(access.value) : std::nullopt;
    m_refreshToken = refresh.status == Status::Found ? std::optional(refresh.value) : std::nullopt;
    m_tokenReadState = TokenState::Absent; // what it reads while no access token is held
    configureInterceptor(m_accessToken.value_or(QString()), m_refreshToken.value_or(QString()));
    co_return TokenLoad{TokenLoad::Loaded, {}};
}

QCoro::Task<> ApiClient::storeTokens(QString accessToken, QString refreshToken)
{
    QPointer<ApiClient> self(this);
    // Both writes start at once; the store keeps the order of writes to each item, so a later exchange's
    // tokens (or the sign-out's removal) still win over these.
    auto accessWrite = m_keychain->setString(std::move(accessToken), KeychainKey::AccessToken);
    auto refreshWrite = m_keychain->setString(std::move(refreshToken), KeychainKey::RefreshToken);
    const bool accessStored = co_await std::move(accessWrite);
    const bool refreshStored = co_await std::move(refreshWrite);
    if (!self)
        co_return;
    // The tokens stay in memory for this run either way.
    if (!accessStored)
        report(QStringLiteral("failed to set accessToken to keychain"));
    if (!refreshStored)
        report(QStringLiteral("failed to set refreshToken to keychain"));
}

void ApiClient::report(const QString &message)
{
    qCWarning(lcApiClient).noquote() << message;
    emit errorReported(AppError(AppError::Kind::General, message));
}

// Sign-in -----------------------------------------------------------------------------------------------

QCoro::Task<ApiAuth::UserIdentity> ApiClient::signIn(QString username, QString password)
{
    QPointer<ApiClient> self(this);
    nlohmann::ordered_json body = {{"username", username.toStdString()}, {"password", password.toStdString()}};
    QCoro::Task<ApiAuth::LoginResponse> loggingIn =
        postAndDecode<ApiAuth::LoginResponse>(this, m_endpoints.passwordSignIn, std::move(body));
    const ApiAuth::LoginResponse login = co_await std::move(loggingIn);
    if (!self)
        throw clientClosed();
    QCoro::Task<ApiAuth::UserIdentity> exchanged = exchangeCode(login.code);
    co_return co_await std::move(exchanged);
}

QCoro::Task<ApiAuth::UserIdentity> ApiClient::signInWithCode(QString code)
{
    QCoro::Task<ApiAuth::UserIdentity> exchanged = exchangeCode(std::move(code));
    co_return co_await std::move(exchanged);
}

QCoro::Task<ApiAuth::UserIdentity> ApiClient::signUp(QString email, QString password)
{
    QPointer<ApiClient> self(this);
    nlohmann::ordered_json body = {{"email", email.toStdString()}, {"password", password.toStdString()}};
    QCoro::Task<ApiAuth::SignUpResponse> signingUp =
        postAndDecode<ApiAuth::SignUpResponse>(this, m_endpoints.signUp, std::move(body));
    const ApiAuth::SignUpResponse signUp = co_await std::move(signingUp);
    if (!self)
        throw clientClosed();
    QCoro::Task<ApiAuth::UserIdentity> exchanged = exchangeCode(signUp.authCode);
    co_return co_await std::move(exchanged);
}

QCoro::Task<ApiAuth::UserIdentity> ApiClient::exchangeCode(QString code)
{
    QPointer<ApiClient> self(this);
    QCoro::Task<ApiAuth::UserIdentity> exchanged = getToken(false, std::move(code));
    const ApiAuth::UserIdentity identity = co_await std::move(exchanged);
    if (!self)
        throw clientClosed();
    configureInterceptor(m_accessToken.value_or(QString()), m_refreshToken.value_or(QString()));
    co_return identity;
}

QCoro::Task<ApiAuth::UserIdentity> ApiClient::getToken(bool isRefresh, QString value)
{
    QPointer<ApiClient> self(this);
    ApiAuth::GetTokenResponse response;
    std::exception_ptr failure;
    try {
        QCoro::Task<ApiAuth::GetTokenResponse> requested = requestTokens(isRefresh, std::move(value));
        response = co_await std::move(requested);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        if (self && isRefresh && isRefusedWith(failure, 401))
            signOutAfterRefusedRefresh();
        std::rethrow_exception(failure);
    }
    if (!self)
        throw clientClosed();
    keepTokens(response);
    co_return response.identity;
}

QCoro::Task<ApiAuth::GetTokenResponse> ApiClient::requestTokens(bool isRefresh, QString value)
{
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    body[isRefresh ? "refreshToken" : "code"] = value.toStdString();
    QCoro::Task<ApiAuth::GetTokenResponse> requested =
        postAndDecode<ApiAuth::GetTokenResponse>(this, m_endpoints.token, std::move(body));
    co_return co_await std::move(requested);
}

void ApiClient::keepTokens(const ApiAuth::GetTokenResponse &response)
{
    m_accessToken = response.accessToken;
    m_refreshToken = response.refreshToken;
    storeTokens(response.accessToken, response.refreshToken);
}

void ApiClient::signOutAfterRefusedRefresh()
{
    QTimer::singleShot(0, this, [this] {
        report(QStringLiteral("Got error 401 while refreshing accessToken using refreshToken"));
        if (m_session)
            m_session->logOut();
    });
}

QCoro::Task<RefreshOutcome> ApiClient::refreshTokens(std::shared_ptr<OAuthRequestInterceptor> interceptor)
{
    QPointer<ApiClient> self(this);
    // Requests refused together share one refresh: a backend that rotates refresh tokens would refuse a
    // second refresh with the same token and end the session.
    while (self && m_refreshFlight) {
        const std::shared_ptr<RefreshFlight> flight = m_refreshFlight;
        auto finished = qCoro(flight.get(), &RefreshFlight::finished);
        co_await std::move(finished);
        if (flight->interceptor == interceptor)
            co_return flight->outcome;
    }
    if (!self)
        co_return RefreshOutcome{false, std::make_exception_ptr(clientClosed())};

    const auto flight = std::make_shared<RefreshFlight>(interceptor);
    m_refreshFlight = flight;
    QCoro::Task<RefreshOutcome> refreshing = runRefresh(interceptor);
    flight->outcome = co_await std::move(refreshing);
    if (self && m_refreshFlight == flight)
        m_refreshFlight.reset();
    emit flight->finished();
    co_return flight->outcome;
}

QCoro::Task<RefreshOutcome> ApiClient::runRefresh(std::shared_ptr<OAuthRequestInterceptor> interceptor)
{
    if (interceptor->isRevoked())
        co_return RefreshOutcome{false, appError(QStringLiteral("the request belonged to a session that has ended"))};

    QPointer<ApiClient> self(this);
    ApiAuth::GetTokenResponse response;
    std::exception_ptr failure;
    try {
        QCoro::Task<ApiAuth::GetTokenResponse> requested = requestTokens(true, interceptor->refreshToken());
        response = co_await std::move(requested);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return RefreshOutcome{false, std::make_exception_ptr(clientClosed())};
    // A request begun before the last sign-in holds an older interceptor: its refresh renews that
    // interceptor's tokens only, and a refusal of them does not end the session signed in since.
    const bool current = interceptor == m_interceptor;
    if (failure) {
        if (isRefusedWith(failure, 401)) {
            interceptor->forgetRefreshToken();
            if (current)
                signOutAfterRefusedRefresh();
        }
        co_return RefreshOutcome{false, failure};
    }
    if (interceptor->isRevoked()) {
        // Signed out while the answer travelled: it must not bring tokens back.
        qCInfo(lcApiClient) << "dropping a token refresh that finished after its session ended";
        co_return RefreshOutcome{false, appError(QStringLiteral("the session ended while its tokens were refreshed"))};
    }
    if (current)
        keepTokens(response);
    interceptor->setTokens(response.accessToken, response.refreshToken);
    co_return RefreshOutcome{true, {}};
}

// Endpoints -------------------------------------------------------------------------------------------

std::optional<QString> ApiClient::storedUsername() const
{
    return m_settings ? m_settings->text(platform::settings::kUsername) : std::nullopt;
}

QCoro::Task<std::vector<ApiMessages::MessagesListEntry>> ApiClient::listActiveUserMessages()
{
    const std::optional<QString> username = storedUsername();
    if (!username)
        co_return std::vector<ApiMessages::MessagesListEntry>();
    nlohmann::ordered_json body = {{"user_id", username->toStdString()}};
    QCoro::Task<ApiMessages::GetMessagesListResponse> listed =
        postAndDecode<ApiMessages::GetMessagesListResponse>(this, m_endpoints.listActiveUserMessages, std::move(body));
    auto response = co_await std::move(listed);
    co_return std::move(response.entries).value_or(std::vector<ApiMessages::MessagesListEntry>());
}

QCoro::Task<ApiMessages::Message> ApiClient::getUserMessage(QString messageId)
{
    const std::optional<QString> username = storedUsername();
    if (!username)
        throw AppError(AppError::Kind::General, QStringLiteral("username was not found"));
    nlohmann::ordered_json body = {{"user_id", username->toStdString()}, {"message_id", messageId.toStdString()}};
    QCoro::Task<ApiMessages::GetMessageResponse> fetched =
        postAndDecode<ApiMessages::GetMessageResponse>(this, m_endpoints.getUserMessage, std::move(body));
    auto response = co_await std::move(fetched);
    co_return std::move(response.userMessage);
}

QCoro::Task<> ApiClient::reportUserMessageInteraction(QString messageId)
{
    nlohmann::ordered_json body = {{"message_id", messageId.toStdString()}};
    QCoro::Task<ApiMessages::ReportUserMessageInteractionResponse> reported =
        postAndDecode<ApiMessages::ReportUserMessageInteractionResponse>(this, m_endpoints.reportUserMessageInteraction,
                                                                         std::move(body));
    co_await std::move(reported);
}

QCoro::Task<ApiPreferences::GetPreferencesResponse> ApiClient::getPreferences()
{
    QCoro::Task<QByteArray> fetched = get(m_endpoints.preferences, QMap<QString, QString>());
    const QByteArray body = co_await std::move(fetched);
    co_return platform::decodeJson<ApiPreferences::GetPreferencesResponse>(body);
}

QCoro::Task<> ApiClient::setGoals(QStringList goals)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const QString &goal : std::as_const(goals))
        list.push_back(goal.toStdString());
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    body["goals"] = std::move(list);
    QCoro::Task<QByteArray> sent = put(m_endpoints.preferenceGoals, std::move(body));
    co_await std::move(sent);
}

QCoro::Task<> ApiClient::setFeedbackLanguage(QString language)
{
    nlohmann::ordered_json body = {{"language_preferences", {{"feedback_language", language.toStdString()}}}};
    QCoro::Task<QByteArray> sent = put(m_endpoints.preferenceLanguage, std::move(body));
    co_await std::move(sent);
}

QCoro::Task<QString> ApiClient::generateCoachingTip()
{
    // The count travels as the text "1", not as a number.
    nlohmann::ordered_json body = {{"amount", {{"amount_to_generate", "1"}}}};
    QCoro::Task<ApiTips::GetCoachingTipsResponse> generated =
        postAndDecode<ApiTips::GetCoachingTipsResponse>(this, m_endpoints.generateCoachingTips, std::move(body));
    const auto response = co_await std::move(generated);
    if (response.generatedCoachingTips.empty())
        throw AppError(AppError::Kind::General, QStringLiteral("the backend generated no coaching tip"));
    co_return response.generatedCoachingTips.front().tipText;
}

QCoro::Task<ApiQuomblerDto::UserInfo> ApiClient::getUserInfo()
{
    QCoro::Task<ApiQuomblerDto::GetUserInfoResponse> fetched = postAndDecode<ApiQuomblerDto::GetUserInfoResponse>(
        this, m_endpoints.getUserInfo, nlohmann::ordered_json::object());
    auto response = co_await std::move(fetched);
    co_return std::move(response.userInfo);
}

QCoro::Task<QString> ApiClient::uploadAudio(QString path, ApiDto::UploadAudioParams params)
{
    const QFileInfo info(path);
    qint64 fileSize = 0;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw unreadableRecording(path, file);
        fileSize = file.size();
    }
    const QString extension = info.suffix();

    std::vector<std::pair<QByteArray, QByteArray>> texts{
        {"username", params.username.toUtf8()},
        {"startTime", platform::wiretime::formatWithOffset(params.startTime).toUtf8()},
        {"endTime", platform::wiretime::formatWithOffset(params.endTime).toUtf8()},
        {"sessionType", ApiDto::sessionTypeRawValue(params.sessionType).toUtf8()},
    };
    if (params.sourceParams) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (auto it = params.sourceParams->cbegin(); it != params.sourceParams->cend(); ++it)
            object[it.key().toStdString()] = it.value().toStdString();
        try {
            texts.emplace_back("sourceParams", platform::toJsonText(object));
        } catch (const platform::JsonEncodeError &error) {
            report(QStringLiteral("the source parameters of an upload cannot be written as JSON: ")
                   + QString::fromUtf8(error.what()));
        }
    }

    // The status of the last attempt, for the report: a 2xx answer that does not decode has one too.
    auto lastStatus = std::make_shared<std::optional<int>>();
    const QByteArray fileName = quotedFileName(info.fileName());
    const QByteArray contentType = "audio/" + extension.toUtf8();
    // Built afresh for every attempt, over a file opened afresh: a repeat sends the whole file again.
    OutgoingRequest outgoing{QNetworkRequest(m_endpoints.upload),
                             [path, fileName, contentType, texts, lastStatus](
                                 QNetworkAccessManager &network, const QNetworkRequest &request) -> QNetworkReply * {
                                 auto form = std::make_unique<QHttpMultiPart>(QHttpMultiPart::FormDataType);
                                 auto *file = new QFile(path, form.get());
                                 if (!file->open(QIODevice::ReadOnly))
                                     throw unreadableRecording(path, *file);
                                 QHttpPart filePart;
                                 filePart.setRawHeader("Content-Disposition",
                                                       "form-data; name=\"files\"; filename=" + fileName);
                                 filePart.setRawHeader("Content-Type", contentType);
                                 filePart.setBodyDevice(file);
                                 form->append(filePart);
                                 for (const auto &[name, value] : texts)
                                     form->append(textPart(name, value));
                                 QNetworkReply *reply = network.post(request, form.get());
                                 form.release()->setParent(reply);
                                 QObject::connect(reply, &QNetworkReply::finished, reply, [reply, lastStatus] {
                                     const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
                                     *lastStatus = status.isValid() ? std::optional(status.toInt()) : std::nullopt;
                                 });
                                 return reply;
                             }};

    QPointer<ApiClient> self(this);
    std::exception_ptr failure;
    try {
        QCoro::Task<QByteArray> sent = send(std::move(outgoing), std::nullopt);
        const QByteArray body = co_await std::move(sent);
        co_return platform::decodeJson<ApiDto::UploadAudioResponse>(body).message;
    } catch (...) {
        failure = std::current_exception();
    }

    int responseCode = 0;
    try {
        std::rethrow_exception(failure);
    } catch (const HttpFailure &http) {
        responseCode = http.status().value_or(0);
    } catch (const platform::JsonDecodeError &) {
        responseCode = lastStatus->value_or(0);
    } catch (...) {
        // No response: a lost connection, or the file could not be read again for a repeat.
    }
    if (self)
        report(QStringLiteral("Audio upload failed. fileSize: %1 bytes, fileExtension: %2, responseCode: %3")
                   .arg(fileSize)
                   .arg(extension)
                   .arg(responseCode));
    std::rethrow_exception(failure);
}

// Generic requests ------------------------------------------------------------------------------------

QNetworkRequest ApiClient::jsonRequest(const QUrl &url) const
{
    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("User-Agent", m_userAgent.toUtf8());
    return request;
}

QCoro::Task<QByteArray> ApiClient::get(QUrl url, QMap<QString, QString> params)
{
    if (!params.isEmpty()) {
        QUrlQuery query;
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            query.addQueryItem(it.key(), it.value());
        url.setQuery(query);
    }
    OutgoingRequest outgoing{QNetworkRequest(url), [](QNetworkAccessManager &network, const QNetworkRequest &request) {
                                 return network.get(request);
                             }};
    QCoro::Task<QByteArray> sent = send(std::move(outgoing), url);
    co_return co_await std::move(sent);
}

QCoro::Task<QByteArray> ApiClient::post(QUrl url, nlohmann::ordered_json params)
{
    const QByteArray body = platform::toJsonText(params);
    OutgoingRequest outgoing{jsonRequest(url), [body](QNetworkAccessManager &network, const QNetworkRequest &request) {
                                 return network.post(request, body);
                             }};
    QCoro::Task<QByteArray> sent = send(std::move(outgoing), url);
    co_return co_await std::move(sent);
}

QCoro::Task<QByteArray> ApiClient::put(QUrl url, nlohmann::ordered_json params)
{
    const QByteArray body = platform::toJsonText(params);
    OutgoingRequest outgoing{jsonRequest(url), [body](QNetworkAccessManager &network, const QNetworkRequest &request) {
                                 return network.put(request, body);
                             }};
    QCoro::Task<QByteArray> sent = send(std::move(outgoing), url);
    co_return co_await std::move(sent);
}

QCoro::Task<QByteArray> ApiClient::send(OutgoingRequest outgoing, std::optional<QUrl> mappingUrl)
{
    if (!m_hostsError.isEmpty())
        throw AppError(AppError::Kind::General, QStringLiteral("the backend hosts cannot be used: ") + m_hostsError);
    // A copy for after the await: the client may be gone by then.
    const BackendEndpoints endpoints = m_endpoints;
    std::exception_ptr failure;
    try {
        // The request keeps the interceptor current now, whatever sign-in replaces it meanwhile.
        QCoro::Task<QByteArray> executed = m_executor.execute(std::move(outgoing), m_interceptor);
        co_return co_await std::move(executed);
    } catch (...) {
        failure = std::current_exception();
    }
    std::rethrow_exception(mapFailure(failure, mappingUrl, endpoints));
}

} // namespace brelta::backend

#include "ApiClient.moc"
