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

// Nothing of the store is touched after an await but `key`, a value of the frame: the store may be gone.
QCoro::Task<bool> KeychainStore::setString(QString value, KeychainKey key)
{
    QCoro::Task<platform::SecretWrite> writing = m_store->write(itemFor(key), std::move(value));
    const platform::SecretWrite result = co_await std::move(writing);
    if (result.failed())
        qCWarning(lcKeychainStore).noquote() << "storing" << keychainKeyName(key) << "failed:" << result.error;
    co_return !result.failed();
}

QCoro::Task<platform::SecretRead> KeychainStore::getString(KeychainKey key)
{
    QCoro::Task<platform::SecretRead> reading = m_store->read(itemFor(key));
    platform::SecretRead result = co_await std::move(reading);
    if (result.status == platform::SecretRead::Status::Failed)
        qCWarning(lcKeychainStore).noquote() << "reading" << keychainKeyName(key) << "failed:" << result.error;
    co_return result;
}

QCoro::Task<bool> KeychainStore::remove(KeychainKey key)
{
    QCoro::Task<platform::SecretWrite> removing = m_store->remove(itemFor(key));
    const platform::SecretWrite result = co_await std::move(removing);
    if (result.failed())
        qCWarning(lcKeychainStore).noquote() << "removing" << keychainKeyName(key) << "failed:" << result.error;
    co_return !result.failed();
}

} // namespace brelta::backend
