#include "platform/update/UpdateChecker.h"

#include "platform/BuildInfo.h"
#include "platform/update/Appcast.h"
#include "platform/update/UpdateFeed.h"

#include <QCoroSignal>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <memory>

Q_LOGGING_CATEGORY(lcUpdateChecker, "brelta.platform.UpdateChecker")

namespace brelta::platform::update {

namespace {

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

bool isLoopbackHttp(const QUrl &url)
{
    if (url.scheme() != QLatin1String("http"))
        return false;
    if (url.host() == QLatin1String("localhost"))
        return true;
    const QHostAddress address(url.host());
    return !address.isNull() && address.isLoopback();
}

UpdateCheckResult failed(const QString &error)
{
    qCWarning(lcUpdateChecker).noquote() << "update check failed:" << error;
    UpdateCheckResult result;
    result.status = UpdateCheckResult::Status::Failed;
    result.error = error;
    return result;
}

struct Release
{
    VersionNumber version;
    std::optional<VersionNumber> build;
    const AppcastItem *item;
};

// Newer when the version is, or when the versions are equal and both builds are numbers and the build is.
bool isNewer(const Release &candidate, const VersionNumber &version, const std::optional<VersionNumber> &build)
{
    if (candidate.version != version)
        return candidate.version > version;
    return candidate.build && build && *candidate.build > *build;
}

} // namespace

bool isOpenableWebPage(const QUrl &url)
{
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty();
}

QUrl UpdateChecker::compiledFeedUrl()
{
    return QUrl(QString::fromUtf8(kFeedUrl), QUrl::StrictMode);
}

QString UpdateChecker::defaultShortVersion()
{
    return QString::fromUtf8(buildinfo::kVersion);
}

QString UpdateChecker::defaultBuildNumber()
{
    return QString::fromUtf8(buildinfo::kBuildNumber);
}

UpdateChecker::UpdateChecker(QNetworkAccessManager *network, QUrl feedUrl, QString shortVersion, QString buildNumber,
                             std::chrono::milliseconds transferTimeout)
    : m_network(network)
    , m_feedUrl(std::move(feedUrl))
    , m_shortVersion(std::move(shortVersion))
    , m_buildNumber(std::move(buildNumber))
    , m_transferTimeout(transferTimeout)
{}

QCoro::Task<UpdateCheckResult> UpdateChecker::check()
{
    if (m_feedUrl.isEmpty()) {
        qCInfo(lcUpdateChecker) << "no update feed in this build";
        co_return UpdateCheckResult{UpdateCheckResult::Status::NotConfigured, {}, {}, {}};
    }
    if (!m_feedUrl.isValid() || (m_feedUrl.scheme() != QLatin1String("https") && !isLoopbackHttp(m_feedUrl)))
        co_return failed(QStringLiteral("the update feed is not an https URL: ") + m_feedUrl.toDisplayString());

    QNetworkRequest request(m_feedUrl);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    std::unique_ptr<QNetworkReply, DeleteLater> reply(m_network->get(request));
    QPointer<QNetworkReply> watched(reply.get());
    co_await qCoro(reply.get(), &QNetworkReply::finished);
    if (!watched)
        co_return failed(QStringLiteral("the request was abandoned"));

    if (reply->error() != QNetworkReply::NoError)
        co_return failed(reply->errorString());
    if (reply->bytesAvailable() > kMaxAppcastBytes)
        co_return failed(QStringLiteral("the appcast is larger than %1 bytes").arg(kMaxAppcastBytes));
    co_return compare(reply->readAll());
}

UpdateCheckResult UpdateChecker::compare(const QByteArray &feed) const
{
    const std::optional<VersionNumber> ownVersion = VersionNumber::parse(m_shortVersion);
    if (!ownVersion)
        return failed(QStringLiteral("this build's version \"%1\" is not a number").arg(m_shortVersion));
    const std::optional<VersionNumber> ownBuild = VersionNumber::parse(m_buildNumber);

    const AppcastReading reading = readAppcast(feed);
    if (!reading.error.isEmpty())
        return failed(reading.error);

    std::optional<Release> newest;
    for (const AppcastItem &item : reading.items) {
        const std::optional<VersionNumber> version = VersionNumber::parse(item.shortVersion);
        if (!version) {
            qCInfo(lcUpdateChecker).noquote()
                << "skipping an appcast item whose version is not a number:" << item.shortVersion.left(40);
            continue;
        }
        Release release{*version, VersionNumber::parse(item.buildVersion), &item};
        if (!newest || isNewer(release, newest->version, newest->build))
            newest = release;
    }

    if (!newest || !isNewer(*newest, *ownVersion, ownBuild))
        return UpdateCheckResult{UpdateCheckResult::Status::UpToDate, {}, {}, {}};

    UpdateCheckResult result{UpdateCheckResult::Status::NewerAvailable, {}, {}, {}};
    result.latestVersion = versionText(newest->item->shortVersion, newest->item->buildVersion);
    if (isOpenableWebPage(newest->item->page))
        result.page = newest->item->page;
    else
        qCWarning(lcUpdateChecker).noquote() << "the newest release's page is not an https URL; it is not offered";
    return result;
}

} // namespace brelta::platform::update
