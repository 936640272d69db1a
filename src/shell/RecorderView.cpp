#include "shell/RecorderView.h"

#include "analytics/AnalyticsManager.h"
#include "designsystem/components/Alert.h"
#include "designsystem/components/MediaPill.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "platform/telemetry/ErrorTracker.h"
#include "shell/RecordingSession.h"

#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QVBoxLayout>

#include <stdexcept>

Q_LOGGING_CATEGORY(lcRecorderView, "brelta.shell.RecorderView")

namespace brelta::shell {

namespace {

using analytics::event::ComponentName;
using designsystem::Colors;
using designsystem::IconButton;
using designsystem::IconName;
using designsystem::MediaPill;
using recording::AudioRecordingState;
using Status = MicrophonePermissions::MicrophoneStatus;

constexpr int kStoppedSpacing = 12;
constexpr int kRunningSpacing = 8;
constexpr int kRunningVerticalPadding = 24;

// Frame-owned: the view and the session may go while the operation runs.
QCoro::Task<> callSession(QPointer<RecordingSession> session, RecorderView::Operation operation)
{
    if (!session)
        throw std::runtime_error("there is no recording session");
    using Operation = RecorderView::Operation;
    QCoro::Task<> task = operation == Operation::Start   ? session->startRecording()
                         : operation == Operation::Stop  ? session->stopRecording()
                         : operation == Operation::Pause ? session->pauseRecording()
                                                         : session->resumeRecording();
    co_await std::move(task);
}

} // namespace

RecorderView::RecorderView(RecorderViewDependencies dependencies, QWidget *parent)
    : QWidget(parent)
    , m_deps(std::move(dependencies))
    , m_stoppedRow(new QWidget(this))
    , m_record(new MediaPill(QStringLiteral("Record"), IconName::Mic))
    , m_allowMicrophone(new MediaPill(QStringLiteral("Allow microphone permission"), IconName::Mic))
    , m_allowSystemAudio(new MediaPill(QStringLiteral("Allow system audio permission"), IconName::Mic))
    , m_runningRow(new QWidget(this))
    , m_stop(new IconButton(IconName::Stop, IconButton::Size::Large, Colors::negative()))
    , m_pause(new IconButton(IconName::PauseRounded, IconButton::Size::Large, Colors::overlay10()))
    , m_continue(new MediaPill(QStringLiteral("Continue"), IconName::Mic))
    , m_stopPaused(new IconButton(IconName::Stop, IconButton::Size::Large, Colors::negative()))
    , m_duration(new designsystem::BodyView(durationText(0), designsystem::BodySize::Small,
                                            designsystem::BodyWeight::Regular, Colors::gray100()))
{
    m_record->setObjectName(QStringLiteral("recordButton"));
    m_allowMicrophone->setObjectName(QStringLiteral("allowMicrophoneButton"));
    m_allowSystemAudio->setObjectName(QStringLiteral("allowSystemAudioButton"));
    m_stop->setObjectName(QStringLiteral("stopButton"));
    m_pause->setObjectName(QStringLiteral("pauseButton"));
    m_continue->setObjectName(QStringLiteral("continueButton"));
    m_stopPaused->setObjectName(QStringLiteral("stopPausedButton"));
    m_duration->setObjectName(QStringLiteral("durationText"));
    m_stop->setAccessibleName(QStringLiteral("Stop"));
    m_stopPaused->setAccessibleName(QStringLiteral("Stop"));
    m_pause->setAccessibleName(QStringLiteral("Pause"));

    auto *stopped = new QVBoxLayout(m_stoppedRow);
    stopped->setContentsMargins(0, 0, 0, 0);
    stopped->setSpacing(kStoppedSpacing);
    for (MediaPill *pill : {m_record, m_allowMicrophone, m_allowSystemAudio})
        stopped->addWidget(pill, 0, Qt::AlignLeading);

    auto *running = new QHBoxLayout(m_runningRow);
    running->setContentsMargins(0, kRunningVerticalPadding, 0, kRunningVerticalPadding);
    running->setSpacing(kRunningSpacing);
    for (QWidget *control : std::initializer_list<QWidget *>{m_continue, m_stop, m_stopPaused, m_pause})
        running->addWidget(control, 0, Qt::AlignVCenter);
    running->addStretch();
    running->addWidget(m_duration, 0, Qt::AlignVCenter);
    m_duration->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_stoppedRow, 1, Qt::AlignTop);
    row->addWidget(m_runningRow, 1);

    connect(m_record, &QAbstractButton::clicked, this,
            [this] { press(ComponentName::StartRecordingButton, Operation::Start); });
    connect(m_stop, &QAbstractButton::clicked, this,
            [this] { press(ComponentName::StopRecordingButton, Operation::Stop); });
    connect(m_pause, &QAbstractButton::clicked, this,
            [this] { press(ComponentName::PauseRecordingButton, Operation::Pause); });
    connect(m_continue, &QAbstractButton::clicked, this,
            [this] { press(ComponentName::ResumeRecordingButton, Operation::Resume); });
    connect(m_stopPaused, &QAbstractButton::clicked, this,
            [this] { press(ComponentName::StopRecordingButton, Operation::Stop); });
    connect(m_allowMicrophone, &QAbstractButton::clicked, this, &RecorderView::requestMicrophone);
    connect(m_allowSystemAudio, &QAbstractButton::clicked, this, &RecorderView::allowSystemAudio);

    if (m_deps.session) {
        connect(m_deps.session, &RecordingSession::stateChanged, this, &RecorderView::refresh);
        connect(m_deps.session, &RecordingSession::durationChanged, this, &RecorderView::refresh);
    }
    if (m_deps.permissions)
        connect(m_deps.permissions, &MicrophonePermissions::changed, this, &RecorderView::refresh);
    refresh();
}

RecorderView::~RecorderView() = default;

QString RecorderView::durationText(qint64 seconds)
{
    seconds = std::max<qint64>(seconds, 0);
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
}

bool RecorderView::hasRequiredPermissions() const
{
    if (!m_deps.permissions)
        return true;
    return m_deps.permissions->microphoneStatus() == Status::Authorized && m_deps.permissions->hasSystemAudioAccess();
}

void RecorderView::refresh()
{
    const AudioRecordingState state = m_deps.session ? m_deps.session->state() : AudioRecordingState::Stopped;
    const bool stopped = state == AudioRecordingState::Stopped;
    m_stoppedRow->setVisible(stopped);
    m_runningRow->setVisible(!stopped);

    const bool permitted = hasRequiredPermissions();
    const bool microphone = m_deps.permissions && m_deps.permissions->microphoneStatus() == Status::Authorized;
    m_record->setVisible(permitted);
    m_allowMicrophone->setVisible(!permitted && !microphone);
    m_allowSystemAudio->setVisible(!permitted && microphone);

    const bool recording = state == AudioRecordingState::Recording;
    m_stop->setVisible(recording);
    m_pause->setVisible(recording);
    m_continue->setVisible(state == AudioRecordingState::Paused);
    m_stopPaused->setVisible(state == AudioRecordingState::Paused);
    m_duration->setText(durationText(m_deps.session ? m_deps.session->recordingDuration() : 0));
}

void RecorderView::sendInteraction(ComponentName component) const
{
    analytics::sendClick(m_deps.analytics, analytics::event::ScreenName::MainView, component);
}

void RecorderView::press(ComponentName component, Operation operation)
{
    if (m_busy) {
        qCDebug(lcRecorderView) << "a press while the previous operation runs; ignored";
        return;
    }
    sendInteraction(component);
    run(operation);
}

QCoro::Task<> RecorderView::run(Operation operation)
{
    m_busy = true;
    QPointer<RecorderView> self(this);
    std::exception_ptr failure;
    try {
        QCoro::Task<> task = callSession(m_deps.session, operation);
        co_await std::move(task);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    m_busy = false;
    if (failure)
        report(failure);
    emit operationFinished();
}

void RecorderView::report(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &error) {
        qCWarning(lcRecorderView).noquote() << "the recording control failed:" << error.what();
        if (m_deps.errorTracker)
            m_deps.errorTracker->captureError(error);
    } catch (...) {
        qCWarning(lcRecorderView) << "the recording control failed";
        if (m_deps.errorTracker)
            m_deps.errorTracker->captureError(QStringLiteral("RecordingControlError"),
                                              QStringLiteral("the recording session failed"));
    }
    if (m_deps.alerts)
        m_deps.alerts->showAlert(kFailureTitle, QString());
}

void RecorderView::requestMicrophone()
{
    sendInteraction(ComponentName::AllowMicrophonePermission);
    if (!m_deps.permissions)
        return;
    switch (m_deps.permissions->microphoneStatus()) {
    case Status::Denied:
        m_deps.permissions->openMicrophoneSettings();
        return;
    case Status::Restricted:
    case Status::Authorized:
        return;
    case Status::NotDetermined:
        askForMicrophone();
        return;
    }
}

QCoro::Task<> RecorderView::askForMicrophone()
{
    QPointer<RecorderView> self(this);
    QPointer<MicrophonePermissions> permissions = m_deps.permissions;
    QCoro::Task<bool> ask = permissions->requestMicrophoneAccess();
    const bool granted = co_await std::move(ask);
    // A refusal closed nothing the user can see; bring the popover back with the pill still offered.
    if (self && !granted && m_deps.showMainPopover)
        m_deps.showMainPopover();
}

void RecorderView::allowSystemAudio()
{
    sendInteraction(ComponentName::AllowSystemAudioPermission);
    if (!m_deps.permissions)
        return;
    m_deps.permissions->refreshSystemAudioAccess();
    m_deps.permissions->openSystemAudioSettings();
}

} // namespace brelta::shell
