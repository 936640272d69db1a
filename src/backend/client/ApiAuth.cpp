#include "backend/client/ApiAuth.h"

namespace brelta::backend::ApiAuth {

UserIdentity UserIdentity::fromJson(const platform::JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("id"), reader.required<QString>("email")};
}

LoginResponse LoginResponse::fromJson(const platform::JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("code")};
}

SignUpResponse SignUpResponse::fromJson(const platform::JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("authCode")};
}

GetTokenResponse GetTokenResponse::fromJson(const platform::JsonReader &reader)
{
    reader.expectObject();
    GetTokenResponse response;
    response.accessToken = reader.required<QString>("accessToken");
    response.refreshToken = reader.required<QString>("refreshToken");
    response.accessTokenExpiresInSeconds = reader.required<qint64>("accessTokenExpiresInSeconds");
    response.identity = reader.required<UserIdentity>("identity");
    return response;
}

} // namespace brelta::backend::ApiAuth
