#include "calendar/GoogleAuthenticator.h"

#include "platform/AppError.h"
#include "platform/keyring/SecretStore.h"

#include <QCoroNetworkReply>
#include <QCoroSignal>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QLoggingCategory>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QRandomGenerator>
#include <QUrlQuery>

#include <nlohmann/json.hpp>

Q_LOGGING_CATEGORY(lcGoogleAuth, "brelta.calendar.GoogleAuthenticator")

namespace brelta::calendar {
namespace {

using platform::AppError;

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
// Access tokens are renewed a minute early, so one does not lapse on its way to Google.
constexpr qint64 kExpiryMarginSeconds = 60;

AppError generalError(const QString &message)
{
    return AppError(AppError::Kind::General, message);
}

platform::SecretItem accountItem()
{
    return {QStringLiteral("com.brelta.desktop-googleAccount"), QStringLiteral("brelta")};
}

std::string stringField(const nlohmann::json &object, const char *key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The e-mail of the id_token Google sent over TLS straight to us; its signature is not checked, since
// nothing but the display depends on it.
QString emailOfIdToken(const QString &idToken)
{
    const QList<QByteArray> parts = idToken.toLatin1().split('.');
    if (parts.size() != 3)
        return {};
    const QByteArray payload = QByteArray::fromBase64(parts.at(1), QByteArray::Base64UrlEncoding);
    const nlohmann::json claims = nlohmann::json::parse(payload.begin(), payload.end(), nullptr, false);
    return claims.is_object() ? QString::fromStdString(stringField(claims, "email")) : QString();
}

std::optional<GoogleAccount> parseAccount(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    const nlohmann::json json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!json.is_object())
        return std::nullopt;
    GoogleAccount account{QString::fromStdString(stringField(json, "refreshToken")),
                          QString::fromStdString(stringField(json, "email")),
                          QString::fromStdString(stringField(json, "userId"))};
    if (account.refreshToken.isEmpty())
        return std::nullopt;
    return account;
}

// The loopback listener of one consent. Qt drops a failed token answer without a word; this one reports it.
class LoopbackHandler final : public QOAuthHttpServerReplyHandler
{
    Q_OBJECT

public:
    explicit LoopbackHandler(QObject *parent) : QOAuthHttpServerReplyHandler(QHostAddress::LocalHost, 0, parent) {}

signals:
    void tokenRequestFailed(const QString &description);

protected:
    void networkReplyFinished(QNetworkReply *reply) override
    {
        if (reply->error() == QNetworkReply::NoError) {
            QOAuthHttpServerReplyHandler::networkReplyFinished(reply);
            return;
        }
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            emit tokenRequestFailed(reply->errorString());
            return;
        }
        // Google's error code only: its description may echo what was sent.
        const QByteArray body = reply->readAll();
        const nlohmann::json answer = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
        const QString code =
            answer.is_object() ? QString::fromStdString(stringField(answer, "error")).left(40) : QString();
        emit tokenRequestFailed(code.isEmpty() ? QStringLiteral("HTTP %1").arg(status.toInt())
                                               : QStringLiteral("HTTP %1, %2").arg(status.toInt()).arg(code));
    }
};

} // namespace

// One consent in the browser: the flow, its listener and the answer, which every Connect waits for.
class GoogleAuthenticator::Consent : public QObject
{
    Q_OBJECT

public:
    QOAuth2AuthorizationCodeFlow flow;
    LoopbackHandler *handler = new LoopbackHandler(this);
    std::unique_ptr<platform::Timer> deadline;
    QUrl pageUrl;
    quint64 generation = 0;
    QByteArray verifier;
    QString redirectUri;
    bool finished = false;
    std::exception_ptr failure;

    void finish(std::exception_ptr error)
    {
        if (finished)
            return;
        finished = true;
        failure = std::move(error);
        handler->close();
        deadline->stop();
        emit done();
    }

signals:
    void done();
};

GoogleAuthenticator::GoogleAuthenticator(GoogleClientConfig config, platform::SecretStore *secrets,
                                         QNetworkAccessManager *network, platform::Clock *clock, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_secrets(secrets)
    , m_network(network)
    , m_clock(clock)
    , m_opener([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{}

GoogleAuthenticator::~GoogleAuthenticator()
{
    if (m_consent)
        m_consent->finish(std::make_exception_ptr(generalError(QStringLiteral("Brelta is quitting."))));
}

QCoro::Task<> GoogleAuthenticator::signIn()
{
    if (!isClientConfigured())
        throw generalError(kNoClientMessage);
    if (m_account)
        co_return;

    std::shared_ptr<Consent> consent = m_consent;
    if (consent && !consent->finished) {
        // The user closed the tab or lost the window: show the same page again rather than a second listener.
        if (!m_opener(consent->pageUrl))
            qCWarning(lcGoogleAuth) << "could not open the Google consent page again";
    } else {
        consent = std::shared_ptr<Consent>(new Consent, [](Consent *c) { c->deleteLater(); });
        m_consent = consent;
        QCoro::Task<> starting = runConsent(consent);
        co_await std::move(starting);
    }
    if (!consent->finished)
        co_await qCoro(consent.get(), &Consent::done);
    if (consent->failure)
        std::rethrow_exception(consent->failure);
}

QCoro::Task<> GoogleAuthenticator::runConsent(std::shared_ptr<Consent> consent)
{
    Consent *c = consent.get();
    c->generation = m_generation;
    c->deadline = m_clock->createTimer();
    connect(c->deadline.get(), &platform::Timer::timeout, c, [c] {
        c->finish(
            std::make_exception_ptr(generalError(QStringLiteral("The Google sign-in was not finished in time."))));
    });
    if (!c->handler->isListening()) {
        c->finish(std::make_exception_ptr(generalError(QStringLiteral("Could not listen for Google's answer."))));
        co_return;
    }

    // PKCE: the verifier never leaves this process until the code is exchanged.
    QByteArray random(48, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
    c->verifier = random.toBase64(kBase64Url);
    const QByteArray challenge = QCryptographicHash::hash(c->verifier, QCryptographicHash::Sha256).toBase64(kBase64Url);

    QOAuth2AuthorizationCodeFlow &flow = c->flow;
    flow.setNetworkAccessManager(m_network);
    flow.setAuthorizationUrl(m_config.authUrl);
    flow.setAccessTokenUrl(m_config.tokenUrl);
    flow.setClientIdentifier(m_config.clientId);
    flow.setClientIdentifierSharedKey(m_config.clientSecret);
    flow.setScope(QStringLiteral("openid email ") + kCalendarScope);
    flow.setReplyHandler(c->handler);
    flow.setModifyParametersFunction([c, challenge](QAbstractOAuth::Stage stage, QMultiMap<QString, QVariant> *params) {
        if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
            params->insert(QStringLiteral("code_challenge"), QString::fromLatin1(challenge));
            params->insert(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
            // Without both, a second connect gets no refresh token.
            params->insert(QStringLiteral("access_type"), QStringLiteral("offline"));
            params->insert(QStringLiteral("prompt"), QStringLiteral("consent"));
            c->redirectUri = params->value(QStringLiteral("redirect_uri")).toString();
        } else if (stage == QAbstractOAuth::Stage::RequestingAccessToken) {
            params->insert(QStringLiteral("code_verifier"), QString::fromLatin1(c->verifier));
            // The listener hands on the code still percent-encoded and the flow encodes it again.
            const QString code = params->value(QStringLiteral("code")).toString();
            params->replace(QStringLiteral("code"), QUrl::fromPercentEncoding(code.toLatin1()));
            // The listener is closed by now and would name port 0: the token request repeats the page's.
            params->replace(QStringLiteral("redirect_uri"),
                            QString::fromLatin1(QUrl::toPercentEncoding(c->redirectUri)));
        }
    });

    // One redirect is all this listener is for.
    connect(c->handler, &QAbstractOAuthReplyHandler::callbackReceived, c, [c] { c->handler->close(); });
    connect(c->handler, &LoopbackHandler::tokenRequestFailed, c, [c](const QString &description) {
        c->finish(
            std::make_exception_ptr(generalError(QStringLiteral("Google refused the sign-in (%1).").arg(description))));
    });
    connect(&flow, &QAbstractOAuth2::error, c, [c](const QString &error, const QString &, const QUrl &) {
        c->finish(std::make_exception_ptr(
            generalError(error == QLatin1String("access_denied")
                             ? QStringLiteral("Google Calendar access was declined.")
                             : QStringLiteral("Google sign-in failed (%1).").arg(error.left(80)))));
    });
    connect(&flow, &QAbstractOAuth::requestFailed, c, [c](QAbstractOAuth::Error) {
        c->finish(std::make_exception_ptr(generalError(QStringLiteral("Google sign-in failed."))));
    });
    connect(&flow, &QAbstractOAuth::authorizeWithBrowser, c, [this, c](const QUrl &url) {
        c->pageUrl = url;
        if (!m_opener(url))
            c->finish(std::make_exception_ptr(generalError(QStringLiteral("There is no presenting window!"))));
    });
    connect(&flow, &QAbstractOAuth::granted, c, [this, c] {
        if (c->generation != m_generation) {
            c->finish(std::make_exception_ptr(generalError(QStringLiteral("The Google sign-in was cancelled."))));
            return;
        }
        // What the user granted, as the redirect reported it (still percent-encoded); the flow's own scope
        // is only what was asked for.
        const QString scope =
            QUrl::fromPercentEncoding(c->flow.extraTokens().value(QStringLiteral("scope")).toString().toUtf8());
        if (!scope.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(kCalendarScope)) {
            c->finish(std::make_exception_ptr(generalError(
                QStringLiteral("Brelta was not allowed to see your calendar. Connect again and allow it."))));
            return;
        }
        if (c->flow.refreshToken().isEmpty()) {
            c->finish(std::make_exception_ptr(generalError(QStringLiteral("Google granted no lasting access."))));
            return;
        }
        GoogleAccount account{c->flow.refreshToken(),
                              emailOfIdToken(c->flow.extraTokens().value(QStringLiteral("id_token")).toString()),
                              m_userId};
        m_account = account;
        m_accessToken = c->flow.token();
        // Qt's expiry reads the system clock: only the length of the lease is taken from it.
        const qint64 lease = QDateTime::currentDateTimeUtc().secsTo(c->flow.expirationAt());
        m_accessExpiry = m_clock->now().addSecs(std::max<qint64>(0, lease - kExpiryMarginSeconds));
        qCInfo(lcGoogleAuth) << "Google account connected";
        storeAccount(account);
        emit accountChanged();
        c->finish(nullptr);
    });

    c->deadline->start(m_config.signInTimeout, platform::Timer::Mode::SingleShot);
    flow.grant();
    co_return;
}

QCoro::Task<bool> GoogleAuthenticator::trySilentSignIn()
{
    if (!isClientConfigured())
        co_return false;
    if (m_account)
        co_return true;
    QPointer<GoogleAuthenticator> self(this);
    const quint64 generation = m_generation;
    const int tries = std::max(1, m_config.storeReadTries);
    for (int attempt = 1;; ++attempt) {
        QCoro::Task<platform::SecretRead> reading = m_secrets->read(accountItem());
        const platform::SecretRead read = co_await std::move(reading);
        if (!self || generation != self->m_generation)
            co_return false;
        if (read.status == platform::SecretRead::Status::Absent)
            co_return false;
        if (read.status == platform::SecretRead::Status::Found) {
            const std::optional<GoogleAccount> stored = parseAccount(read.value);
            if (!stored) {
                // Kept as it is: a later version may read it, and the user can still connect again.
                qCWarning(lcGoogleAuth) << "the stored Google account is unreadable; not restored";
                co_return false;
            }
            if (self->m_userId.isEmpty())
                co_return false;
            if (stored->userId != self->m_userId) {
                qCInfo(lcGoogleAuth) << "the stored Google account belongs to another Brelta user; removed";
                QCoro::Task<platform::SecretWrite> removing = self->m_secrets->remove(accountItem());
                co_await std::move(removing);
                co_return false;
            }
            if (self->m_account)
                co_return true;
            self->m_account = *stored;
            self->m_accessToken.clear();
            qCInfo(lcGoogleAuth) << "Google account restored";
            emit self->accountChanged();
            co_return true;
        }
        // A locked or absent keyring says nothing about the item: it is asked again, never deleted.
        qCWarning(lcGoogleAuth) << "could not read the stored Google account:" << read.error;
        if (attempt >= tries)
            co_return false;
        QCoro::Task<> waiting = self->sleep(self->m_config.storeRetryDelay);
        co_await std::move(waiting);
        if (!self || generation != self->m_generation)
            co_return false;
    }
}

QCoro::Task<> GoogleAuthenticator::signOut()
{
    QPointer<GoogleAuthenticator> self(this);
    ++m_generation;
    const bool had = m_account.has_value();
    m_account.reset();
    m_accessToken.clear();
    if (m_consent) {
        std::shared_ptr<Consent> consent = std::exchange(m_consent, nullptr);
        consent->finish(std::make_exception_ptr(generalError(QStringLiteral("The Google sign-in was cancelled."))));
    }
    if (had)
        emit accountChanged();
    QCoro::Task<platform::SecretWrite> removing = m_secrets->remove(accountItem());
    const platform::SecretWrite removed = co_await std::move(removing);
    if (removed.failed())
        qCWarning(lcGoogleAuth) << "could not remove the stored Google account:" << removed.error;
}

QCoro::Task<std::optional<QString>> GoogleAuthenticator::accessToken()
{
    if (!m_account)
        co_return std::nullopt;
    if (!m_accessToken.isEmpty() && m_clock->now() < m_accessExpiry)
        co_return std::optional<QString>(m_accessToken);
    QCoro::Task<std::optional<QString>> refreshing = refreshedAccessToken(m_accessToken);
    co_return co_await std::move(refreshing);
}

QCoro::Task<std::optional<QString>> GoogleAuthenticator::refreshedAccessToken(QString rejected)
{
    QPointer<GoogleAuthenticator> self(this);
    const quint64 generation = m_generation;
    if (!m_account)
        co_return std::nullopt;
    // Another caller refreshed since this token was handed out.
    if (!m_accessToken.isEmpty() && m_accessToken != rejected && m_clock->now() < m_accessExpiry)
        co_return std::optional<QString>(m_accessToken);

    if (m_refreshing) {
        co_await qCoro(this, &GoogleAuthenticator::refreshFinished);
        if (!self)
            co_return std::nullopt;
    } else {
        m_refreshing = true;
        std::exception_ptr failure;
        try {
            QCoro::Task<> refreshing = refresh(generation);
            co_await std::move(refreshing);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!self)
            co_return std::nullopt;
        m_refreshing = false;
        emit refreshFinished();
        if (failure)
            std::rethrow_exception(failure);
    }
    if (!m_account || generation != m_generation || m_accessToken.isEmpty())
        co_return std::nullopt;
    co_return std::optional<QString>(m_accessToken);
}

QCoro::Task<> GoogleAuthenticator::refresh(quint64 generation)
{
    QPointer<GoogleAuthenticator> self(this);
    if (!m_network || !m_account)
        co_return;
    QUrlQuery form;
    auto add = [&form](const char *key, const QString &value) {
        form.addQueryItem(QLatin1String(key), QString::fromLatin1(QUrl::toPercentEncoding(value)));
    };
    add("grant_type", QStringLiteral("refresh_token"));
    add("refresh_token", m_account->refreshToken);
    add("client_id", m_config.clientId);
    if (!m_config.clientSecret.isEmpty())
        add("client_secret", m_config.clientSecret);
    QNetworkRequest request(m_config.tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setTransferTimeout(30000);
    std::unique_ptr<QNetworkReply> reply(m_network->post(request, form.toString(QUrl::FullyEncoded).toLatin1()));
    co_await qCoro(reply.get()).waitForFinished();
    if (!self || generation != self->m_generation)
        co_return;

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        throw generalError(QStringLiteral("Could not reach Google: %1").arg(reply->errorString()));
    const QByteArray body = reply->readAll();
    const nlohmann::json answer = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    const std::string error = answer.is_object() ? stringField(answer, "error") : std::string();
    if (error == "invalid_grant") {
        QCoro::Task<> forgetting =
            self->forget(generation, QStringLiteral("Google no longer allows Brelta to read your calendar. "
                                                    "Connect it again to get meeting reminders."));
        co_await std::move(forgetting);
        co_return;
    }
    const std::string token = answer.is_object() ? stringField(answer, "access_token") : std::string();
    if (status.toInt() != 200 || token.empty())
        throw generalError(QStringLiteral("Google refused to renew calendar access (HTTP %1).").arg(status.toInt()));
    qint64 lease = 3600;
    if (const auto it = answer.find("expires_in"); it != answer.end() && it->is_number_integer())
        lease = it->get<qint64>();
    self->m_accessToken = QString::fromStdString(token);
    self->m_accessExpiry = self->m_clock->now().addSecs(std::max<qint64>(0, lease - kExpiryMarginSeconds));
}

QCoro::Task<> GoogleAuthenticator::storeAccount(GoogleAccount account)
{
    const nlohmann::json json{{"refreshToken", account.refreshToken.toStdString()},
                              {"email", account.email.toStdString()},
                              {"userId", account.userId.toStdString()}};
    QCoro::Task<platform::SecretWrite> writing = m_secrets->write(accountItem(), QString::fromStdString(json.dump()));
    const platform::SecretWrite written = co_await std::move(writing);
    // Connected for this session all the same; the next launch asks to connect again.
    if (written.failed())
        qCWarning(lcGoogleAuth) << "could not store the Google account:" << written.error;
}

QCoro::Task<> GoogleAuthenticator::forget(quint64 generation, QString reason)
{
    if (generation != m_generation || !m_account)
        co_return;
    QPointer<GoogleAuthenticator> self(this);
    qCWarning(lcGoogleAuth) << "Google refused the stored grant; the account is disconnected";
    QCoro::Task<> signingOut = signOut();
    co_await std::move(signingOut);
    if (self)
        emit self->accountLost(reason);
}

QCoro::Task<> GoogleAuthenticator::sleep(std::chrono::milliseconds delay)
{
    std::unique_ptr<platform::Timer> timer = m_clock->createTimer();
    timer->start(delay, platform::Timer::Mode::SingleShot);
    co_await qCoro(timer.get(), &platform::Timer::timeout);
}

} // namespace brelta::calendar

#include "GoogleAuthenticator.moc"
