#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace brelta::platform::update {

// The facts about this build that screens show.
enum class BundleInfoKey { ShortVersion, BuildNumber, BundleIdentifier };

// The compiled-in value, or the warning sign U+26A0 U+FE0F when the build left it empty.
QString bundleInfoString(BundleInfoKey key);
// `value`, or the warning sign when it is empty.
QString infoStringOrWarning(const QString &value);

// "1.4.0 (52)"; "1.4.0" without a build number; "Unknown" without a short version.
QString versionText(const QString &shortVersion, const QString &buildNumber);
// versionText() of this build.
QString currentVersion();

// A dotted version read as numbers, so 1.10 comes after 1.9 and 1.4 equals 1.4.0.
class VersionNumber
{
public:
    // Nothing unless every part is a plain decimal number: "1.5.0-beta", "", "1..2" and "v1" are refused.
    static std::optional<VersionNumber> parse(const QString &text);

    const QList<quint64> &parts() const { return m_parts; }
    // Missing trailing parts count as 0.
    friend std::strong_ordering operator<=>(const VersionNumber &a, const VersionNumber &b);
    friend bool operator==(const VersionNumber &a, const VersionNumber &b) { return (a <=> b) == 0; }

private:
    explicit VersionNumber(QList<quint64> parts) : m_parts(std::move(parts)) {}
    QList<quint64> m_parts;
};

} // namespace brelta::platform::update
