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

// Awaited tasks are built in statements of their own: GCC 12 can destroy temporaries that live across a
// co_await twice.

namespace {

// The monitor of whatever output is the default when the stream opens; the server resolves the name.
const QString kDefaultMonitor = QStringLiteral("@DEFAULT_MONITOR@");
// Sound servers mix at 48 kHz nearly everywhere: asking for it spares them a conversion of their own.
const PcmFormat kCaptureFormat{SampleType::Float32, 48000, 1};
const PcmFormat kProviderFormat{SampleType::Int16, 8000, 1};

} // namespace

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

QCoro::Task<std::unique_ptr<AudioCapture>> SystemVoiceActivityDetector::openCapture()
{
    auto capture = std::make_unique<AudioCapture>();
    attach(capture.get());
    platform::AudioCaptureOptions options;
    options.sourceName = kDefaultMonitor;
    options.format = kCaptureFormat;
    options.blockMilliseconds = m_options.blockMilliseconds;
    // Stay on this output's monitor: a switch of output is followed explicitly, and a vanished output
    // ends the stream instead of silently moving it elsewhere.
    options.dontMove = true;
    options.watchDefaultSink = true;
    options.streamName = QStringLiteral("System audio voice detection");
    options.timeout = m_options.startTimeout;
    options.startPaused = true;
    auto started = capture->start(options);
    co_await std::move(started);
    // Listening starts once audio flows: a fresh stream on a monitor sends nothing for a while and then
    // lags behind what the output plays, which would leave the other side's first words unmuted.
    auto firstAudio = qCoro(capture.get(), &AudioCapture::audioArrived, m_options.startTimeout);
    if (!capture->resume())
        throw AudioCaptureError("the record stream on the system audio closed");
    const auto arrived = co_await std::move(firstAudio);
    if (!arrived || !capture->isRunning())
        throw AudioCaptureError(QStringLiteral("no audio from %1 within %2 ms")
                                    .arg(capture->recordingSourceName())
                                    .arg(m_options.startTimeout.count())
                                    .toStdString());
    co_return capture;
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
        qCWarning(lcSystemVoice) << "detector already running";
        co_return;
    }
    QPointer<SystemVoiceActivityDetector> self(this);
    std::unique_ptr<AudioCapture> capture;
    try {
        auto opening = openCapture();
        capture = co_await std::move(opening);
    } catch (const std::exception &error) {
        if (self)
            qCWarning(lcSystemVoice).noquote() << "start error:" << error.what();
        throw;
    }
    if (!self) {
        capture->stop();
        co_return;
    }
    if (m_running) { // another start() finished first
        capture->stop();
        co_return;
    }
    m_capture = std::move(capture);
    m_running = true;
    qCInfo(lcSystemVoice).noquote() << "listening to the system audio on" << m_capture->recordingSourceName();
}

QCoro::Task<> SystemVoiceActivityDetector::stop()
{
    if (!m_running) {
        qCWarning(lcSystemVoice) << "detector already stopped";
        co_return;
    }
    m_running = false;
    m_restartTimer->stop();
    if (m_capture) {
        m_capture->stop();
        m_capture.reset();
    }
    // The provider's history, the flag and the conversion state stay: a later start continues with them.
    co_return;
}

void SystemVoiceActivityDetector::handleCaptureDied(AudioCapture *capture, const QString &message)
{
    qCWarning(lcSystemVoice).noquote() << "system audio capture died:" << message;
    if (!m_running || capture != m_capture.get()) {
        const QString note = QStringLiteral("system audio capture stopped by error but no need to restart");
        qCInfo(lcSystemVoice).noquote() << note;
        if (m_options.errorTracker)
            m_options.errorTracker->captureMessage(note);
        return;
    }
    qCInfo(lcSystemVoice) << "capture stopped by error while running; restarting in" << m_options.restartDelay.count()
                          << "ms";
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

QCoro::Task<SystemVoiceActivityDetector::Replacement> SystemVoiceActivityDetector::openReplacement()
{
    m_switching = true;
    QPointer<SystemVoiceActivityDetector> self(this);
    Replacement replacement;
    try {
        auto opening = openCapture();
        replacement.capture = co_await std::move(opening);
    } catch (...) {
        replacement.failure = std::current_exception();
    }
    if (!self)
        co_return Replacement{};
    m_switching = false;
    // Stopped while the capture opened: nobody wants it any more.
    if (!m_running) {
        if (replacement.capture)
            replacement.capture->stop();
        co_return Replacement{};
    }
    replacement.wanted = true;
    co_return replacement;
}

QCoro::Task<> SystemVoiceActivityDetector::followDefaultSink()
{
    if (m_switching)
        co_return;
    QPointer<SystemVoiceActivityDetector> self(this);
    auto opening = openReplacement();
    Replacement replacement = co_await std::move(opening);
    if (!self || !replacement.wanted)
        co_return;
    if (!replacement.capture) {
        // The new output cannot be listened to now: treat it like a dead capture.
        qCWarning(lcSystemVoice).noquote()
            << "cannot follow the default output:" << describeFailure(replacement.failure);
        m_restartTimer->start(m_options.restartDelay, platform::Timer::Mode::SingleShot);
        co_return;
    }
    std::unique_ptr<AudioCapture> old = std::exchange(m_capture, std::move(replacement.capture));
    old->stop();
    qCInfo(lcSystemVoice).noquote() << "listening to the system audio on" << m_capture->recordingSourceName();
    emit captureSourceChanged(m_capture->recordingSourceName());
}

QCoro::Task<> SystemVoiceActivityDetector::restart()
{
    // An owner that stopped the detector while the restart waited does not want it running again; a switch
    // to a new default output under way replaces the dead capture by itself.
    if (!m_running || m_switching)
        co_return;
    if (m_capture) {
        m_capture->stop();
        m_capture.reset();
    }
    QPointer<SystemVoiceActivityDetector> self(this);
    auto opening = openReplacement();
    Replacement replacement = co_await std::move(opening);
    if (!self || !replacement.wanted)
        co_return;
    if (replacement.capture) {
        m_capture = std::move(replacement.capture);
        qCInfo(lcSystemVoice).noquote() << "restart succeeded; listening on" << m_capture->recordingSourceName();
        if (m_options.errorTracker)
            m_options.errorTracker->captureMessage(QStringLiteral("system audio capture restart succeeded"));
        emit restartFinished(true);
        co_return;
    }
    m_running = false;
    const QString note = QStringLiteral("system audio capture restart error: ") + describeFailure(replacement.failure);
    qCWarning(lcSystemVoice).noquote() << note;
    if (m_options.errorTracker)
        m_options.errorTracker->captureMessage(note, platform::ErrorTracker::Level::Error);
    emit restartFinished(false);
    if (m_delegate)
        m_delegate->detectorDidFail(replacement.failure);
}

} // namespace brelta::recording
