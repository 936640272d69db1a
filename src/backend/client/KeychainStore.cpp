#include "backend/client/KeychainStore.h"

#include "platform/BuildInfo.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcKeychainStore, "brelta.backend.KeychainStore")

namespace brelta::backend {

QString keychainKeyName(KeychainKey key)
{
    switch (key) {
    case KeychainKey::AccessToken:
        return QStringLiteral("accessCode");
    case KeychainKey::RefreshToken:
        return QStringLiteral("refreshToken");
    }
    return {};
}

KeychainStore::KeychainStore(platform::SecretStore *store, QString bundleIdentifier)
    : m_store(store)
    , m_bundleIdentifier(bundleIdentifier.isEmpty() ? defaultBundleIdentifier() : std::move(bundleIdentifier))
{}

QString KeychainStore::defaultBundleIdentifier()
{
    return QString::fromLatin1(buildinfo::kBundleIdentifier);
}

platform::SecretItem KeychainStore::itemFor(KeychainKey key) const
{
    return {m_bundleIdentifier + QLatin1Char('-') + keychainKeyName(key), QStringLiteral("brelta")};
}

QCoro::Task<bool> KeychainStore::setString(QString value, KeychainKey key)
{
    const platform::SecretWrite result = co_await m_store->write(itemFor(key), std::move(value));
    if (result.failed())
        qCWarning(lcKeychainStore).noquote() << "storing" << keychainKeyName(key) << "failed:" << result.error;
    co_return !result.failed();
}

QCoro::Task<platform::SecretRead> KeychainStore::getString(KeychainKey key)
{
    platform::SecretRead result = co_await m_store->read(itemFor(key));
    if (result.status == platform::SecretRead::Status::Failed)
        qCWarning(lcKeychainStore).noquote() << "reading" << keychainKeyName(key) << "failed:" << result.error;
    co_return result;
}

QCoro::Task<bool> KeychainStore::remove(KeychainKey key)
{
    const platform::SecretWrite result = co_await m_store->remove(itemFor(key));
    if (result.failed())
        qCWarning(lcKeychainStore).noquote() << "removing" << keychainKeyName(key) << "failed:" << result.error;
    co_return !result.failed();
}

} // namespace brelta::backend
