#include "screens/onboarding/OnboardingPages.h"

#include "analytics/AnalyticsManager.h"
#include "analytics/Event.h"
#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/MediaPill.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "screens/frames/OnboardingIconElement.h"
#include "screens/frames/OnboardingMenuElement.h"
#include "screens/onboarding/OnboardingSeams.h"
#include "screens/onboarding/OnboardingView.h"
#include "screens/onboarding/TrialRecording.h"

#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcOnboardingPages, "brelta.screens.OnboardingPages")

namespace brelta::screens {

using designsystem::BodySize;
using designsystem::BodyView;
using designsystem::BodyWeight;
using designsystem::BrandButton;
using designsystem::Colors;
using designsystem::IconName;

namespace {

// The pages' usual button: primary, smooth, medium, full width.
BrandButton *pageButton(const QString &title, std::optional<IconName> icon, std::function<void()> action)
{
    auto *button =
        new BrandButton(title, icon, BrandButton::Type::Primary, BrandButton::Shape::Smooth, BrandButton::Size::Medium);
    button->setFullSize(true);
    QObject::connect(button, &BrandButton::clicked, button, [action = std::move(action)] {
        if (action)
            action();
    });
    return button;
}

QWidget *column(int spacing = -1)
{
    auto *widget = new QWidget;
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    if (spacing >= 0)
        layout->setSpacing(spacing);
    return widget;
}

QVBoxLayout *layoutOf(QWidget *widget)
{
    return static_cast<QVBoxLayout *>(widget->layout());
}

} // namespace

QWidget *makeWelcomePage(std::function<void()> onSignInPress, std::function<void()> onSignUpPress,
                         std::function<void()> onQuit)
{
    QWidget *bottom = column(12);
    layoutOf(bottom)->addWidget(pageButton(QStringLiteral("Log In"), IconName::ExternalLink, std::move(onSignInPress)));
    auto *signUpRow = new QWidget;
    auto *row = new QHBoxLayout(signUpRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addStretch();
    row->addWidget(new BodyView(QStringLiteral("Don't have an account?"), BodySize::Medium, BodyWeight::Regular,
                                Colors::gray100()));
    auto *signUp = new BrandButton(QStringLiteral("Sign Up"), std::nullopt, BrandButton::Type::Text,
                                   BrandButton::Shape::Smooth, BrandButton::Size::Medium);
    signUp->setFixedSize(64, 24);
    QObject::connect(signUp, &BrandButton::clicked, signUp, [onSignUpPress = std::move(onSignUpPress)] {
        if (onSignUpPress)
            onSignUpPress();
    });
    row->addWidget(signUp);
    row->addStretch();
    layoutOf(bottom)->addWidget(signUpRow);
    auto *page = new OnboardingMenuElement(QStringLiteral("Welcome to Brelta"),
                                           QStringLiteral("Log in or Sign up via the browser."), nullptr, bottom);
    QObject::connect(page, &OnboardingMenuElement::quitChosen, page, [onQuit = std::move(onQuit)] {
        if (onQuit)
            onQuit();
    });
    return page;
}

QWidget *makeMicrophonePermissionPage(std::function<void()> onAllow)
{
    QWidget *bottom = column();
    layoutOf(bottom)->addStretch();
    layoutOf(bottom)->addWidget(pageButton(QStringLiteral("Turn on"), std::nullopt, std::move(onAllow)));
    return new OnboardingIconElement(QStringLiteral("Turn on microphone"),
                                     QStringLiteral("To use the Brelta app, we need to access your microphone."),
                                     IconName::Mic, {}, bottom);
}

QWidget *makeSystemAudioPermissionPage(std::function<void()> onAllow)
{
    QWidget *bottom = column();
    layoutOf(bottom)->addStretch();
    QWidget *stack = column(24);
    layoutOf(stack)->addWidget(pageButton(QStringLiteral("Give access"), std::nullopt, std::move(onAllow)));
    auto *note = new QWidget;
    auto *row = new QHBoxLayout(note);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addStretch();
    row->addWidget(new designsystem::IconView(IconName::Info, designsystem::IconSize::Small), 0, Qt::AlignBottom);
    row->addWidget(new BodyView(QStringLiteral("We will not record your screen"), BodySize::Small, BodyWeight::Regular,
                                Colors::gray100()),
                   0, Qt::AlignBottom);
    row->addStretch();
    layoutOf(stack)->addWidget(note);
    layoutOf(bottom)->addWidget(stack);
    return new OnboardingIconElement(
        QStringLiteral("Only record your voice"),
        QStringLiteral("When allowing Screen & System Audio\nRecording you will get the possibility to only record "
                       "your voice in video meetings."),
        IconName::UserCheck, {}, bottom);
}

QWidget *makePostRecordingPage(std::function<void()> onGoNext)
{
    QWidget *bottom = column();
    layoutOf(bottom)->addStretch();
    layoutOf(bottom)->addWidget(pageButton(QStringLiteral("Got it"), std::nullopt, std::move(onGoNext)));
    return new OnboardingIconElement(
        QStringLiteral("All done!"),
        QStringLiteral("Your personal feedback is on its way. You will soon get a notification."), IconName::Check, {},
        bottom);
}

// Calendar ----------------------------------------------------------------------------------------------

CalendarSyncPage::CalendarSyncPage(GoogleConnection *google, const analytics::AnalyticsManager *analytics,
                                   std::function<void()> onGoNext, QWidget *parent)
    : QWidget(parent)
    , m_google(google)
    , m_analytics(analytics)
    , m_onGoNext(std::move(onGoNext))
{
    QWidget *bottom = column();
    m_banner = new designsystem::SuccessBanner(QStringLiteral("Calendar successfully connected"));
    m_banner->hide();
    layoutOf(bottom)->addWidget(m_banner);
    layoutOf(bottom)->addStretch();
    m_connect =
        pageButton(QStringLiteral("Connect Google Calendar"), IconName::GoogleCalendar, [this] { connectPressed(); });
    layoutOf(bottom)->addWidget(m_connect);
    m_page = new OnboardingIconElement(
        QStringLiteral("Connect your calendar"),
        QStringLiteral("When connecting your Google Calendar, we send reminders to use Brelta for your meetings."),
        IconName::Calendar, [this] { m_onGoNext(); }, bottom);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_page);
    m_wasConnected = m_google && m_google->hasConnectedUser();
    if (m_google)
        connect(m_google, &GoogleConnection::connectedUserChanged, this, &CalendarSyncPage::accountChanged);
}

void CalendarSyncPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A calendar connected earlier: nothing to do on this page.
    if (!event->spontaneous() && m_google && m_google->hasConnectedUser() && !m_hasSynced)
        QTimer::singleShot(0, this, [this] { m_onGoNext(); });
}

void CalendarSyncPage::accountChanged()
{
    const bool connected = m_google->hasConnectedUser();
    if (std::exchange(m_wasConnected, connected) == connected || !connected || m_hasSynced)
        return;
    QPointer<CalendarSyncPage> self(this);
    QTimer::singleShot(OnboardingView::kCalendarBannerDelay, this, [this] {
        m_hasSynced = true;
        m_banner->show();
        m_connect->setLoading(true);
        if (QWidget *skip = m_page->skipButton())
            skip->hide();
    });
    QTimer::singleShot(OnboardingView::kCalendarHandOver, this, [this] { m_onGoNext(); });
}

void CalendarSyncPage::connectPressed()
{
    analytics::sendClick(m_analytics, analytics::event::ScreenName::OnboardingPopover,
                         analytics::event::ComponentName::ConnectGoogleCalendarButton);
    // A second browser sign-in beside the first would leave one of them answering to nobody.
    if (!m_google || m_signInRunning || m_hasSynced)
        return;
    m_signInRunning = true;
    [](QPointer<CalendarSyncPage> self, GoogleConnection *google) -> QCoro::Task<> {
        try {
            QCoro::Task<> signIn = google->signIn();
            co_await std::move(signIn);
        } catch (const std::exception &error) {
            qCInfo(lcOnboardingPages).noquote() << "the Google sign-in did not complete:" << error.what();
        } catch (...) {
            qCInfo(lcOnboardingPages) << "the Google sign-in did not complete";
        }
        if (self)
            self->m_signInRunning = false;
    }(QPointer<CalendarSyncPage>(this), m_google);
}

// Trial --------------------------------------------------------------------------------------------------

TryRecordingPage::TryRecordingPage(TrialRecorder *recorder, TrialRecordingControl *control,
                                   std::function<void()> onSkip, QWidget *parent)
    : QWidget(parent)
    , m_recorder(recorder)
    , m_control(control)
{
    QWidget *bottom = column();
    layoutOf(bottom)->addStretch();
    m_elapsed = new BodyView(QString(), BodySize::Small, BodyWeight::Regular, Colors::gray100());
    m_elapsed->setObjectName(QStringLiteral("trialElapsed"));
    layoutOf(bottom)->addWidget(m_elapsed, 0, Qt::AlignHCenter);
    m_record = new designsystem::MediaPill(QStringLiteral("Record"), IconName::Mic);
    m_stop = new designsystem::MediaPill(QStringLiteral("Stop"), IconName::Stop, Colors::negative());
    layoutOf(bottom)->addWidget(m_record, 0, Qt::AlignHCenter);
    layoutOf(bottom)->addWidget(m_stop, 0, Qt::AlignHCenter);
    for (designsystem::MediaPill *pill : {m_record, m_stop})
        connect(pill, &designsystem::MediaPill::clicked, m_control, &TrialRecordingControl::press);
    auto *page = new OnboardingIconElement(QStringLiteral("Now, let's try it out!"), kSubtitle, IconName::Audio,
                                           std::move(onSkip), bottom);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);
    connect(m_recorder, &TrialRecorder::stateChanged, this, &TryRecordingPage::refresh);
    connect(m_recorder, &TrialRecorder::durationChanged, this, &TryRecordingPage::refresh);
    connect(m_control, &TrialRecordingControl::busyChanged, this, &TryRecordingPage::refresh);
    refresh();
}

void TryRecordingPage::refresh()
{
    const bool recording = m_recorder->state() == recording::AudioRecordingState::Recording;
    m_elapsed->setText(trialElapsedText(m_recorder->recordingDuration()));
    m_elapsed->setVisible(recording);
    m_record->setVisible(!recording);
    m_stop->setVisible(recording);
    for (designsystem::MediaPill *pill : {m_record, m_stop})
        pill->setEnabled(!m_control->isBusy());
}

} // namespace brelta::screens
