#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace brelta::backend {

// One password rule: an identifier, the test, and the text to show when the password fails it.
struct PasswordTest
{
    QString testId;
    std::function<bool(const QString &password)> test;
    QString error;
};

// Collects password rules, each a regular expression matched against the password, in the order they
// are added. Calls chain: PasswordValidatorBuilder().hasLength(8).hasLength(12, "…").
class PasswordValidatorBuilder
{
public:
    // At least `min` characters before the first line break. The identifier is "hasLength<min>"; without
    // an error text the rule says "The password must be at least <min> characters long.".
    PasswordValidatorBuilder &hasLength(int min, const std::optional<QString> &error = std::nullopt);

    const std::vector<PasswordTest> &tests() const { return m_tests; }

    // Whether `password` contains a match of `regex`; false when the pattern does not compile. `flags`
    // is accepted for callers that pass script-style flags and has no effect.
    static bool regexTest(const QString &password, const QString &regex, const QString &flags);

private:
    std::vector<PasswordTest> m_tests;
};

} // namespace brelta::backend
