// The onboarding step machine on the test PulseAudio and a hand-driven clock: the opening step from the
// account and the probes, the moves of each page, late answers dropped, the finish path once.

#include "FakeOnboardingShell.h"

#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/permissions/PermissionManager.h"
#include "screens/onboarding/OnboardingFlow.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace std::chrono_literals;
using brelta::platform::ManualClock;
using brelta::platform::PermissionManager;
using brelta::platform::PulseAudioAccessProbe;
using brelta::platform::SettingsStore;
using brelta::screens::OnboardingFlow;
using brelta::screens::OnboardingStep;
using brelta::testsupport::onboarding::FakeGoogleConnection;
using brelta::testsupport::onboarding::FakeOnboardingShell;
namespace settings = brelta::platform::settings;

namespace {

const QString kNoServer = QStringLiteral("unix:/nonexistent/brelta-test/native");

QString pactl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A flow over its own settings file and a permission holder on the test server (or `server`).
struct FlowFixture
{
    explicit FlowFixture(const QString &server = {})
        : store(folder.filePath(QStringLiteral("brelta.ini")))
        , permissions(&store, std::make_unique<PulseAudioAccessProbe>(server))
    {
        OnboardingFlow::Dependencies deps;
        deps.settings = &store;
        deps.clock = &clock;
        deps.permissions = &permissions;
        deps.shell = &shell;
        deps.google = &google;
        deps.webBase = QUrl(QStringLiteral("https://web.example"));
        deps.redirectToken = QStringLiteral("tok&en=1");
        flow = std::make_unique<OnboardingFlow>(std::move(deps));
    }

    void signIn() { QVERIFY(store.setText(settings::kUserId, QStringLiteral("user-1"))); }
    void allowMicrophone() { QVERIFY(store.setValue(settings::kMicrophoneConsentGiven, true)); }

    // Shows the popover and waits for the probes to place the flow.
    OnboardingStep showAndSettle()
    {
        QSignalSpy changed(flow.get(), &OnboardingFlow::stepChanged);
        flow->shown();
        if (changed.isEmpty())
            changed.wait(5000);
        return flow->step();
    }

    QTemporaryDir folder;
    SettingsStore store;
    PermissionManager permissions;
    ManualClock clock;
    FakeOnboardingShell shell;
    FakeGoogleConnection google;
    std::unique_ptr<OnboardingFlow> flow;
};

} // namespace

class TestOnboardingFlow : public QObject
{
    Q_OBJECT

    QString m_defaultSource;

private slots:
    void initTestCase()
    {
        m_defaultSource = pactl({QStringLiteral("get-default-source")});
        QVERIFY(!m_defaultSource.isEmpty());
    }
    void cleanup() { pactl({QStringLiteral("set-default-source"), m_defaultSource}); }

    void initialStep_data();
    void initialStep();
    void webPagesCarryTheEncodedRedirectToken();
    void goalsAndCalendarMoveOnlyFromTheirOwnPage();
    void signInLinkContinuesAtTheMicrophone();
    void turnOnWithAWorkingMicrophoneGoesToTheTrial();
    void turnOnRefusedFinishes();
    void giveAccessKeepsThePage();
    void probeAnswerAfterTheFlowMovedIsDropped();
    void probeAnswerOfAnEarlierShowingIsDropped();
    void finishRunsOncePerOnboarding_data();
    void finishRunsOncePerOnboarding();
    void finishConnectsTheCalendarOnlyWithAGoogleUser();
    void trialFinishedPollsEverySecondsAfterTheSessionsOwnChange();
};

void TestOnboardingFlow::initialStep_data()
{
    QTest::addColumn<QString>("userId"); // "-": none stored
    QTest::addColumn<bool>("turnedOn");
    QTest::addColumn<QString>("defaultSource"); // empty: the test server's microphone
    QTest::addColumn<QString>("server");
    QTest::addColumn<OnboardingStep>("expected");

    QTest::newRow("no user id") << "-" << true << ""
                                << "" << OnboardingStep::Welcome;
    QTest::newRow("empty user id") << "" << true << ""
                                   << "" << OnboardingStep::Welcome;
    QTest::newRow("user, microphone never turned on") << "u1" << false << ""
                                                      << "" << OnboardingStep::SetGoals;
    QTest::newRow("user, turned on, both probes open") << "u1" << true << ""
                                                       << "" << OnboardingStep::TryRecording;
    QTest::newRow("user, turned on, a monitor as default source") << "u1" << true << "speakers.monitor"
                                                                  << "" << OnboardingStep::SetGoals;
    QTest::newRow("user, turned on, no sound server") << "u1" << true << "" << kNoServer << OnboardingStep::SetGoals;
    QTest::newRow("no user, no sound server") << "-" << false << "" << kNoServer << OnboardingStep::Welcome;
}

void TestOnboardingFlow::initialStep()
{
    QFETCH(QString, userId);
    QFETCH(bool, turnedOn);
    QFETCH(QString, defaultSource);
    QFETCH(QString, server);
    QFETCH(OnboardingStep, expected);

    if (!defaultSource.isEmpty())
        QCOMPARE(pactl({QStringLiteral("set-default-source"), defaultSource}), QString());
    FlowFixture f(server);
    if (userId != QLatin1String("-"))
        QVERIFY(f.store.setText(settings::kUserId, userId));
    if (turnedOn)
        f.allowMicrophone();
    // Start somewhere else, as a popover closed mid-way would have left it.
    f.flow->continueAtMicrophoneStep();
    QCOMPARE(f.showAndSettle(), expected);
}

void TestOnboardingFlow::webPagesCarryTheEncodedRedirectToken()
{
    FlowFixture f;
    f.flow->signInPressed();
    f.flow->signUpPressed();
    QCOMPARE(f.shell.opened.size(), 2);
    QCOMPARE(f.shell.opened[0].toString(QUrl::FullyEncoded),
             QStringLiteral("https://web.example/coach/auth?redirect=tok%26en%3D1"));
    QCOMPARE(f.shell.opened[1].toString(QUrl::FullyEncoded),
             QStringLiteral("https://web.example/coach/signup?redirect=tok%26en%3D1"));
    // One item, whatever the token holds.
    QCOMPARE(QUrlQuery(f.shell.opened[0]).queryItems(QUrl::FullyDecoded).size(), 1);
    QCOMPARE(f.flow->step(), OnboardingStep::Welcome);

    QVERIFY(!OnboardingFlow::signInPage(QUrl(QStringLiteral("ftp://x")), QStringLiteral("t")).isValid());
    QVERIFY(!OnboardingFlow::signInPage(QUrl(), QStringLiteral("t")).isValid());
}

void TestOnboardingFlow::goalsAndCalendarMoveOnlyFromTheirOwnPage()
{
    FlowFixture f;
    f.signIn();
    QCOMPARE(f.showAndSettle(), OnboardingStep::SetGoals);
    f.flow->calendarDone(); // a stale hand-over: nothing
    QCOMPARE(f.flow->step(), OnboardingStep::SetGoals);
    f.flow->goalsDone();
    QCOMPARE(f.flow->step(), OnboardingStep::CalendarSync);
    f.flow->goalsDone(); // a second "Continue": nothing
    QCOMPARE(f.flow->step(), OnboardingStep::CalendarSync);
    f.flow->calendarDone();
    QCOMPARE(f.flow->step(), OnboardingStep::MicrophonePermission);
    // The calendar page's late hand-over must not pull the user back or on.
    f.flow->calendarDone();
    QCOMPARE(f.flow->step(), OnboardingStep::MicrophonePermission);
}

void TestOnboardingFlow::signInLinkContinuesAtTheMicrophone()
{
    FlowFixture f;
    QCOMPARE(f.showAndSettle(), OnboardingStep::Welcome);
    QSignalSpy changed(f.flow.get(), &OnboardingFlow::stepChanged);
    f.flow->continueAtMicrophoneStep();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(f.flow->step(), OnboardingStep::MicrophonePermission);
}

void TestOnboardingFlow::turnOnWithAWorkingMicrophoneGoesToTheTrial()
{
    FlowFixture f;
    f.signIn();
    f.flow->continueAtMicrophoneStep();
    f.flow->turnOnMicrophone();
    f.flow->turnOnMicrophone(); // a second press while the first runs asks nothing more
    QTRY_COMPARE_WITH_TIMEOUT(f.flow->step(), OnboardingStep::TryRecording, 5000);
    QVERIFY(f.store.value(settings::kMicrophoneConsentGiven));
    QCOMPARE(f.shell.calls, QStringList{QStringLiteral("showOnboarding")});
    QVERIFY(!f.flow->isFinishing());
}

void TestOnboardingFlow::turnOnRefusedFinishes()
{
    QCOMPARE(pactl({QStringLiteral("set-default-source"), QStringLiteral("speakers.monitor")}), QString());
    FlowFixture f;
    f.signIn();
    f.flow->continueAtMicrophoneStep();
    f.shell.popoverShown = true;
    f.flow->turnOnMicrophone();
    QTRY_VERIFY_WITH_TIMEOUT(f.flow->isFinishing(), 5000);
    QCOMPARE(f.shell.calls, QStringList{QStringLiteral("closeOnboarding")});
    f.clock.advance(499ms);
    QVERIFY(!f.store.value(settings::kOnboardingCompleted));
    f.clock.advance(1ms);
    QVERIFY(f.store.value(settings::kOnboardingCompleted));
    QCOMPARE(f.flow->step(), OnboardingStep::Welcome);
    QCOMPARE(f.shell.calls, (QStringList{QStringLiteral("closeOnboarding"), QStringLiteral("showHint")}));
}

void TestOnboardingFlow::giveAccessKeepsThePage()
{
    FlowFixture f;
    f.signIn();
    f.flow->continueAtMicrophoneStep();
    QSignalSpy changed(f.flow.get(), &OnboardingFlow::stepChanged);
    f.flow->giveSystemAudioAccess();
    // The re-probe answers through the holder; the page stays whatever it says.
    QTRY_VERIFY_WITH_TIMEOUT(f.permissions.hasSystemAudioAccess(), 5000);
    QCOMPARE(changed.size(), 0);
    QCOMPARE(f.flow->step(), OnboardingStep::MicrophonePermission);
}

void TestOnboardingFlow::probeAnswerAfterTheFlowMovedIsDropped()
{
    FlowFixture f;
    f.signIn();
    f.flow->shown();                    // probes start; the microphone was never turned on: setGoals would follow
    f.flow->continueAtMicrophoneStep(); // the link arrives first
    QTest::qWait(1000);
    QCOMPARE(f.flow->step(), OnboardingStep::MicrophonePermission);
}

void TestOnboardingFlow::probeAnswerOfAnEarlierShowingIsDropped()
{
    FlowFixture f;
    f.signIn();
    f.allowMicrophone();
    QSignalSpy changed(f.flow.get(), &OnboardingFlow::stepChanged);
    f.flow->shown();
    f.flow->shown();
    QVERIFY(changed.wait(5000));
    QTest::qWait(500);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(f.flow->step(), OnboardingStep::TryRecording);
}

void TestOnboardingFlow::finishRunsOncePerOnboarding_data()
{
    QTest::addColumn<QString>("sequence"); // s: skip/got it, r: refused microphone
    QTest::newRow("skip twice") << "ss";
    QTest::newRow("refusal then skip") << "rs";
}

void TestOnboardingFlow::finishRunsOncePerOnboarding()
{
    QFETCH(QString, sequence);
    QCOMPARE(pactl({QStringLiteral("set-default-source"), QStringLiteral("speakers.monitor")}), QString());
    FlowFixture f;
    f.signIn();
    f.google.connected = true;
    for (const QChar press : sequence) {
        if (press == QLatin1Char('r')) {
            f.flow->continueAtMicrophoneStep();
            f.flow->turnOnMicrophone();
            QTRY_VERIFY_WITH_TIMEOUT(f.flow->isFinishing(), 5000);
        } else {
            f.flow->finishOnboarding();
        }
        f.clock.advance(200ms);
    }
    f.clock.advance(1s);
    f.flow->finishOnboarding(); // after the end, before the popover shows again: nothing
    f.clock.advance(1s);
    QCOMPARE(f.shell.calls.count(QStringLiteral("showHint")), 1);
    QCOMPARE(f.shell.calls.count(QStringLiteral("connectCalendar")), 1);

    // A later onboarding (after a sign-out) finishes again.
    QVERIFY(f.store.setValue(settings::kOnboardingCompleted, false));
    f.flow->shown();
    f.flow->finishOnboarding();
    f.clock.advance(500ms);
    QCOMPARE(f.shell.calls.count(QStringLiteral("showHint")), 2);
}

void TestOnboardingFlow::finishConnectsTheCalendarOnlyWithAGoogleUser()
{
    FlowFixture f;
    f.flow->finishOnboarding();
    f.clock.advance(500ms);
    QCOMPARE(f.shell.calls, (QStringList{QStringLiteral("closeOnboarding"), QStringLiteral("showHint")}));
}

void TestOnboardingFlow::trialFinishedPollsEverySecondsAfterTheSessionsOwnChange()
{
    FlowFixture f;
    f.signIn();
    f.allowMicrophone();
    QCOMPARE(f.showAndSettle(), OnboardingStep::TryRecording);
    // What the session's outcome does: it posts its own interval to the event loop before the stop returns.
    QMetaObject::invokeMethod(
        qApp, [&f] { f.shell.startMessagesPolling(30s); }, Qt::QueuedConnection);
    f.flow->trialRecordingFinished();
    QCOMPARE(f.flow->step(), OnboardingStep::PostRecording);
    QTRY_COMPARE(f.shell.polling.size(), size_t(2));
    QCOMPARE(f.shell.polling.back(), std::chrono::seconds(5));

    // No report for half an hour: the usual pace again.
    f.clock.advance(std::chrono::minutes(30) - 1ms);
    QCOMPARE(f.shell.polling.size(), size_t(2));
    f.clock.advance(1ms);
    QCOMPARE(f.shell.polling.back(), std::chrono::seconds(900));
}

QTEST_MAIN(TestOnboardingFlow)
#include "tst_onboardingflow.moc"
