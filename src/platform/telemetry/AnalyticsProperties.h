#pragma once

#include <QString>

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <variant>

namespace brelta::platform {

// One property of an analytics event or trait: an integer, a boolean, a text, or null for a value the
// sender left absent (the key is still sent).
using AnalyticsValue = std::variant<std::nullptr_t, qint64, bool, QString>;

// The flat dictionary the analytics client sends with an event or an identity. Key order carries no
// meaning.
using AnalyticsProperties = std::map<QString, AnalyticsValue>;

nlohmann::ordered_json toJson(const AnalyticsValue &value);
nlohmann::ordered_json toJson(const AnalyticsProperties &properties);

} // namespace brelta::platform
