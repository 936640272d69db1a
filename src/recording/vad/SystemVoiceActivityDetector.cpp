#include "recording/vad/SystemVoiceActivityDetector.h"

#include "platform/audio/AudioCapture.h"
#include "platform/audio/PcmConverter.h"
#include "platform/telemetry/ErrorTracker.h"
#include "recording/vad/VadProvider.h"

#include <QCoroSignal>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPointer>

Q_LOGGING_CATEGORY(lcSystemVoice, "brelta.recording.SystemVoiceActivityDetector")

namespace brelta::recording {

using platform::AudioCapture;
using platform::AudioCaptureError;
using platform::PcmBuffer;
using platform::PcmFormat;
using platform::SampleType;

// Awaited tasks are built in statements of their own (CODING.md, "Coroutines").

namespace {

// The monitor of whatever output is the default when the stream opens; the server resolves the name.
const QString kDefaultMonitor = QStringLiteral("@DEFAULT_MONITOR@");
// Sound servers mix at 48 kHz nearly everywhere: asking for it spares them a conversion of their own.
const PcmFormat kCaptureFormat{SampleType::Float32, 48000, 1};
const PcmFormat kProviderFormat{SampleType::Int16, 8000, 1};

} // namespace

// A capture of the system audio being opened. The coroutine opening it and the detector share it: the
// coroutine keeps everything it needs even when the detector is gone, and stop() or the destructor can
// cancel it.
class SystemVoiceActivityDetector::Opening : public QObject
{
    Q_OBJECT

public:
    std::unique_ptr<AudioCapture> capture = std::make_unique<AudioCapture>();
    bool cancelled = false;

    // Closes the capture at once; the opening ends on its next turn.
    void cancel()
    {
        if (cancelled)
            return;
        cancelled = true;
        if (capture)
            capture->stop();
        Q_EMIT settled();
    }

Q_SIGNALS:
    // The capture's first audio arrived, the capture failed, or the opening was cancelled.
    void settled();
};

// The worker thread's state: conversion to the provider's format and the provider itself. Touched only by
// jobs of the detector's queue, one at a time.
struct SystemVoiceActivityDetector::Analysis
{
    std::unique_ptr<IVadProvider> vad;
    std::unique_ptr<platform::PcmConverter> converter;

    // Returns the provider's flag after the block.
    bool process(const PcmBuffer &block)
    {
        // A block in another format than the one before (a new capture with another rate) starts a new
        // conversion; what the old one still held belongs to audio that is gone.
        if (!converter || converter->inputFormat() != block.format())
            converter = std::make_unique<platform::PcmConverter>(block.format(), kProviderFormat);
        vad->processBuffer(converter->convert(block));
        return vad->hasVoice();
    }
};

SystemVoiceActivityDetector::SystemVoiceActivityDetector(std::unique_ptr<IVadProvider> vad, platform::Clock *clock,
                                                         Options options, QObject *parent)
    : QObject(parent)
    , m_ownClock(clock ? nullptr : std::make_unique<platform::SystemClock>())
    , m_clock(clock ? clock : m_ownClock.get())
    , m_options(options)
    , m_restartTimer(m_clock->createTimer())
    , m_analysis(std::make_shared<Analysis>())
{
    m_analysis->vad = std::move(vad);
    connect(m_restartTimer.get(), &platform::Timer::timeout, this, [this] { restart(); });
}

SystemVoiceActivityDetector::~SystemVoiceActivityDetector()
{
    m_restartTimer->stop();
    cancelOpening();
    if (m_capture)
        m_capture->stop();
    m_queue.drain();
}

QString SystemVoiceActivityDetector::captureSourceName() const
{
    return m_capture ? m_capture->recordingSourceName() : QString();
}

bool SystemVoiceActivityDetector::isRestartPending() const
{
    return m_restartTimer->isActive();
}

QCoro::Task<std::unique_ptr<AudioCapture>>
SystemVoiceActivityDetector::openSystemAudio(std::shared_ptr<Opening> opening, Options options)
{
    AudioCapture *capture = opening->capture.get();
    platform::AudioCaptureOptions captureOptions;
    captureOptions.sourceName = kDefaultMonitor;
    captureOptions.format = kCaptureFormat;
    captureOptions.blockMilliseconds = options.blockMilliseconds;
    // Stay on this output's monitor: a switch of output is followed explicitly, and a vanished output
    // ends the stream instead of silently moving it elsewhere.
    captureOptions.dontMove = true;
    captureOptions.watchDefaultSink = true;
    captureOptions.streamName = QStringLiteral("System audio voice detection");
    captureOptions.timeout = options.startTimeout;
    captureOptions.startPaused = true;
    QCoro::Task<> started = capture->start(captureOptions);
    co_await std::move(started);
    if (opening->cancelled)
        throw VoiceActivityDetectorError(QStringLiteral("the capture was cancelled"));
    // Listening starts once audio flows: a fresh stream on a monitor sends nothing for a while and then
    // lags behind what the output plays, which would leave the other side's first words unmuted.
    QObject::connect(capture, &AudioCapture::audioArrived, opening.get(), &Opening::settled);
    QObject::connect(capture, &AudioCapture::failed, opening.get(), &Opening::settled);
    auto firstAudio = qCoro(opening.get(), &Opening::settled, options.startTimeout);
    if (!capture->resume())
        throw AudioCaptureError("the record stream on the system audio closed");
    const auto settled = co_await std::move(firstAudio);
    if (opening->cancelled)
        throw VoiceActivityDetectorError(QStringLiteral("the capture was cancelled"));
    if (!capture->isRunning())
        throw AudioCaptureError(QStringLiteral("the record stream on %1 ended as it started")
                                    .arg(capture->recordingSourceName())
                                    .toStdString());
    if (!settled)
        throw AudioCaptureError(QStringLiteral("no audio from %1 within %2 ms")
                                    .arg(capture->recordingSourceName())
                                    .arg(options.startTimeout.count())
                                    .toStdString());
    co_return std::move(opening->capture);
}

QCoro::Task<SystemVoiceActivityDetector::Opened> SystemVoiceActivityDetector::openCapture()
{
    auto opening = std::make_shared<Opening>();
    attach(opening->capture.get());
    m_opening = opening;
    QPointer<SystemVoiceActivityDetector> self(this);
    Opened opened;
    try {
        QCoro::Task<std::unique_ptr<AudioCapture>> task = openSystemAudio(opening, m_options);
        opened.capture = co_await std::move(task);
    } catch (...) {
        opened.failure = std::current_exception();
    }
    opened.cancelled = opening->cancelled;
    if (self && m_opening == opening)
        m_opening.reset();
    co_return opened;
}

void SystemVoiceActivityDetector::cancelOpening()
{
    if (const std::shared_ptr<Opening> opening = std::exchange(m_opening, nullptr))
        opening->cancel();
}

void SystemVoiceActivityDetector::attach(AudioCapture *capture)
{
    connect(capture, &AudioCapture::blockReady, this, [this](const PcmBuffer &block) {
        m_queue.post([this, analysis = m_analysis, block] {
            const bool hasVoice = analysis->process(block);
            if (m_hasVoiceActivity.exchange(hasVoice) != hasVoice)
                QMetaObject::invokeMethod(this, &SystemVoiceActivityDetector::publishVoiceActivity,
                                          Qt::QueuedConnection);
        });
    });
    connect(capture, &AudioCapture::failed, this,
            [this, capture](const QString &message) { handleCaptureDied(capture, message); });
    connect(capture, &AudioCapture::defaultSinkChanged, this,
            [this, capture](const QString &sinkName) { handleDefaultSinkChanged(capture, sinkName); });
}

void SystemVoiceActivityDetector::publishVoiceActivity()
{
    // Reads the flag as it is now, so a quick succession of changes delivers the latest value once.
    const bool hasVoice = m_hasVoiceActivity.load();
    if (hasVoice == m_publishedVoiceActivity)
        return;
    m_publishedVoiceActivity = hasVoice;
    qCDebug(lcSystemVoice) << "system audio voice:" << hasVoice;
    if (m_delegate)
        m_delegate->voiceActivityDidChange(hasVoice);
}

QCoro::Task<> SystemVoiceActivityDetector::start()
{
    if (m_running) {
        qCCritical(lcSystemVoice) << "detector already running";
        co_return;
    }
    if (m_opening) {
        const VoiceActivityDetectorError error(QStringLiteral("the detector is already starting"));
        qCCritical(lcSystemVoice).noquote() << "start error:" << error.description();
        throw error;
    }
    QPointer<SystemVoiceActivityDetector> self(this);
    QCoro::Task<Opened> opening = openCapture();
    Opened opened = co_await std::move(opening);
    if (!self)
        throw VoiceActivityDetectorError(QStringLiteral("the detector was closed while it started"));
    if (opened.cancelled)
        opened.failure = std::make_exception_ptr(
            VoiceActivityDetectorError(QStringLiteral("the detector was stopped while it started")));
    if (opened.failure) {
        qCCritical(lcSystemVoice).noquote() << "start error:" << describeFailure(opened.failure);
        std::rethrow_exception(opened.failure);
    }
    m_capture = std::move(opened.capture);
    m_running = true;
    qCInfo(lcSystemVoice).noquote() << "listening to the system audio on" << m_capture->recordingSourceName();
}

QCoro::Task<> SystemVoiceActivityDetector::stop()
{
    if (!m_running && !m_opening) {
        qCCritical(lcSystemVoice) << "detector already stopped";
        co_return;
    }
    m_running = false;
    m_restartTimer->stop();
    cancelOpening();
    if (m_capture) {
        m_capture->stop();
        m_capture.reset();
    }
    // The provider's history, the flag and the conversion state stay: a later start continues with them.
    co_return;
}

void SystemVoiceActivityDetector::handleCaptureDied(AudioCapture *capture, const QString &message)
{
    qCCritical(lcSystemVoice).noquote() << "stream didStopWithError:" << message;
    if (!m_running || capture != m_capture.get()) {
        const QString note = QStringLiteral("Recorder stopped by error but no need to restart");
        qCInfo(lcSystemVoice).noquote() << note;
        if (m_options.errorTracker)
            m_options.errorTracker->captureMessage(note);
        return;
    }
    qCInfo(lcSystemVoice) << "Recorder stopped by error while running. Try to restart after 3s...";
    m_restartTimer->start(m_options.restartDelay, platform::Timer::Mode::SingleShot);
}

void SystemVoiceActivityDetector::handleDefaultSinkChanged(AudioCapture *capture, const QString &sinkName)
{
    if (!m_running || capture != m_capture.get())
        return;
    if (sinkName + QStringLiteral(".monitor") == m_capture->recordingSourceName())
        return;
    qCInfo(lcSystemVoice).noquote() << "default output is now" << sinkName << "- following it";
    followDefaultSink();
}

QCoro::Task<> SystemVoiceActivityDetector::followDefaultSink()
{
    // A capture opening already (a restart) lands on the new default output by itself.
    if (m_opening)
        co_return;
    QPointer<SystemVoiceActivityDetector> self(this);
    QCoro::Task<Opened> opening = openCapture();
    Opened opened = co_await std::move(opening);
    if (!self || opened.cancelled || !m_running)
        co_return;
    if (!opened.capture) {
        // The new output cannot be listened to now: treat it like a dead capture.
        qCWarning(lcSystemVoice).noquote() << "cannot follow the default output:" << describeFailure(opened.failure);
        m_restartTimer->start(m_options.restartDelay, platform::Timer::Mode::SingleShot);
        co_return;
    }
    std::unique_ptr<AudioCapture> old = std::exchange(m_capture, std::move(opened.capture));
    if (old)
        old->stop();
    qCInfo(lcSystemVoice).noquote() << "listening to the system audio on" << m_capture->recordingSourceName();
    emit captureSourceChanged(m_capture->recordingSourceName());
}

QCoro::Task<> SystemVoiceActivityDetector::restart()
{
    // An owner that stopped the detector while the restart waited does not want it running again; a capture
    // opening for a new default output replaces the dead one by itself.
    if (!m_running || m_opening)
        co_return;
    if (m_capture) {
        m_capture->stop();
        m_capture.reset();
    }
    QPointer<SystemVoiceActivityDetector> self(this);
    QCoro::Task<Opened> opening = openCapture();
    Opened opened = co_await std::move(opening);
    if (!self || opened.cancelled || !m_running)
        co_return;
    if (opened.capture) {
        m_capture = std::move(opened.capture);
        const QString note = QStringLiteral("Restart succeed");
        qCInfo(lcSystemVoice).noquote() << note;
        if (m_options.errorTracker)
            m_options.errorTracker->captureMessage(note);
        emit restartFinished(true);
        co_return;
    }
    m_running = false;
    const QString note = QStringLiteral("Restart error: ") + describeFailure(opened.failure);
    qCCritical(lcSystemVoice).noquote() << note;
    if (m_options.errorTracker)
        m_options.errorTracker->captureMessage(note, platform::ErrorTracker::Level::Error);
    emit restartFinished(false);
    // A slot of that signal may have dropped the detector.
    if (self && m_delegate)
        m_delegate->detectorDidFail(opened.failure);
}

} // namespace brelta::recording

#include "SystemVoiceActivityDetector.moc"
