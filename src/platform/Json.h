#pragma once

// Strict JSON decoding and tidy encoding over nlohmann/json.
//
// Decoding walks a value through a JsonReader, which remembers where it is ("entries[2].messageId") so
// every failure names the field that caused it. A record decodes itself with a static
//     static Record fromJson(const JsonReader &reader);
// and encodes itself with a member
//     nlohmann::ordered_json toJson() const;
// An enumeration that travels as text specialises JsonEnum<E> with its raw values.
//
// Rules: a required key must be present, non-null and of its type; an optional key that is missing or
// null is absent; keys nobody asks for are ignored. Encoding leaves absent optionals out (no null).

#include <QByteArray>
#include <QString>

#include <nlohmann/json.hpp>

#include <array>
#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace brelta::platform {

// A value did not have the shape a decoder asked for. what() is "<path>: <problem>".
class JsonDecodeError : public std::runtime_error
{
public:
    JsonDecodeError(std::string path, std::string problem);

    const std::string &path() const { return m_path; }
    const std::string &problem() const { return m_problem; }

private:
    std::string m_path;
    std::string m_problem;
};

// A value could not be written as JSON text (a string that is not valid UTF-8).
class JsonEncodeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The path printed for the top-level value.
inline constexpr std::string_view kJsonRootPath = "(root)";

// "null", "boolean", "number", "string", "array", "object".
std::string jsonTypeName(const nlohmann::json &value);

// Copying, comparing and printing a value recurse once per level of nesting, so a text nested deeper
// than this is refused when it is read: no answer or stored value of ours comes near it.
inline constexpr int kMaxJsonDepth = 512;

// Parses JSON text; text that is not JSON, holds a number beyond the range of a double or nests deeper
// than kMaxJsonDepth becomes a JsonDecodeError at the root. No other exception escapes.
nlohmann::json parseJson(std::string_view text);
nlohmann::json parseJson(const QByteArray &text);

// Compact UTF-8 text; throws JsonEncodeError when a string is not valid UTF-8.
QByteArray toJsonText(const nlohmann::ordered_json &value);

// Raw text values of an enumeration:
//   template<> struct JsonEnum<Feature> {
//       static constexpr std::array values{ std::pair{Feature::Unspecified, std::string_view("FEATURE_UNSPECIFIED")}, ... };
//   };
// Matching is exact (case-sensitive).
template<typename E>
struct JsonEnum;

template<typename E>
concept JsonEnumeration = std::is_enum_v<E> && requires
{
    JsonEnum<E>::values;
};

template<JsonEnumeration E>
constexpr std::optional<E> enumFromRawValue(std::string_view raw)
{
    for (const auto &[value, text] : JsonEnum<E>::values) {
        if (text == raw)
            return value;
    }
    return std::nullopt;
}

template<JsonEnumeration E>
constexpr std::string_view enumRawValue(E value)
{
    for (const auto &[candidate, text] : JsonEnum<E>::values) {
        if (candidate == value)
            return text;
    }
    return {};
}

class JsonReader;

template<typename T>
concept JsonDecodableRecord = requires(const JsonReader &reader)
{
    {
        T::fromJson(reader)
        } -> std::convertible_to<T>;
};

template<typename T>
concept JsonEncodableRecord = requires(const T &record)
{
    {
        record.toJson()
        } -> std::convertible_to<nlohmann::ordered_json>;
};

template<typename T>
struct IsStdVector : std::false_type
{};
template<typename T>
struct IsStdVector<std::vector<T>> : std::true_type
{};

// A read-only view of one JSON value and the path that leads to it. Cheap to copy; it does not own the
// value, so the document must outlive it.
class JsonReader
{
public:
    explicit JsonReader(const nlohmann::json &value, std::string path = std::string(kJsonRootPath));

    const nlohmann::json &value() const { return *m_value; }
    const std::string &path() const { return m_path; }
    bool isNull() const { return m_value->is_null(); }

    // Throws unless the value is an object / an array.
    const JsonReader &expectObject() const;
    const JsonReader &expectArray() const;

    // The member `key`: present and non-null, else "missing".
    JsonReader field(std::string_view key) const;
    // The member `key`, or nothing when it is missing or null.
    std::optional<JsonReader> optionalField(std::string_view key) const;
    bool has(std::string_view key) const;

    // The elements of an array value, each with its index in the path.
    std::vector<JsonReader> elements() const;

    // This value as T: QString, std::string, bool, integers, double, a JsonEnum enumeration, a record
    // with fromJson, or a std::vector of any of those.
    template<typename T>
    T as() const;

    template<typename T>
    T required(std::string_view key) const
    {
        return field(key).as<T>();
    }

    template<typename T>
    std::optional<T> optional(std::string_view key) const
    {
        if (const auto member = optionalField(key))
            return member->as<T>();
        return std::nullopt;
    }

    // A required array whose elements are read by `decodeItem(const JsonReader &)`.
    template<typename Decoder>
    auto array(std::string_view key, Decoder &&decodeItem) const
    {
        return field(key).arrayOf(std::forward<Decoder>(decodeItem));
    }

    template<typename Decoder>
    auto optionalArray(std::string_view key, Decoder &&decodeItem) const
    {
        using Item = std::invoke_result_t<Decoder &, const JsonReader &>;
        if (const auto member = optionalField(key))
            return std::optional<std::vector<Item>>(member->arrayOf(std::forward<Decoder>(decodeItem)));
        return std::optional<std::vector<Item>>();
    }

    // The required member `key`, which must be an object.
    JsonReader object(std::string_view key) const;

    template<typename Decoder>
    auto arrayOf(Decoder &&decodeItem) const
    {
        using Item = std::invoke_result_t<Decoder &, const JsonReader &>;
        std::vector<Item> items;
        for (const JsonReader &element : elements())
            items.push_back(decodeItem(element));
        return items;
    }

    // Throws a JsonDecodeError at this value's path.
    [[noreturn]] void fail(const std::string &problem) const;
    [[noreturn]] void failExpected(std::string_view expected) const;

private:
    QString readQString() const;
    std::string readString() const;
    bool readBool() const;
    std::int64_t readInt64() const;
    std::uint64_t readUInt64() const;
    double readDouble() const;

    const nlohmann::json *m_value;
    std::string m_path;
};

template<typename T>
T JsonReader::as() const
{
    if constexpr (std::is_same_v<T, QString>) {
        return readQString();
    } else if constexpr (std::is_same_v<T, std::string>) {
        return readString();
    } else if constexpr (std::is_same_v<T, bool>) {
        return readBool();
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        const std::int64_t number = readInt64();
        if (!std::in_range<T>(number))
            fail("integer " + std::to_string(number) + " out of range");
        return static_cast<T>(number);
    } else if constexpr (std::is_integral_v<T>) {
        const std::uint64_t number = readUInt64();
        if (!std::in_range<T>(number))
            fail("integer " + std::to_string(number) + " out of range");
        return static_cast<T>(number);
    } else if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(readDouble());
    } else if constexpr (JsonEnumeration<T>) {
        const std::string raw = readString();
        if (const auto known = enumFromRawValue<T>(raw))
            return *known;
        fail("unknown value \"" + raw + "\"");
    } else if constexpr (IsStdVector<T>::value) {
        return arrayOf([](const JsonReader &element) { return element.as<typename T::value_type>(); });
    } else {
        static_assert(JsonDecodableRecord<T>, "give the record a static fromJson(const JsonReader &)");
        return T::fromJson(*this);
    }
}

// Decodes a whole document as T, e.g. decodeJson<GetMessageResponse>(reply->readAll()).
template<typename T>
T decodeJson(const nlohmann::json &document)
{
    return JsonReader(document).as<T>();
}

template<typename T>
T decodeJson(const QByteArray &text)
{
    return decodeJson<T>(parseJson(text));
}

// Encoding ------------------------------------------------------------------------------------------

template<typename T>
nlohmann::ordered_json toJsonValue(const T &value)
{
    if constexpr (std::is_same_v<T, QString>) {
        return value.toStdString();
    } else if constexpr (JsonEnumeration<T>) {
        return std::string(enumRawValue(value));
    } else if constexpr (IsStdVector<T>::value) {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        for (const auto &item : value)
            array.push_back(toJsonValue(item));
        return array;
    } else if constexpr (JsonEncodableRecord<T>) {
        return value.toJson();
    } else {
        return nlohmann::ordered_json(value);
    }
}

// Builds one object in the order its keys are added.
class JsonObjectWriter
{
public:
    JsonObjectWriter() : m_object(nlohmann::ordered_json::object()) {}

    template<typename T>
    JsonObjectWriter &add(std::string_view key, const T &value)
    {
        m_object[std::string(key)] = toJsonValue(value);
        return *this;
    }

    // Leaves the key out when the value is absent.
    template<typename T>
    JsonObjectWriter &addOptional(std::string_view key, const std::optional<T> &value)
    {
        if (value)
            add(key, *value);
        return *this;
    }

    nlohmann::ordered_json take() { return std::move(m_object); }

private:
    nlohmann::ordered_json m_object;
};

// The empty object written for records that carry no fields.
inline nlohmann::ordered_json emptyJsonObject()
{
    return nlohmann::ordered_json::object();
}

} // namespace brelta::platform
