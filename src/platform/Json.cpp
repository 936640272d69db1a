#include "platform/Json.h"

#include <cmath>
#include <limits>

namespace brelta::platform {

JsonDecodeError::JsonDecodeError(std::string path, std::string problem)
    : std::runtime_error(path + ": " + problem)
    , m_path(std::move(path))
    , m_problem(std::move(problem))
{}

std::string jsonTypeName(const nlohmann::json &value)
{
    switch (value.type()) {
    case nlohmann::json::value_t::null:
        return "null";
    case nlohmann::json::value_t::boolean:
        return "boolean";
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
        return "number";
    case nlohmann::json::value_t::string:
        return "string";
    case nlohmann::json::value_t::array:
        return "array";
    case nlohmann::json::value_t::object:
        return "object";
    case nlohmann::json::value_t::binary:
        return "binary";
    case nlohmann::json::value_t::discarded:
        return "discarded";
    }
    return "unknown";
}

nlohmann::json parseJson(std::string_view text)
{
    // The parser itself keeps its own stack; it is only told to drop what lies too deep, and the text
    // is then refused as a whole.
    bool tooDeep = false;
    const auto boundDepth = [&tooDeep](int depth, nlohmann::json::parse_event_t event, nlohmann::json &) {
        const bool opens =
            event == nlohmann::json::parse_event_t::object_start || event == nlohmann::json::parse_event_t::array_start;
        if (opens && depth >= kMaxJsonDepth) {
            tooDeep = true;
            return false;
        }
        return !tooDeep;
    };
    const auto tooDeepError = [] {
        return JsonDecodeError(std::string(kJsonRootPath),
                               "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
    };
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(text, boundDepth);
    } catch (const nlohmann::json::exception &error) {
        if (tooDeep)
            throw tooDeepError();
        throw JsonDecodeError(std::string(kJsonRootPath), std::string("not JSON: ") + error.what());
    }
    if (tooDeep)
        throw tooDeepError();
    return document;
}

nlohmann::json parseJson(const QByteArray &text)
{
    return parseJson(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

QByteArray toJsonText(const nlohmann::ordered_json &value)
{
    try {
        const std::string text = value.dump();
        return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    } catch (const nlohmann::json::exception &error) {
        throw JsonEncodeError(error.what());
    }
}

JsonReader::JsonReader(const nlohmann::json &value, std::string path) : m_value(&value), m_path(std::move(path)) {}

void JsonReader::fail(const std::string &problem) const
{
    throw JsonDecodeError(m_path, problem);
}

void JsonReader::failExpected(std::string_view expected) const
{
    fail("expected " + std::string(expected) + ", got " + jsonTypeName(*m_value));
}

const JsonReader &JsonReader::expectObject() const
{
    if (!m_value->is_object())
        failExpected("object");
    return *this;
}

const JsonReader &JsonReader::expectArray() const
{
    if (!m_value->is_array())
        failExpected("array");
    return *this;
}

namespace {

std::string childPath(const std::string &parent, std::string_view key)
{
    if (parent == kJsonRootPath)
        return std::string(key);
    return parent + '.' + std::string(key);
}

} // namespace

bool JsonReader::has(std::string_view key) const
{
    expectObject();
    const auto member = m_value->find(key);
    return member != m_value->end() && !member->is_null();
}

JsonReader JsonReader::field(std::string_view key) const
{
    expectObject();
    const auto member = m_value->find(key);
    if (member == m_value->end())
        throw JsonDecodeError(childPath(m_path, key), "missing");
    if (member->is_null())
        throw JsonDecodeError(childPath(m_path, key), "missing (null)");
    return JsonReader(*member, childPath(m_path, key));
}

std::optional<JsonReader> JsonReader::optionalField(std::string_view key) const
{
    expectObject();
    const auto member = m_value->find(key);
    if (member == m_value->end() || member->is_null())
        return std::nullopt;
    return JsonReader(*member, childPath(m_path, key));
}

JsonReader JsonReader::object(std::string_view key) const
{
    JsonReader member = field(key);
    member.expectObject();
    return member;
}

std::vector<JsonReader> JsonReader::elements() const
{
    expectArray();
    std::vector<JsonReader> result;
    result.reserve(m_value->size());
    const std::string prefix = m_path == kJsonRootPath ? std::string() : m_path;
    std::size_t index = 0;
    for (const nlohmann::json &element : *m_value)
        result.emplace_back(element, prefix + '[' + std::to_string(index++) + ']');
    return result;
}

std::string JsonReader::readString() const
{
    if (!m_value->is_string())
        failExpected("string");
    return m_value->get_ref<const std::string &>();
}

QString JsonReader::readQString() const
{
    return QString::fromStdString(readString());
}

bool JsonReader::readBool() const
{
    if (!m_value->is_boolean())
        failExpected("boolean");
    return m_value->get<bool>();
}

std::int64_t JsonReader::readInt64() const
{
    if (m_value->is_number_integer() && !m_value->is_number_unsigned())
        return m_value->get<std::int64_t>();
    if (m_value->is_number_unsigned()) {
        const auto number = m_value->get<std::uint64_t>();
        if (!std::in_range<std::int64_t>(number))
            fail("integer " + std::to_string(number) + " out of range");
        return static_cast<std::int64_t>(number);
    }
    if (m_value->is_number_float()) {
        // 12.0 is the integer twelve; 12.5 is not an integer at all.
        const double number = m_value->get<double>();
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (std::trunc(number) == number && number >= -limit && number < limit)
            return static_cast<std::int64_t>(number);
        fail("expected integer, got " + m_value->dump());
    }
    failExpected("integer");
}

std::uint64_t JsonReader::readUInt64() const
{
    if (m_value->is_number_unsigned())
        return m_value->get<std::uint64_t>();
    const std::int64_t number = readInt64();
    if (number < 0)
        fail("integer " + std::to_string(number) + " out of range");
    return static_cast<std::uint64_t>(number);
}

double JsonReader::readDouble() const
{
    if (!m_value->is_number())
        failExpected("number");
    return m_value->get<double>();
}

} // namespace brelta::platform
