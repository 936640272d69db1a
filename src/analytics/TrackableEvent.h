#pragma once

// What every event of the catalogue offers: its property dictionary (what the analytics service
// receives) and its JSON form. Both walk the record's `fields()` in declaration order.

#include "analytics/Event.h"
#include "platform/Json.h"
#include "platform/telemetry/AnalyticsProperties.h"

#include <QString>

#include <concepts>
#include <optional>
#include <string_view>
#include <type_traits>

namespace brelta::analytics {

template<typename E>
concept TrackableEvent = requires(const E &event)
{
    {
        E::literal
        } -> std::convertible_to<std::string_view>;
    {
        event.name
        } -> std::convertible_to<QString>;
    E::fields(event, [](std::string_view, const auto &) {});
};

// The version of the property layout below; the analytics warehouse keys its parsing on it.
inline constexpr qint64 kSchemaVersion = 6;

// "Mac App (" + the compiled-in environment's name + ")": the value dashboards already filter on, kept
// as it is for every desktop build.
QString sourceType();

namespace detail {

template<typename T>
struct IsOptional : std::false_type
{};
template<typename T>
struct IsOptional<std::optional<T>> : std::true_type
{};

inline QString keyText(std::string_view key)
{
    return QString::fromLatin1(key.data(), qsizetype(key.size()));
}

template<typename T>
platform::AnalyticsValue propertyValue(const T &value)
{
    if constexpr (IsOptional<T>::value) {
        return value ? propertyValue(*value) : platform::AnalyticsValue(nullptr);
    } else if constexpr (platform::JsonEnumeration<T>) {
        const std::string_view raw = platform::enumRawValue(value);
        return QString::fromUtf8(raw.data(), qsizetype(raw.size()));
    } else if constexpr (std::is_same_v<T, QString>) {
        return value;
    } else if constexpr (std::is_same_v<T, bool>) {
        return value;
    } else {
        static_assert(std::is_same_v<T, qint64>, "event fields are text, integer, boolean or an enumeration");
        return value;
    }
}

} // namespace detail

// The dictionary handed to the analytics client: "schema_version", "source_type" and one entry per field,
// "name" included. An absent optional keeps its key with a null value.
template<TrackableEvent E>
platform::AnalyticsProperties properties(const E &event)
{
    platform::AnalyticsProperties result{
        {QStringLiteral("schema_version"), kSchemaVersion},
        {QStringLiteral("source_type"), sourceType()},
    };
    E::fields(event, [&result](std::string_view key, const auto &value) {
        result.insert_or_assign(detail::keyText(key), detail::propertyValue(value));
    });
    return result;
}

// One object keyed by field name; an absent optional leaves no key.
template<TrackableEvent E>
nlohmann::ordered_json toJson(const E &event)
{
    platform::JsonObjectWriter writer;
    E::fields(event, [&writer](std::string_view key, const auto &value) {
        if constexpr (detail::IsOptional<std::decay_t<decltype(value)>>::value)
            writer.addOptional(key, value);
        else
            writer.add(key, value);
    });
    return writer.take();
}

// Reads an event: "name" and every non-optional field must be present with a value of its type; an
// optional one may be missing or null. Throws platform::JsonDecodeError naming the field at fault.
template<TrackableEvent E>
E eventFromJson(const platform::JsonReader &reader)
{
    reader.expectObject();
    E event;
    E::fields(event, [&reader](std::string_view key, auto &value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (detail::IsOptional<T>::value)
            value = reader.optional<typename T::value_type>(key);
        else
            value = reader.required<T>(key);
    });
    return event;
}

template<TrackableEvent E>
E decodeEvent(const QByteArray &text)
{
    const nlohmann::json document = platform::parseJson(text);
    return eventFromJson<E>(platform::JsonReader(document));
}

} // namespace brelta::analytics
