#include "recording/web/SystemAudioReference.h"

#include "platform/audio/AudioCapture.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcReference, "brelta.recording.SystemAudioReference")

namespace brelta::recording {

using platform::AudioCapture;
using platform::PcmBuffer;

namespace {

// The monitor of whatever output is the default when the stream opens; the server resolves the name.
const QString kDefaultMonitor = QStringLiteral("@DEFAULT_MONITOR@");

} // namespace

SystemAudioReference::SystemAudioReference(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{}

SystemAudioReference::~SystemAudioReference()
{
    stopCaptures();
}

QString SystemAudioReference::sourceName() const
{
    return m_capture ? m_capture->recordingSourceName() : QString();
}

QCoro::Task<std::unique_ptr<AudioCapture>> SystemAudioReference::open()
{
    // Held by this object while it opens, so that a stop (or this object's end) abandons the start at once
    // instead of letting a stream open for a recording that is over.
    m_opening = std::make_unique<AudioCapture>();
    AudioCapture *capture = m_opening.get();
    platform::AudioCaptureOptions options;
    options.serverAddress = m_options.serverAddress;
    options.sourceName = kDefaultMonitor;
    options.format = m_options.format;
    options.blockMilliseconds = m_options.blockMilliseconds;
    // Stay on this output's monitor: a switch of output is followed explicitly, so that we know where the
    // timeline breaks.
    options.dontMove = true;
    options.watchDefaultSink = true;
    options.startPaused = m_paused;
    options.streamName = QStringLiteral("Echo reference");
    options.timeout = m_options.startTimeout;
    QPointer<SystemAudioReference> self(this);
    QCoro::Task<> started = capture->start(options);
    co_await std::move(started);
    // A start that stop() cut short has thrown above; one that finished after this object went has no owner.
    if (!self || m_opening.get() != capture)
        throw platform::AudioCaptureError("the echo reference ended while its capture opened");
    std::unique_ptr<AudioCapture> opened = std::move(m_opening);
    attach(opened.get());
    co_return opened;
}

void SystemAudioReference::attach(AudioCapture *capture)
{
    connect(capture, &AudioCapture::blockReady, this, [this, capture](const PcmBuffer &block) {
        if (capture == m_capture.get())
            Q_EMIT blockReady(block, QDateTime::currentMSecsSinceEpoch());
    });
    connect(capture, &AudioCapture::failed, this, [this, capture](const QString &message) {
        if (capture != m_capture.get() || !m_running)
            return;
        qCWarning(lcReference).noquote() << "the capture of what plays ended:" << message;
        replace(QStringLiteral("the capture ended"));
    });
    connect(capture, &AudioCapture::defaultSinkChanged, this, [this, capture](const QString &sinkName) {
        if (capture != m_capture.get() || !m_running)
            return;
        if (sinkName + QStringLiteral(".monitor") == capture->recordingSourceName())
            return;
        replace(QStringLiteral("the default output is now %1").arg(sinkName));
    });
}

QCoro::Task<bool> SystemAudioReference::start()
{
    m_running = true;
    m_paused = false;
    QPointer<SystemAudioReference> self(this);
    try {
        QCoro::Task<std::unique_ptr<AudioCapture>> opening = open();
        std::unique_ptr<AudioCapture> capture = co_await std::move(opening);
        m_capture = std::move(capture);
    } catch (const std::exception &error) {
        if (!self || !m_running) // stopped meanwhile: nothing to report
            co_return false;
        m_running = false;
        qCWarning(lcReference).noquote() << "nothing to take the other side's voice from, recording without it:"
                                         << error.what();
        co_return false;
    }
    qCInfo(lcReference).noquote() << "echo reference from" << m_capture->recordingSourceName();
    co_return true;
}

QCoro::Task<> SystemAudioReference::replace(QString why)
{
    if (m_replacing)
        co_return;
    m_replacing = true;
    if (m_capture) {
        // The old stream's last blocks still belong to the old timeline: let them arrive first.
        m_capture->stop();
        m_capture.reset();
    }
    qCInfo(lcReference).noquote() << why << "- reopening the echo reference";
    QPointer<SystemAudioReference> self(this);
    std::unique_ptr<AudioCapture> capture;
    QString failure;
    try {
        QCoro::Task<std::unique_ptr<AudioCapture>> opening = open();
        capture = co_await std::move(opening);
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!self)
        co_return;
    m_replacing = false;
    if (!m_running) // stopped meanwhile, which abandoned the opening
        co_return;
    if (!capture) {
        end(failure);
        co_return;
    }
    m_capture = std::move(capture);
    if (m_paused) // paused while the new stream opened
        m_capture->pause();
    qCInfo(lcReference).noquote() << "echo reference now from" << m_capture->recordingSourceName();
    Q_EMIT captureRestarted();
}

void SystemAudioReference::end(const QString &reason)
{
    m_running = false;
    qCWarning(lcReference).noquote() << "recording goes on without an echo reference:" << reason;
    Q_EMIT referenceEnded(reason);
}

void SystemAudioReference::pause()
{
    m_paused = true;
    if (m_capture)
        m_capture->pause();
}

void SystemAudioReference::resume()
{
    m_paused = false;
    if (m_capture)
        m_capture->resume();
}

void SystemAudioReference::stop()
{
    m_running = false;
    stopCaptures();
}

void SystemAudioReference::stopCaptures()
{
    if (m_opening) {
        m_opening->stop(); // its start() throws: the reference was stopped while it opened
        m_opening.reset();
    }
    if (m_capture) {
        m_capture->stop();
        m_capture.reset();
    }
}

} // namespace brelta::recording
