#pragma once

#include "shell/routes/RouteRequest.h"
#include "shell/routes/RouteSeams.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>

#include <memory>

namespace brelta::backend {
class ApiClient;
}
namespace brelta::platform {
class Clock;
class PermissionManager;
class SettingsStore;
class Timer;
} // namespace brelta::platform

namespace brelta::shell {

class AppDelegate;
class RecordingSession;

// What the router works with; all but delegate, settings, clock and api may be null (the route then
// logs that the part is missing and ends like an unknown link).
struct UrlRouterParts
{
    AppDelegate *delegate = nullptr;
    platform::SettingsStore *settings = nullptr;
    platform::Clock *clock = nullptr;
    backend::ApiClient *api = nullptr;
    platform::PermissionManager *permissions = nullptr;
    RecordingSession *recording = nullptr;
    PanelSwitcher *panels = nullptr;
    OnboardingNavigator *onboarding = nullptr;
};

// Acts on "brelta://app/…" links: "/settings" and "/calendar" open the main popover on that panel,
// "/record" starts a practice recording, "/auth" signs in with the code the web sign-in handed back. Every
// link ends in a popover: main, onboarding, recording-started or an alert. Main thread only.
class UrlRouter : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kEndingDelayDuringLaunch{1000};

    explicit UrlRouter(UrlRouterParts parts, QObject *parent = nullptr);
    ~UrlRouter() override;

    // Routes the first link. `arrivedDuringLaunch`: the link came before the launch sequence had run, so
    // the popover that ends it waits kEndingDelayDuringLaunch.
    void handleOpenUrls(const QList<QUrl> &urls, bool arrivedDuringLaunch);
    void setRecordingSession(RecordingSession *recording) { m_parts.recording = recording; }

signals:
    // A record or sign-in task has shown its outcome (for tests and logs).
    void taskFinished();

private:
    void endWithMainOrOnboarding(bool arrivedDuringLaunch);
    QCoro::Task<> startRecordingFromUrl(QMap<QString, QString> sourceParams);
    QCoro::Task<> exchangeSignInCode(RouteRequest request);
    void failSignIn(const QString &why);

    UrlRouterParts m_parts;
    std::vector<std::unique_ptr<platform::Timer>> m_endings;
};

} // namespace brelta::shell
