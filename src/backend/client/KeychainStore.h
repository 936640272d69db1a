#pragma once

#include "platform/keyring/SecretStore.h"

#include <QCoroTask>
#include <QString>

#include <array>

namespace brelta::backend {

// The two items the client keeps in the Secret Service. The names are stored data: the access token's
// item is "accessCode".
enum class KeychainKey { AccessToken, RefreshToken };

inline constexpr std::array kAllKeychainKeys{KeychainKey::AccessToken, KeychainKey::RefreshToken};

QString keychainKeyName(KeychainKey key);

// The tokens' store: one generic secret per key, service "<bundle identifier>-<key>", account "brelta".
class KeychainStore
{
public:
    explicit KeychainStore(platform::SecretStore *store, QString bundleIdentifier = defaultBundleIdentifier());

    static QString defaultBundleIdentifier();

    platform::SecretItem itemFor(KeychainKey key) const;

    // True when the value was stored (or a newer value asked for later replaced it before it ran).
    QCoro::Task<bool> setString(QString value, KeychainKey key);
    // Found, absent (the service says so), or failed (the item may exist: locked, no service, timeout).
    QCoro::Task<platform::SecretRead> getString(KeychainKey key);
    // True when the item is gone.
    QCoro::Task<bool> remove(KeychainKey key);

private:
    platform::SecretStore *m_store;
    QString m_bundleIdentifier;
};

} // namespace brelta::backend
