#include "ShellTestSupport.h"

#include "platform/desktop/PopoverWindow.h"
#include "shell/MainViewViewModel.h"
#include "shell/popovers/PlaceholderRoots.h"
#include "shell/popovers/Popovers.h"
#include "shell/routes/RouteRequest.h"
#include "shell/routes/UrlRouter.h"

#include <QSignalSpy>

using namespace std::chrono_literals;
using brelta::platform::AudioAccessProbe;
using brelta::platform::AudioAccessProbeResult;
using brelta::platform::PermissionManager;
using brelta::shell::AlertRoot;
using brelta::shell::PopoverKind;
using brelta::shell::RouteRequest;
using brelta::testsupport::shell::ShellFixture;
using brelta::testsupport::shell::waitUntil;
namespace settings = brelta::platform::settings;

using Params = QMap<QString, QString>;
Q_DECLARE_METATYPE(PopoverKind)

namespace {

// Probes that answer as the row says, at once.
class ScriptedProbe final : public AudioAccessProbe
{
public:
    ScriptedProbe(bool microphone, bool systemAudio) : m_microphone(microphone), m_systemAudio(systemAudio) {}
    QCoro::Task<AudioAccessProbeResult> probeMicrophone(std::chrono::milliseconds) override
    {
        co_return AudioAccessProbeResult{m_microphone, QStringLiteral("scripted")};
    }
    QCoro::Task<AudioAccessProbeResult> probeSystemAudio(std::chrono::milliseconds) override
    {
        co_return AudioAccessProbeResult{m_systemAudio, QStringLiteral("scripted")};
    }

private:
    bool m_microphone;
    bool m_systemAudio;
};

QString alertTitle(const brelta::shell::AppDelegate &delegate)
{
    auto *root = qobject_cast<AlertRoot *>(delegate.popovers()->window(PopoverKind::Alert)->root());
    return root ? root->title() : QString();
}

QString longText(int length)
{
    return QString(length, QLatin1Char('v'));
}

} // namespace

class RoutesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;
    std::unique_ptr<PermissionManager> permissions;

    void makeDelegate(bool onboarded, bool microphone, bool systemAudio)
    {
        if (onboarded)
            f->storeSignedInUser();
        permissions =
            std::make_unique<PermissionManager>(&f->settings, std::make_unique<ScriptedProbe>(microphone, systemAudio));
        // The user allowed the microphone in Brelta once; whether it opens is the probe's answer.
        f->settings.setValue(settings::kMicrophoneConsentGiven, true);
        f->permissions = permissions.get();
        f->makeDelegate();
    }

private slots:
    void init() { f = std::make_unique<ShellFixture>(); }
    void cleanup()
    {
        f.reset();
        permissions.reset();
    }

    // What a link reads as: the source parameters a recording would store and send, the code.
    void parsing_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<Params>("params");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("dropped");

        QTest::newRow("items become parameters; an item without value is empty")
            << "brelta://app/record?meeting=abc&source=web&flag" << true
            << Params{{"meeting", "abc"}, {"source", "web"}, {"flag", ""}} << "" << 0;
        QTest::newRow("the scheme in capitals") << "BRELTA://app/settings" << true << Params{} << "" << 0;
        QTest::newRow("another scheme") << "https://app/settings" << false << Params{} << "" << 0;
        QTest::newRow("another host") << "brelta://evil/settings" << false << Params{} << "" << 0;
        QTest::newRow("the host in capitals is another host")
            << "brelta://APP.x/settings" << false << Params{} << "" << 0;
        QTest::newRow("the first code wins")
            << "brelta://app/auth?code=first&code=second" << true << Params{{"code", "first"}} << "first" << 1;
        QTest::newRow("a first code without value is no code")
            << "brelta://app/auth?code=&code=second" << true << Params{{"code", ""}} << "" << 1;
        QTest::newRow("names that are not plain are dropped")
            << "brelta://app/record?a%20b=1&%3Cx%3E=2&ok.name-1_=3" << true << Params{{"ok.name-1_", "3"}} << "" << 2;
        QTest::newRow("a name of 65 characters is dropped")
            << QStringLiteral("brelta://app/record?%1=1&b=2").arg(QString(65, QLatin1Char('n'))) << true
            << Params{{"b", "2"}} << "" << 1;
        QTest::newRow("a value of 1024 characters stays, 1025 is dropped")
            << QStringLiteral("brelta://app/record?a=%1&b=%2").arg(longText(1024), longText(1025)) << true
            << Params{{"a", longText(1024)}} << "" << 1;
        QString many = QStringLiteral("brelta://app/record?");
        Params first20;
        for (int i = 0; i < 25; ++i) {
            many += QStringLiteral("p%1=%2&").arg(i, 2, 10, QLatin1Char('0')).arg(i);
            if (i < 20)
                first20.insert(QStringLiteral("p%1").arg(i, 2, 10, QLatin1Char('0')), QString::number(i));
        }
        QTest::newRow("at most 20 items") << many << true << first20 << "" << 5;
    }

    void parsing()
    {
        QFETCH(QString, url);
        QFETCH(bool, accepted);
        QFETCH(Params, params);
        QFETCH(QString, code);
        QFETCH(int, dropped);
        const brelta::shell::RouteParse parse = brelta::shell::parseRouteUrl(QUrl(url));
        QCOMPARE(bool(parse.request), accepted);
        if (!accepted) {
            QVERIFY(!parse.error.isEmpty());
            return;
        }
        QCOMPARE(parse.request->queryDictionary, params);
        QCOMPARE(parse.request->code.value_or(QString()), code);
        QCOMPARE(parse.request->droppedItems.size(), dropped);
    }

    void sendableCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("sendable");
        QTest::newRow("plain") << "a1B2-c3_d4.e5~" << true;
        QTest::newRow("2048 characters") << longText(2048) << true;
        QTest::newRow("2049 characters") << longText(2049) << false;
        QTest::newRow("a slash") << "abc/def" << false;
        QTest::newRow("a space") << "abc def" << false;
        QTest::newRow("a quote") << "abc\"" << false;
    }

    void sendableCodes()
    {
        QFETCH(QString, code);
        QFETCH(bool, sendable);
        RouteRequest request;
        request.code = code;
        QCOMPARE(request.hasSendableCode(), sendable);
    }

    // One link, one outcome: the trace of seam calls, the popover it ends in, the recording it starts.
    void routes_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("onboarded");
        QTest::addColumn<bool>("probesOpen");
        QTest::addColumn<bool>("duringLaunch");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<PopoverKind>("popover");
        QTest::addColumn<QString>("alert");
        QTest::addColumn<QList<Params>>("recordings");
        using K = PopoverKind;
        const QList<Params> none;

        QTest::newRow("/settings: panel, then main") << "brelta://app/settings" << true << true << false
                                                     << QStringList{"panels.settings"} << K::Main << "" << none;
        QTest::newRow("/settings/goals matches by prefix") << "brelta://app/settings/goals" << true << true << false
                                                           << QStringList{"panels.settings"} << K::Main << "" << none;
        QTest::newRow("/calendar: panel, then main") << "brelta://app/calendar" << true << true << false
                                                     << QStringList{"panels.calendar"} << K::Main << "" << none;
        QTest::newRow("/settings during launch: panel at once, main after 1 s")
            << "brelta://app/settings" << true << true << true << QStringList{"panels.settings"} << K::Main << ""
            << none;
        QTest::newRow("/settings before onboarding: onboarding")
            << "brelta://app/settings" << false << true << false << QStringList{} << K::Onboarding << "" << none;
        QTest::newRow("unknown path: main")
            << "brelta://app/elsewhere" << true << true << false << QStringList{} << K::Main << "" << none;
        QTest::newRow("/recording is /record: started with its parameters")
            << "brelta://app/recording?meeting=abc&source=web" << true << true << false << QStringList{}
            << K::RecordingStarted << "" << QList<Params>{{{"meeting", "abc"}, {"source", "web"}}};
        QTest::newRow("/record without the microphone or system audio: main")
            << "brelta://app/record" << true << false << false << QStringList{} << K::Main << "" << none;
        QTest::newRow("/record before onboarding: onboarding")
            << "brelta://app/record" << false << true << false << QStringList{} << K::Onboarding << "" << none;
        QTest::newRow("/auth after onboarding: main, no exchange")
            << "brelta://app/auth?code=abc" << true << true << false << QStringList{} << K::Main << "" << none;
        QTest::newRow("/auth without a code: onboarding")
            << "brelta://app/auth" << false << true << false << QStringList{} << K::Onboarding << "" << none;
        QTest::newRow("/auth with an unsendable code: alert, nothing sent")
            << "brelta://app/auth?code=a%2Fb" << false << true << false << QStringList{} << K::Alert
            << "Failed to authenticate" << none;
    }

    void routes()
    {
        QFETCH(QString, url);
        QFETCH(bool, onboarded);
        QFETCH(bool, probesOpen);
        QFETCH(bool, duringLaunch);
        QFETCH(QStringList, calls);
        QFETCH(PopoverKind, popover);
        QFETCH(QString, alert);
        QFETCH(QList<Params>, recordings);
        makeDelegate(onboarded, probesOpen, probesOpen);
        if (duringLaunch) {
            f->delegate->handleOpenUrls({QUrl(url)});
            QVERIFY(f->launchAndWaitForServices());
        } else {
            QVERIFY(f->launchAndWaitForServices());
            f->clock.advance(1s); // the first-run onboarding popover, when there is one, is out of the way
            f->delegate->closePopover(PopoverKind::Onboarding);
            f->trace.clear();
            f->delegate->handleOpenUrls({QUrl(url)});
        }
        if (duringLaunch) {
            f->trace.removeIf([](const QString &line) { return !line.contains(QLatin1Char('.')); });
            f->trace.removeIf([](const QString &line) {
                return line.startsWith(QLatin1String("calendar.")) || line.startsWith(QLatin1String("messages."));
            });
            QCOMPARE(f->trace, calls);
            QVERIFY(!f->shown(popover));
            f->clock.advance(999ms);
            QVERIFY(!f->shown(popover));
            f->clock.advance(1ms);
            QVERIFY(f->shown(popover));
            return;
        }
        QVERIFY2(waitUntil([&] { return f->shown(popover); }, 5000), qPrintable(url));
        QCOMPARE(f->trace, calls);
        QCOMPARE(f->recording.startedWith, recordings);
        if (!alert.isEmpty())
            QCOMPARE(alertTitle(*f->delegate), alert);
        if (popover == PopoverKind::RecordingStarted)
            QVERIFY(f->recording.hasDisplayedRecordingPopover());
        // Nothing went to the backend's token exchange.
        QVERIFY(f->server.receivedRequests(QStringLiteral("/token")).isEmpty());
    }

    // In the program the links switch the main view's own panels, at once.
    void linksOpenTheMainViewsPanels_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<brelta::shell::MainViewMode>("mode");
        QTest::newRow("settings") << "brelta://app/settings" << brelta::shell::MainViewMode::Settings;
        QTest::newRow("calendar") << "brelta://app/calendar/today" << brelta::shell::MainViewMode::Calendar;
    }

    void linksOpenTheMainViewsPanels()
    {
        QFETCH(QString, url);
        QFETCH(brelta::shell::MainViewMode, mode);
        f->panelsOfTheDelegate = true;
        makeDelegate(true, true, true);
        QVERIFY(f->launchAndWaitForServices());
        f->delegate->handleOpenUrls({QUrl(url)});
        QVERIFY(waitUntil([&] { return f->shown(PopoverKind::Main); }, 5000));
        QCOMPARE(f->delegate->mainViewModel()->currentMode(), mode);
        QCOMPARE(f->delegate->popovers()->window(PopoverKind::Main)->contentSize(), QSize(355, 400));
    }

    void aRecordThatCannotStartEndsInTheAlert()
    {
        makeDelegate(true, true, true);
        QVERIFY(f->launchAndWaitForServices());
        f->recording.startFailure = QStringLiteral("recorder already started");
        f->delegate->handleOpenUrls({QUrl(QStringLiteral("brelta://app/record"))});
        QVERIFY(waitUntil([this] { return f->shown(PopoverKind::Alert); }));
        QCOMPARE(alertTitle(*f->delegate), QStringLiteral("Could not start the recording"));
        QVERIFY(waitUntil([this] { return !f->server.collector().errorEvents().isEmpty(); }));
    }

    // The sign-in code against the local backend: a real code signs in; "onboarding=true" goes on at the
    // microphone step, anything else completes onboarding.
    void signInWithACode_data()
    {
        QTest::addColumn<QString>("onboarding");
        QTest::addColumn<bool>("continues");
        QTest::newRow("no onboarding item: completed, main") << "" << false;
        QTest::newRow("onboarding=true: microphone step") << "&onboarding=true" << true;
        QTest::newRow("onboarding=TRUE is not true") << "&onboarding=TRUE" << false;
    }

    void signInWithACode()
    {
        QFETCH(QString, onboarding);
        QFETCH(bool, continues);
        makeDelegate(false, true, true);
        QVERIFY(f->launchAndWaitForServices());
        f->clock.advance(1s);
        f->delegate->closePopover(PopoverKind::Onboarding);
        f->trace.clear();
        QSignalSpy finished(f->delegate->router(), &brelta::shell::UrlRouter::taskFinished);
        const QString code = f->server.issueSignInCode();
        f->delegate->handleOpenUrls({QUrl(QStringLiteral("brelta://app/auth?code=%1%2").arg(code, onboarding))});
        QVERIFY(waitUntil([&] { return finished.size() == 1; }));
        QCOMPARE(f->settings.text(settings::kUsername), f->server.seededUser().email);
        QCOMPARE(f->api->accessTokenState(), brelta::backend::ApiClient::TokenState::Held);
        QCOMPARE(f->trace.contains(QStringLiteral("onboarding.microphoneStep")), continues);
        QCOMPARE(f->settings.value(settings::kOnboardingCompleted), !continues);
        QVERIFY(f->shown(continues ? PopoverKind::Onboarding : PopoverKind::Main));
        QVERIFY(f->trace.contains(QStringLiteral("messages.startMessagesPolling 900")));
    }

    void aRefusedCodeEndsInTheAlert()
    {
        makeDelegate(false, true, true);
        QVERIFY(f->launchAndWaitForServices());
        f->server.failNext(QStringLiteral("/token"), 400);
        QSignalSpy finished(f->delegate->router(), &brelta::shell::UrlRouter::taskFinished);
        f->delegate->handleOpenUrls({QUrl(QStringLiteral("brelta://app/auth?code=refused"))});
        QVERIFY(waitUntil([&] { return finished.size() == 1; }));
        QVERIFY(f->shown(PopoverKind::Alert));
        QCOMPARE(alertTitle(*f->delegate), QStringLiteral("Failed to authenticate"));
        QCOMPARE(f->settings.text(settings::kUsername).value_or(QString()), QString());
        QVERIFY(!f->settings.value(settings::kOnboardingCompleted));
        QCOMPARE(f->server.receivedRequests(QStringLiteral("/token")).size(), 1);
    }

    // A second start hands its arguments over: a link is routed, a foreign one ignored.
    void anotherStartWithALink_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<bool>("routed");
        QTest::newRow("our link") << "brelta://app/settings" << true;
        QTest::newRow("a foreign scheme") << "https://app/settings" << false;
    }

    void anotherStartWithALink()
    {
        QFETCH(QString, argument);
        QFETCH(bool, routed);
        makeDelegate(true, true, true);
        QVERIFY(f->launchAndWaitForServices());
        f->trace.clear();
        f->delegate->handleArgumentsFromAnotherStart({QStringLiteral("brelta"), argument});
        QCOMPARE(f->trace.contains(QStringLiteral("panels.settings")), routed);
        QCOMPARE(f->shown(PopoverKind::Main), routed);
    }
};

BRELTA_SHELL_TEST_MAIN(RoutesTest, StatusNotifierItem)
#include "tst_routes.moc"
