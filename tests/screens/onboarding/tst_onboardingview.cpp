// The onboarding pages offscreen against the local backend: goals chosen with the mouse and the keyboard
// saved once, the load error, the trial pill's press rules and alerts, the elapsed text, and a picture of
// every step in the test output folder.

#include "FakeOnboardingShell.h"
#include "testsupport/TestOutput.h"

#include "designsystem/components/Alert.h"
#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/HighlightBlurView.h"
#include "designsystem/components/MediaPill.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/TextView.h"
#include "platform/Clock.h"
#include "platform/StoredSettings.h"
#include "platform/permissions/PermissionManager.h"
#include "screens/frames/OnboardingBackgroundView.h"
#include "screens/frames/OnboardingIconElement.h"
#include "screens/onboarding/OnboardingFlow.h"
#include "screens/onboarding/OnboardingPages.h"
#include "screens/onboarding/OnboardingView.h"
#include "screens/onboarding/SetGoalsView.h"
#include "screens/onboarding/TrialRecording.h"
#include "testsupport/backend/ClientFixture.h"

#include <QCoroSignal>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace brelta;
using namespace std::chrono_literals;
using devserver::GatewayService;
using recording::AudioRecordingState;
using screens::OnboardingFlow;
using screens::OnboardingStep;
using screens::OnboardingView;
using screens::SetGoalsView;
using screens::TrialRecordingControl;
using testsupport::onboarding::FakeGoogleConnection;
using testsupport::onboarding::FakeOnboardingShell;
namespace settings = platform::settings;

namespace {

const QSize kPopoverSize(355, 515);

using brelta::testsupport::outputFolder;

void saveShot(QWidget *widget, const QString &name)
{
    QVERIFY(widget->grab().save(QDir(outputFolder()).filePath(name + QStringLiteral(".png"))));
}

class RecordingAlerts final : public designsystem::AlertPresenter
{
public:
    void showAlert(const QString &title, const QString &message) override { shown << qMakePair(title, message); }
    QList<QPair<QString, QString>> shown;
};

// A recorder whose answers the test sets; a start or stop can be held until the test lets it go.
class ScriptedRecorder final : public screens::TrialRecorder
{
public:
    AudioRecordingState state() const override { return m_state; }
    qint64 recordingDuration() const override { return m_duration; }
    QCoro::Task<> startOnboardingRecording() override
    {
        ++starts;
        if (hold)
            co_await qCoro(this, &QObject::objectNameChanged);
        if (failStart)
            throw std::runtime_error("no microphone");
        setState(AudioRecordingState::Recording);
        co_return;
    }
    QCoro::Task<> stopRecording() override
    {
        ++stops;
        if (failStop)
            throw std::runtime_error("nothing recorded");
        setState(AudioRecordingState::Stopped);
        co_return;
    }
    void setState(AudioRecordingState state)
    {
        m_state = state;
        emit stateChanged();
    }
    void setDuration(qint64 seconds)
    {
        m_duration = seconds;
        emit durationChanged();
    }
    void release() { setObjectName(QStringLiteral("released")); }

    int starts = 0;
    int stops = 0;
    bool failStart = false;
    bool failStop = false;
    bool hold = false;

private:
    AudioRecordingState m_state = AudioRecordingState::Stopped;
    qint64 m_duration = 0;
};

// The whole view over a signed-in user of the local backend.
struct ViewFixture
{
    ViewFixture() : permissions(&backend.settings)
    {
        backend.signIn();
        backend.settings.setText(settings::kUserId, QStringLiteral("user-1"));
        OnboardingFlow::Dependencies flowDeps;
        flowDeps.settings = &backend.settings;
        flowDeps.clock = &clock;
        flowDeps.permissions = &permissions;
        flowDeps.shell = &shell;
        flowDeps.google = &google;
        flowDeps.webBase = QUrl(QStringLiteral("https://web.example"));
        flowDeps.redirectToken = QStringLiteral("t");
        flow = std::make_unique<OnboardingFlow>(std::move(flowDeps));
        OnboardingView::Dependencies deps;
        deps.flow = flow.get();
        deps.settingsModel = {backend.client.get(), &backend.settings, &clock, nullptr};
        deps.recorder = &recorder;
        deps.alerts = &alerts;
        deps.google = &google;
        view = std::make_unique<OnboardingView>(std::move(deps));
        view->resize(kPopoverSize);
    }

    // Shows the view and waits for the opening step and the end of the slide.
    void showAt(OnboardingStep expected)
    {
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QTRY_COMPARE_WITH_TIMEOUT(flow->step(), expected, 5000);
        QTRY_VERIFY(!view->isSliding());
    }

    SetGoalsView *goalsPage() const { return qobject_cast<SetGoalsView *>(view->currentPage()); }

    testsupport::client::ClientFixture backend;
    platform::ManualClock clock;
    platform::PermissionManager permissions;
    FakeOnboardingShell shell;
    FakeGoogleConnection google;
    ScriptedRecorder recorder;
    RecordingAlerts alerts;
    std::unique_ptr<OnboardingFlow> flow;
    std::unique_ptr<OnboardingView> view;
};

// A page alone on the background at the popover's size.
std::unique_ptr<screens::OnboardingBackgroundView> onBackground(QWidget *page)
{
    auto background = std::make_unique<screens::OnboardingBackgroundView>(false, page);
    background->resize(kPopoverSize);
    background->show();
    return background;
}

} // namespace

class TestOnboardingView : public QObject
{
    Q_OBJECT

private slots:
    void elapsedText_data();
    void elapsedText();
    void goalsChosenThenContinueSendOnePutWithBoth();
    void goalsLoadErrorOffersTryAgainWithoutContinue();
    void threeGoalsDimTheOthers();
    void welcomeHasTheGlowAndOpensTheSignInPage();
    void trialStartFailureShowsTheAlert();
    void trialPressWhileStartingIsIgnoredAndPausedDoesNothing();
    void trialStopFailureKeepsThePage();
    void calendarPageWithAConnectedAccountSkipsItself();
    void calendarConnectionShowsTheBannerThenHandsOver();
    void screenshotsOfTheOtherSteps();
};

void TestOnboardingView::elapsedText_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0 s") << qint64(0) << "00:00";
    QTest::newRow("0.9 s (whole seconds: 0)") << qint64(0.9) << "00:00";
    QTest::newRow("1 s") << qint64(1) << " 00:01";
    QTest::newRow("75 s") << qint64(75) << " 01:15";
    QTest::newRow("3600 s: minutes not capped") << qint64(3600) << " 60:00";
}

void TestOnboardingView::elapsedText()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, expected);
    QCOMPARE(screens::trialElapsedText(seconds), expected);
}

void TestOnboardingView::goalsChosenThenContinueSendOnePutWithBoth()
{
    ViewFixture f;
    f.showAt(OnboardingStep::SetGoals);
    QTRY_VERIFY(f.goalsPage() && !f.goalsPage()->chips().isEmpty());
    SetGoalsView *page = f.goalsPage();
    QVERIFY(page->continueButton()->isVisible());
    saveShot(f.view.get(), QStringLiteral("onboarding-goals"));

    QTest::mouseClick(page->chips()[0], Qt::LeftButton);
    // The keyboard works as well: Space on a focused chip toggles it.
    page->chips()[1]->setFocus();
    QTest::keyClick(page->chips()[1], Qt::Key_Space);
    QVERIFY(page->chips()[0]->isSelected());
    QVERIFY(page->chips()[1]->isSelected());
    f.clock.advance(100ms);
    QTest::mouseClick(page->continueButton(), Qt::LeftButton);
    QCOMPARE(f.flow->step(), OnboardingStep::CalendarSync);

    const QString goalsPath = GatewayService::goalsPath;
    QTRY_COMPARE(f.backend.requestsTo(goalsPath).size(), 1);
    const nlohmann::json body = f.backend.requestsTo(goalsPath).first().json();
    QCOMPARE(body.at("goals").size(), size_t(2));
    // The left model's own save never follows.
    f.clock.advance(1s);
    QTest::qWait(100);
    QCOMPARE(f.backend.requestsTo(goalsPath).size(), 1);
}

void TestOnboardingView::goalsLoadErrorOffersTryAgainWithoutContinue()
{
    ViewFixture f;
    f.backend.server.failNext(GatewayService::preferencesPath, 500);
    f.showAt(OnboardingStep::SetGoals);
    QTRY_VERIFY(f.goalsPage() && f.goalsPage()->tryAgainButton()->isVisible());
    QVERIFY(!f.goalsPage()->continueButton()->isVisible());
    QTRY_VERIFY(!f.view->isSliding());
    saveShot(f.view.get(), QStringLiteral("onboarding-goals-failed"));
    QTest::mouseClick(f.goalsPage()->tryAgainButton(), Qt::LeftButton);
    QTRY_VERIFY(f.goalsPage()->continueButton()->isVisible());
    QVERIFY(!f.goalsPage()->chips().isEmpty());
}

void TestOnboardingView::threeGoalsDimTheOthers()
{
    ViewFixture f;
    f.showAt(OnboardingStep::SetGoals);
    QTRY_VERIFY(f.goalsPage() && f.goalsPage()->chips().size() >= 5);
    const auto chips = f.goalsPage()->chips();
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(chips[i], Qt::LeftButton);
    QVERIFY(!chips[3]->isEnabled());
    QTest::mouseClick(chips[3], Qt::LeftButton);
    QVERIFY(!chips[3]->isSelected());
    QCOMPARE(f.goalsPage()->model()->selectedGoals().size(), 3);
    QTest::mouseClick(chips[0], Qt::LeftButton);
    QVERIFY(chips[3]->isEnabled());
}

void TestOnboardingView::welcomeHasTheGlowAndOpensTheSignInPage()
{
    ViewFixture f;
    f.backend.settings.setText(settings::kUserId, QString());
    f.showAt(OnboardingStep::Welcome);
    QVERIFY(f.view->background()->highlight()->isVisible());
    saveShot(f.view.get(), QStringLiteral("onboarding-welcome"));
    // Beside the text, inside the glow's area.
    const QPoint glowProbe = f.view->rect().center() + QPoint(-110, 45);
    const int welcomeRed = f.view->grab().toImage().pixelColor(glowProbe).red();
    f.view->background()->highlight()->hide();
    const int withoutGlowRed = f.view->grab().toImage().pixelColor(glowProbe).red();
    f.view->background()->highlight()->show();
    // The glow is painted there: pink over the dark ground.
    QVERIFY2(welcomeRed > withoutGlowRed + 20,
             qPrintable(QStringLiteral("%1 vs %2").arg(welcomeRed).arg(withoutGlowRed)));
    const auto buttons = f.view->currentPage()->findChildren<designsystem::BrandButton *>();
    auto logIn = std::find_if(buttons.begin(), buttons.end(), [](auto *b) { return b->title() == "Log In"; });
    QVERIFY(logIn != buttons.end());
    QTest::mouseClick(*logIn, Qt::LeftButton);
    QCOMPARE(f.shell.opened.size(), 1);
    QCOMPARE(f.shell.opened.first().path(), QStringLiteral("/coach/auth"));

    // Any other step: no glow.
    f.flow->continueAtMicrophoneStep();
    QVERIFY(!f.view->background()->highlight()->isVisible());
    QTRY_VERIFY(!f.view->isSliding());
    saveShot(f.view.get(), QStringLiteral("onboarding-microphone"));
}

void TestOnboardingView::trialStartFailureShowsTheAlert()
{
    ScriptedRecorder recorder;
    recorder.failStart = true;
    RecordingAlerts alerts;
    TrialRecordingControl control({&recorder, &alerts, nullptr, nullptr});
    QSignalSpy finished(&control, &TrialRecordingControl::finished);
    control.press();
    QTRY_COMPARE(alerts.shown.size(), 1);
    QCOMPARE(alerts.shown.first(), qMakePair(TrialRecordingControl::kStartFailedTitle, QString()));
    QCOMPARE(finished.size(), 0);
    QVERIFY(!control.isBusy());
}

void TestOnboardingView::trialPressWhileStartingIsIgnoredAndPausedDoesNothing()
{
    ScriptedRecorder recorder;
    recorder.hold = true;
    RecordingAlerts alerts;
    TrialRecordingControl control({&recorder, &alerts, nullptr, nullptr});
    control.press();
    QVERIFY(control.isBusy());
    control.press(); // would stop a recording whose start has not returned
    recorder.release();
    QTRY_VERIFY(!control.isBusy());
    QCOMPARE(recorder.starts, 1);
    QCOMPARE(recorder.stops, 0);
    QCOMPARE(recorder.state(), AudioRecordingState::Recording);

    recorder.setState(AudioRecordingState::Paused);
    control.press();
    QTest::qWait(50);
    QCOMPARE(recorder.starts, 1);
    QCOMPARE(recorder.stops, 0);
    QVERIFY(alerts.shown.isEmpty());
}

void TestOnboardingView::trialStopFailureKeepsThePage()
{
    ScriptedRecorder recorder;
    recorder.failStop = true;
    recorder.setState(AudioRecordingState::Recording);
    RecordingAlerts alerts;
    TrialRecordingControl control({&recorder, &alerts, nullptr, nullptr});
    QSignalSpy finished(&control, &TrialRecordingControl::finished);
    control.press();
    QTRY_COMPARE(alerts.shown.size(), 1);
    QCOMPARE(alerts.shown.first().first, TrialRecordingControl::kStopFailedTitle);
    QCOMPARE(finished.size(), 0);

    recorder.failStop = false;
    control.press();
    QTRY_COMPARE(finished.size(), 1);
}

void TestOnboardingView::calendarPageWithAConnectedAccountSkipsItself()
{
    FakeGoogleConnection google;
    google.connected = true;
    int handedOver = 0;
    auto *page = new screens::CalendarSyncPage(&google, nullptr, [&handedOver] { ++handedOver; });
    auto shown = onBackground(page);
    QTRY_COMPARE(handedOver, 1);
    QVERIFY(!page->banner()->isVisible());
}

void TestOnboardingView::calendarConnectionShowsTheBannerThenHandsOver()
{
    FakeGoogleConnection google;
    google.holdSignIn = true;
    int handedOver = 0;
    auto *page = new screens::CalendarSyncPage(&google, nullptr, [&handedOver] { ++handedOver; });
    auto shown = onBackground(page);
    QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
    saveShot(shown.get(), QStringLiteral("onboarding-calendar"));
    QTest::mouseClick(page->connectButton(), Qt::LeftButton);
    QTest::mouseClick(page->connectButton(), Qt::LeftButton);
    QTRY_COMPARE(google.signIns, 1);
    google.setConnected(true);
    QTRY_VERIFY(page->hasSynced());
    QVERIFY(page->banner()->isVisible());
    QVERIFY(page->connectButton()->isLoading());
    saveShot(shown.get(), QStringLiteral("onboarding-calendar-connected"));
    QCOMPARE(handedOver, 0);
    QTRY_COMPARE_WITH_TIMEOUT(handedOver, 1, 3000);
}

void TestOnboardingView::screenshotsOfTheOtherSteps()
{
    {
        auto shown = onBackground(screens::makeSystemAudioPermissionPage([] {}));
        QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
        saveShot(shown.get(), QStringLiteral("onboarding-system-audio"));
    }
    {
        ScriptedRecorder recorder;
        RecordingAlerts alerts;
        TrialRecordingControl control({&recorder, &alerts, nullptr, nullptr});
        auto *page = new screens::TryRecordingPage(&recorder, &control, [] {});
        auto shown = onBackground(page);
        QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
        QVERIFY(page->recordPill()->isVisible());
        QVERIFY(!page->elapsed()->isVisible());
        recorder.setState(AudioRecordingState::Recording);
        recorder.setDuration(75);
        QVERIFY(page->stopPill()->isVisible());
        QCOMPARE(page->elapsed()->text(), QStringLiteral(" 01:15"));
        saveShot(shown.get(), QStringLiteral("onboarding-trial-recording"));
    }
    {
        QWidget *page = screens::makePostRecordingPage([] {});
        auto shown = onBackground(page);
        QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
        saveShot(shown.get(), QStringLiteral("onboarding-post-recording"));
        const QImage shot = shown->grab().toImage();
        auto *element = qobject_cast<screens::OnboardingIconElement *>(page);
        QVERIFY(element);
        QWidget *frame = element->iconFrame();
        QCOMPARE(frame->size(), QSize(80, 80));
        const QPoint centre = frame->mapTo(shown.get(), frame->rect().center());
        // Inside the circle beside the icon: purple; the corner of its square: the background.
        const QColor purple = designsystem::Colors::color(designsystem::ColorToken::BrandPurple);
        const QColor inside = shot.pixelColor(centre + QPoint(28, 0));
        QVERIFY2(qAbs(inside.red() - purple.red()) < 12 && qAbs(inside.blue() - purple.blue()) < 12,
                 qPrintable(inside.name()));
        const QColor corner = shot.pixelColor(frame->mapTo(shown.get(), QPoint(2, 2)));
        QVERIFY2(qAbs(corner.red() - purple.red()) > 40 || qAbs(corner.blue() - purple.blue()) > 40,
                 qPrintable(corner.name()));
    }
}

QTEST_MAIN(TestOnboardingView)
#include "tst_onboardingview.moc"
