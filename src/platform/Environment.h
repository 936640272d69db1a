#pragma once

#include "platform/BuildInfo.h"

#include <QString>

#include <optional>
#include <string_view>

namespace brelta::platform {

// The environment a build was made for. Its name is part of the user agent and of analytics'
// "source_type", so the texts below are wire values.
enum class Environment { Development, Production, Internal };

constexpr std::string_view environmentName(Environment environment)
{
    switch (environment) {
    case Environment::Development:
        return "development";
    case Environment::Production:
        return "production";
    case Environment::Internal:
        return "internal";
    }
    return "production";
}

constexpr std::optional<Environment> environmentFromName(std::string_view name)
{
    if (name == "development")
        return Environment::Development;
    if (name == "production")
        return Environment::Production;
    if (name == "internal")
        return Environment::Internal;
    return std::nullopt;
}

// The environment compiled into this build (CMake's BRELTA_ENVIRONMENT, "production" unless a deployment
// chooses otherwise). An unknown name fails the build rather than shipping a wrong user agent.
constexpr Environment currentEnvironment()
{
    constexpr auto parsed = environmentFromName(buildinfo::kEnvironment);
    static_assert(parsed.has_value(), "BRELTA_ENVIRONMENT must be development, production or internal");
    return *parsed;
}

} // namespace brelta::platform
