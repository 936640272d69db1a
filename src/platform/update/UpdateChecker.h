#pragma once

#include "platform/update/AppVersion.h"

#include <QCoroTask>
#include <QString>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;

namespace brelta::platform::update {

struct UpdateCheckResult
{
    enum class Status {
        UpToDate,
        NewerAvailable,
        // This build has no feed: nothing was asked, so nothing is known about newer versions.
        NotConfigured,
        Failed,
    };
    Status status = Status::Failed;
    // The newest version the feed offers, as versionText() writes it (NewerAvailable only).
    QString latestVersion;
    // Its web page; empty when the feed gave none that may be opened (see isOpenableWebPage).
    QUrl page;
    // Why the check failed (Failed only).
    QString error;
};

// Only https pages are opened in the browser: a feed is fetched from the network and its links are not
// trusted to be anything else.
bool isOpenableWebPage(const QUrl &url);

// "Check for updates": reads the appcast and compares its newest release with this build, numerically
// (1.10 is newer than 1.9), the build number deciding between equal versions.
class UpdateChecker
{
public:
    // The compiled-in feed (CMake's BRELTA_UPDATE_FEED_URL); empty when the deployment has none.
    static QUrl compiledFeedUrl();

    // `network` must outlive the checker. A feed must be https; plain http is taken only from a loopback
    // host, for the local test feeds.
    UpdateChecker(QNetworkAccessManager *network, QUrl feedUrl = compiledFeedUrl(),
                  QString shortVersion = defaultShortVersion(), QString buildNumber = defaultBuildNumber(),
                  std::chrono::milliseconds transferTimeout = std::chrono::seconds(30));

    QCoro::Task<UpdateCheckResult> check();

    const QUrl &feedUrl() const { return m_feedUrl; }

private:
    static QString defaultShortVersion();
    static QString defaultBuildNumber();
    UpdateCheckResult compare(const QByteArray &feed) const;

    QNetworkAccessManager *m_network;
    QUrl m_feedUrl;
    QString m_shortVersion;
    QString m_buildNumber;
    std::chrono::milliseconds m_transferTimeout;
};

} // namespace brelta::platform::update
