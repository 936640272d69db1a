#pragma once

#include "platform/Json.h"

#include <QString>

// Records of sign-in and the token exchange. Every field is required.
namespace brelta::backend::ApiAuth {

struct UserIdentity
{
    QString id;
    QString email;

    static UserIdentity fromJson(const platform::JsonReader &reader);
    bool operator==(const UserIdentity &) const = default;
};

// Answer of the password sign-in: a one-time code for the token exchange.
struct LoginResponse
{
    QString code;

    static LoginResponse fromJson(const platform::JsonReader &reader);
};

// Answer of the sign-up: a one-time code for the token exchange.
struct SignUpResponse
{
    QString authCode;

    static SignUpResponse fromJson(const platform::JsonReader &reader);
};

struct GetTokenResponse
{
    QString accessToken;
    QString refreshToken;
    // Decoded and checked, not used: tokens are refreshed when the backend refuses one.
    qint64 accessTokenExpiresInSeconds = 0;
    UserIdentity identity;

    static GetTokenResponse fromJson(const platform::JsonReader &reader);
};

} // namespace brelta::backend::ApiAuth
