#pragma once

// A backend client wired to an in-process local backend, a private settings file and the test run's real
// Secret Service (under a bundle identifier of its own, so tests do not see each other's tokens).

#include "backend/client/ApiClient.h"
#include "backend/client/ApiErrors.h"
#include "backend/client/SessionDelegate.h"
#include "devserver/DevServer.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/keyring/SecretStore.h"
#include "testsupport/CheckedWait.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <functional>
#include <memory>

namespace brelta::testsupport::client {

inline const QString kPasswordPath = QStringLiteral("/authn/password");
inline const QString kTokenPath = QStringLiteral("/token");
inline const QString kUserInfoPath = QStringLiteral("/quombler/v2/GetUserInfo");
inline const QString kMessagingPath =
    QStringLiteral("/v0/rpc/com.brelta.tarvelo.user_messaging.v1.UserMessageProvider/");

// Stands in for the shell: counts sign-outs and, like the shell, clears the client's session.
class RecordingSession : public backend::SessionDelegate
{
public:
    void logOut() override
    {
        ++logOutCount;
        if (client)
            client->clearSession();
    }
    void setUser(const QString &userId, const QString &username) override
    {
        lastUserId = userId;
        lastUsername = username;
    }

    backend::ApiClient *client = nullptr;
    int logOutCount = 0;
    QString lastUserId;
    QString lastUsername;
};

struct ClientFixture
{
    explicit ClientFixture(backend::ApiClientOptions options = shortTimeouts())
        : settings(settingsDir.filePath(QStringLiteral("brelta.ini")))
        , keychain(&secrets, QStringLiteral("com.brelta.test-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        if (!server.listen())
            qFatal("the local backend could not listen");
        client = makeClient(std::move(options));
        QObject::connect(client.get(), &backend::ApiClient::errorReported,
                         [this](const platform::AppError &error) { reported.append(error.message()); });
    }

    static backend::ApiClientOptions shortTimeouts()
    {
        backend::ApiClientOptions options;
        options.transferTimeout = std::chrono::seconds(2);
        options.keychainRetryDelay = std::chrono::milliseconds(200);
        options.launchArguments = {QStringLiteral("/usr/bin/brelta")};
        return options;
    }

    // Another client over the same backend, settings and keychain: the app launched again.
    std::unique_ptr<backend::ApiClient> makeClient(backend::ApiClientOptions options = shortTimeouts())
    {
        auto made = std::make_unique<backend::ApiClient>(backend::BackendHosts::loopback(server.port()), &keychain,
                                                         &settings, &session, std::move(options));
        session.client = made.get();
        return made;
    }

    // Signs the seeded user in and stores the user name as the shell would.
    void signIn()
    {
        const auto identity = awaitTask(client->signIn(server.seededUser().email, server.seededUser().password));
        if (!identity.succeeded())
            qFatal("signing in failed: %s", qPrintable(identity.errorText()));
        settings.setText(platform::settings::kUsername, identity.value->email);
        server.clearReceived();
    }

    QList<devserver::ReceivedRequest> requestsTo(const QString &path) const { return server.receivedRequests(path); }

    devserver::DevServer server;
    QTemporaryDir settingsDir;
    platform::SettingsStore settings;
    platform::SecretStore secrets{std::chrono::seconds(5)};
    backend::KeychainStore keychain;
    RecordingSession session;
    std::unique_ptr<backend::ApiClient> client;
    QStringList reported;
};

// What a failed call threw, for comparing in tables: "badConnection", "signInWrongCredentials", …,
// "status 409" for an HTTP failure, "decoding" for a body of the wrong shape, else the text.
template<typename T>
QString failureOf(const Awaited<T> &awaited)
{
    if (!awaited.finished)
        return QStringLiteral("(still running)");
    if (!awaited.error)
        return QStringLiteral("(succeeded)");
    try {
        awaited.rethrow();
    } catch (const backend::ApiClientException &error) {
        return QString::fromLatin1(backend::apiClientErrorName(error.error()));
    } catch (const backend::HttpFailure &failure) {
        return failure.status() ? QStringLiteral("status %1").arg(*failure.status())
                                : QStringLiteral("transport %1").arg(int(failure.transportError()));
    } catch (const platform::JsonDecodeError &) {
        return QStringLiteral("decoding");
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

// A port on loopback that nothing listens on.
inline quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // closed again when probe goes
}

} // namespace brelta::testsupport::client
