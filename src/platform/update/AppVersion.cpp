#include "platform/update/AppVersion.h"

#include "platform/BuildInfo.h"

#include <compare>

namespace brelta::platform::update {

QString infoStringOrWarning(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("\u26A0\uFE0F") : value;
}

QString bundleInfoString(BundleInfoKey key)
{
    switch (key) {
    case BundleInfoKey::ShortVersion:
        return infoStringOrWarning(QString::fromUtf8(buildinfo::kVersion));
    case BundleInfoKey::BuildNumber:
        return infoStringOrWarning(QString::fromUtf8(buildinfo::kBuildNumber));
    case BundleInfoKey::BundleIdentifier:
        return infoStringOrWarning(QString::fromUtf8(buildinfo::kBundleIdentifier));
    }
    return infoStringOrWarning({});
}

QString versionText(const QString &shortVersion, const QString &buildNumber)
{
    if (shortVersion.isEmpty())
        return QStringLiteral("Unknown");
    if (buildNumber.isEmpty())
        return shortVersion;
    return shortVersion + QStringLiteral(" (") + buildNumber + QLatin1Char(')');
}

QString currentVersion()
{
    return versionText(QString::fromUtf8(buildinfo::kVersion), QString::fromUtf8(buildinfo::kBuildNumber));
}

std::optional<VersionNumber> VersionNumber::parse(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    QList<quint64> parts;
    for (const QStringView part : QStringView(trimmed).split(QLatin1Char('.'))) {
        if (part.isEmpty() || part.size() > 18)
            return std::nullopt;
        quint64 number = 0;
        for (const QChar c : part) {
            // Only ASCII digits: QString::toULongLong would also take other scripts' digits and signs.
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
            number = number * 10 + quint64(c.unicode() - '0');
        }
        parts.append(number);
    }
    return VersionNumber(std::move(parts));
}

std::strong_ordering operator<=>(const VersionNumber &a, const VersionNumber &b)
{
    const qsizetype count = std::max(a.m_parts.size(), b.m_parts.size());
    for (qsizetype i = 0; i < count; ++i) {
        const quint64 left = a.m_parts.value(i, 0);
        const quint64 right = b.m_parts.value(i, 0);
        if (left != right)
            return left <=> right;
    }
    return std::strong_ordering::equal;
}

} // namespace brelta::platform::update
