#include "recording/recorders/SystemVoiceFilteredAudioRecorder.h"

#include "platform/telemetry/ErrorTracker.h"
#include "recording/recorders/RecorderErrors.h"
#include "recording/vad/SystemVoiceFilter.h"

#include <QCoroSignal>
#include <QLoggingCategory>
#include <QPointer>
#include <QThreadPool>

Q_LOGGING_CATEGORY(lcFilteredRecorder, "brelta.recording.SystemVoiceFilteredAudioRecorder")

namespace brelta::recording {

using platform::AacFileWriter;
using platform::AudioCapture;
using platform::PcmBuffer;

// Awaited tasks are built in statements of their own (CODING.md, "Coroutines").

// The file's side of the recording, worked on by the queue's jobs only (one at a time).
struct SystemVoiceFilteredAudioRecorder::FileSide
{
    std::unique_ptr<AacFileWriter> writer;
    SystemVoiceFilter filter;
    bool writeFailed = false;

    void write(const PcmBuffer &block) { writer->write(block); }
};

SystemVoiceFilteredAudioRecorder::SystemVoiceFilteredAudioRecorder(SystemVoiceDetectorFactory systemVadProvider,
                                                                   QObject *parent)
    : SystemVoiceFilteredAudioRecorder(std::move(systemVadProvider), Options{}, parent)
{}

SystemVoiceFilteredAudioRecorder::SystemVoiceFilteredAudioRecorder(SystemVoiceDetectorFactory systemVadProvider,
                                                                   Options options, QObject *parent)
    : QObject(parent)
    , m_systemVadProvider(std::move(systemVadProvider))
    , m_options(std::move(options))
{}

SystemVoiceFilteredAudioRecorder::~SystemVoiceFilteredAudioRecorder()
{
    cancelOpeningMicrophone();
    closeMicrophone();
    m_systemVad.reset();
    m_queue.drain();
}

QString SystemVoiceFilteredAudioRecorder::microphoneSourceName() const
{
    return m_microphone ? m_microphone->recordingSourceName() : QString();
}

QCoro::Task<> SystemVoiceFilteredAudioRecorder::start(QUrl url)
{
    if (m_state == AudioRecordingState::Recording || m_busy) {
        const AudioRecorderError error(QStringLiteral("recorder already started"));
        qCCritical(lcFilteredRecorder).noquote() << "startRecording error:" << error.description();
        throw error;
    }
    // Starting again would replace the paused recording's file and lose it.
    if (m_state == AudioRecordingState::Paused)
        throw AudioRecorderError(QStringLiteral("recorder is paused; stop it before starting a new recording"));
    if (!url.isLocalFile())
        throw AudioRecorderError(QStringLiteral("the output must be a local file"), url.toString());

    m_busy = true;
    ++m_recordingNumber;
    QPointer<SystemVoiceFilteredAudioRecorder> self(this);
    const QString path = url.toLocalFile();
    std::unique_ptr<AudioCapture> microphone;
    auto file = std::make_shared<FileSide>();
    std::exception_ptr failure;
    try {
        // Kept as a member from the start, so that dropping the recorder meanwhile also drops the detector.
        m_systemVad = m_systemVadProvider();
        if (!m_systemVad)
            throw AudioRecorderError(QStringLiteral("no system-voice detector"));
        m_systemVad->setDelegate(this);
        QCoro::Task<> detectorStarted = m_systemVad->start();
        co_await std::move(detectorStarted);
        if (self) {
            // Creating the file (its header, the sync to the disk) is disk work: the writer's thread does it.
            QCoro::Task<> created =
                m_queue.run([file, path, format = m_options.capture.format, encoding = m_options.encoding] {
                    try {
                        file->writer = AacFileWriter::create(path, format, encoding);
                    } catch (const std::exception &error) {
                        qCCritical(lcFilteredRecorder).noquote()
                            << "setupAudioConverterAndOutputFile error:" << error.what();
                        throw;
                    }
                });
            co_await std::move(created);
        }
        if (self) {
            m_file = file;
            m_hasVoiceActivity = false;
            QCoro::Task<std::unique_ptr<AudioCapture>> opening = openMicrophone(false);
            microphone = co_await std::move(opening);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        // Dropped while starting: its microphone closes with this frame; nothing of the file stays either.
        if (file->writer)
            QThreadPool::globalInstance()->start([file] { file->writer->discard(); });
        co_return;
    }
    if (failure) {
        // Nothing of a failed start stays behind: no stream listens, no half-made file is left.
        qCCritical(lcFilteredRecorder).noquote() << "startRecording error:" << describeFailure(failure);
        microphone.reset();
        m_file.reset();
        std::unique_ptr<ISystemVoiceActivityDectector> detector = std::move(m_systemVad);
        if (detector)
            detector->setDelegate(nullptr);
        // Behind the blocks already queued, which still write into the file.
        QCoro::Task<> discarded = m_queue.run([file] {
            if (file->writer)
                file->writer->discard();
        });
        co_await std::move(discarded);
        if (detector && detector->isRunning()) {
            try {
                QCoro::Task<> detectorStopped = detector->stop();
                co_await std::move(detectorStopped);
            } catch (...) {
            }
        }
        if (self)
            m_busy = false;
        std::rethrow_exception(failure);
    }
    m_busy = false;
    m_microphone = std::move(microphone);
    m_failureReported = false;
    m_state = AudioRecordingState::Recording;
    qCInfo(lcFilteredRecorder).noquote() << "recording" << m_microphone->recordingSourceName() << "into" << path;
}

QCoro::Task<> SystemVoiceFilteredAudioRecorder::stop()
{
    if (m_stopping) {
        // A stop is already completing the file (the recorder ending itself, say): return with it, so the
        // caller finds the file complete.
        auto finished = qCoro(this, &SystemVoiceFilteredAudioRecorder::stopFinished, std::chrono::minutes(5));
        co_await std::move(finished);
        co_return;
    }
    if (m_state == AudioRecordingState::Stopped || !m_file) {
        const AudioRecorderError error(QStringLiteral("recorder already stoppped"));
        qCCritical(lcFilteredRecorder).noquote() << "stopRecording error:" << error.description();
        throw error;
    }
    m_stopping = true;
    // Work begun for this recording (a microphone reopening) ends with it.
    ++m_recordingNumber;
    m_reopening = false;
    cancelOpeningMicrophone();
    QPointer<SystemVoiceFilteredAudioRecorder> self(this);
    // The rest of the microphone's audio goes into the queue first; the detector's flag as it stands then
    // filters it.
    closeMicrophone();
    auto detectorStopped = stopDetector();
    co_await std::move(detectorStopped);
    if (!self)
        co_return;

    std::shared_ptr<FileSide> file = std::move(m_file);
    m_file.reset();
    const QString path = file->writer->path();
    m_state = AudioRecordingState::Stopped;
    std::function<void()> complete = [file] {
        QString flushFailure;
        if (!file->writeFailed) {
            try {
                file->filter.flush([&file](const PcmBuffer &block) { file->write(block); });
            } catch (const std::exception &error) {
                flushFailure = QString::fromUtf8(error.what());
            }
        }
        // Completes the file even when its last block could not be written: all before it is kept.
        file->writer->finish();
        if (!flushFailure.isEmpty())
            throw platform::AudioFileError(flushFailure.toStdString());
    };
    std::exception_ptr failure;
    try {
        auto completed = m_queue.run(std::move(complete));
        co_await std::move(completed);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    m_stopping = false;
    Q_EMIT stopFinished();
    if (failure) {
        qCCritical(lcFilteredRecorder).noquote() << "stopRecording error:" << describeFailure(failure);
        throw AudioRecorderError(QStringLiteral("recorder failed to stop"), describeFailure(failure));
    }
    qCInfo(lcFilteredRecorder).noquote() << "recording complete:" << path;
}

QCoro::Task<> SystemVoiceFilteredAudioRecorder::pause()
{
    if (m_state == AudioRecordingState::Paused)
        throw AudioRecorderError(QStringLiteral("recorder already paused"));
    if (m_state == AudioRecordingState::Stopped)
        throw AudioRecorderError(QStringLiteral("recorder is not recording"));
    m_state = AudioRecordingState::Paused;
    if (m_microphone)
        m_microphone->pause();
    if (m_systemVad) {
        auto detectorStopped = m_systemVad->stop();
        co_await std::move(detectorStopped);
    }
}

QCoro::Task<> SystemVoiceFilteredAudioRecorder::resume()
{
    if (m_state == AudioRecordingState::Recording)
        throw AudioRecorderError(QStringLiteral("recorder already started"));
    if (m_state == AudioRecordingState::Stopped)
        throw AudioRecorderError(QStringLiteral("recorder is not recording"));
    m_state = AudioRecordingState::Recording;
    QPointer<SystemVoiceFilteredAudioRecorder> self(this);
    // The filter needs its detector before the microphone flows again.
    if (m_systemVad) {
        auto detectorStarted = m_systemVad->start();
        co_await std::move(detectorStarted);
    }
    if (!self || m_state != AudioRecordingState::Recording)
        co_return;
    if (m_microphone && !m_microphone->resume()) {
        auto reopened = reopenMicrophone(); // its source went away during the pause
        co_await std::move(reopened);
    }
}

void SystemVoiceFilteredAudioRecorder::voiceActivityDidChange(bool hasVoice)
{
    m_hasVoiceActivity = hasVoice;
}

void SystemVoiceFilteredAudioRecorder::detectorDidFail(std::exception_ptr error)
{
    qCWarning(lcFilteredRecorder).noquote() << "the system-voice detector gave up:" << describeFailure(error);
    // Without the detector the other side would reach the file: end the recording, keeping what it holds.
    [](QPointer<SystemVoiceFilteredAudioRecorder> self, std::exception_ptr error) -> QCoro::Task<> {
        if (!self)
            co_return;
        if (self->m_state != AudioRecordingState::Stopped) {
            try {
                auto stopped = self->stop();
                co_await std::move(stopped);
            } catch (...) {
            }
        }
        if (self)
            self->reportFailure(error);
    }(QPointer<SystemVoiceFilteredAudioRecorder>(this), error);
}

QCoro::Task<std::unique_ptr<AudioCapture>> SystemVoiceFilteredAudioRecorder::openMicrophone(bool paused)
{
    // Copies of all it reads after an await: the recorder may be gone by then.
    platform::AudioCaptureOptions options = m_options.capture;
    const bool followsTheDefault = options.sourceName.isEmpty();
    const std::chrono::milliseconds firstAudioTimeout = m_options.firstAudioTimeout;
    QPointer<SystemVoiceFilteredAudioRecorder> self(this);
    if (followsTheDefault) {
        platform::AudioServerInfo server;
        try {
            QCoro::Task<platform::AudioServerInfo> query =
                AudioCapture::queryServer(options.serverAddress, options.timeout);
            server = co_await std::move(query);
        } catch (const std::exception &error) {
            throw AudioRecorderError(QStringLiteral("failed to prepare to record"), QString::fromUtf8(error.what()));
        }
        if (server.defaultSourceName.isEmpty())
            throw AudioRecorderError(QStringLiteral("no microphone"),
                                     QStringLiteral("the sound server has no audio input"));
        if (server.defaultSourceIsMonitor)
            throw AudioRecorderError(
                QStringLiteral("no microphone"),
                QStringLiteral("the default input \"%1\" carries what an output plays, not a microphone")
                    .arg(server.defaultSourceName));
        options.sourceName = server.defaultSourceName;
    }
    // Stay on this source: if it goes away the stream ends and is reopened on purpose, instead of being
    // moved by the server to whatever source is left, which may be the system audio itself.
    options.dontMove = true;
    // Recording the default input means following the user's choice of it.
    options.watchDefaultSource = followsTheDefault;
    if (!self)
        throw AudioRecorderError(QStringLiteral("failed to prepare to record"), QStringLiteral("the recorder closed"));

    auto capture = std::make_unique<AudioCapture>();
    attach(capture.get());
    m_openingMicrophone = capture.get();
    QCoro::Task<> started = startMicrophoneCapture(capture.get(), options, firstAudioTimeout, paused);
    co_await std::move(started);
    if (self && m_openingMicrophone == capture.get())
        m_openingMicrophone.clear();
    co_return capture;
}

void SystemVoiceFilteredAudioRecorder::cancelOpeningMicrophone()
{
    // Its stream closes now; the coroutine opening it then fails and finds nobody wants it.
    if (m_openingMicrophone)
        m_openingMicrophone->stop();
}

void SystemVoiceFilteredAudioRecorder::attach(AudioCapture *capture)
{
    connect(capture, &AudioCapture::blockReady, this, &SystemVoiceFilteredAudioRecorder::enqueueBlock);
    connect(capture, &AudioCapture::failed, this,
            [this, capture](const QString &message) { handleMicrophoneDied(capture, message); });
    connect(capture, &AudioCapture::defaultSourceChanged, this,
            [this, capture](const QString &sourceName) { followDefaultSource(capture, sourceName); });
}

void SystemVoiceFilteredAudioRecorder::enqueueBlock(const PcmBuffer &block)
{
    if (!m_file)
        return;
    // The flag as it stands when the block arrives: the detector has heard the system audio up to now.
    const bool systemHasVoice = m_hasVoiceActivity.load();
    m_queue.post([this, file = m_file, block, systemHasVoice] {
        if (file->writeFailed)
            return;
        try {
            file->filter.process(block, systemHasVoice, [&file](const PcmBuffer &out) { file->write(out); });
        } catch (const std::exception &error) {
            file->writeFailed = true;
            const QString message = QString::fromUtf8(error.what());
            QMetaObject::invokeMethod(
                this, [this, message] { handleWriteFailure(message); }, Qt::QueuedConnection);
        }
    });
}

void SystemVoiceFilteredAudioRecorder::handleWriteFailure(const QString &message)
{
    qCCritical(lcFilteredRecorder).noquote() << "writeToFile error:" << message;
    // The file cannot take more audio (disk full, …): recording on would only pretend. What it holds stays.
    reportFailure(std::make_exception_ptr(AudioRecorderError(QStringLiteral("cannot write the recording"), message)));
}

void SystemVoiceFilteredAudioRecorder::handleMicrophoneDied(AudioCapture *capture, const QString &message)
{
    if (capture != m_microphone.get() || m_state == AudioRecordingState::Stopped)
        return;
    qCWarning(lcFilteredRecorder).noquote() << "the microphone stream ended:" << message << "- reopening it";
    reopenMicrophone();
}

QCoro::Task<> SystemVoiceFilteredAudioRecorder::followDefaultSource(AudioCapture *capture, QString sourceName)
{
    if (capture != m_microphone.get() || m_state == AudioRecordingState::Stopped || m_stopping || m_reopening
        || sourceName == capture->recordingSourceName())
        co_return;
    QPointer<SystemVoiceFilteredAudioRecorder> self(this);
    QPointer<AudioCapture> current(capture);
    // A monitor picked as the default input would record the very voice this recorder leaves out, and an
    // empty default has nothing to record: keep the microphone that works.
    platform::AudioServerInfo server;
    try {
        auto query = AudioCapture::queryServer(m_options.capture.serverAddress, m_options.capture.timeout);
        server = co_await std::move(query);
    } catch (const std::exception &error) {
        if (self)
            qCWarning(lcFilteredRecorder).noquote() << "cannot follow the default input:" << error.what();
        co_return;
    }
    if (!self || !current || current != m_microphone.get() || m_state == AudioRecordingState::Stopped || m_stopping)
        co_return;
    if (server.defaultSourceName.isEmpty() || server.defaultSourceIsMonitor
        || server.defaultSourceName == current->recordingSourceName()) {
        qCInfo(lcFilteredRecorder).noquote()
            << "default input is now" << server.defaultSourceName << "- staying on" << current->recordingSourceName();
        co_return;
    }
    qCInfo(lcFilteredRecorder).noquote() << "default input is now" << server.defaultSourceName << "- following it";
    auto reopened = reopenMicrophone();
    co_await std::move(reopened);
}

QCoro::Task<> SystemVoiceFilteredAudioRecorder::reopenMicrophone()
{
    if (m_reopening)
        co_return;
    m_reopening = true;
    closeMicrophone();
    const quint64 recording = m_recordingNumber;
    QPointer<SystemVoiceFilteredAudioRecorder> self(this);
    std::unique_ptr<AudioCapture> fresh;
    std::exception_ptr failure;
    try {
        QCoro::Task<std::unique_ptr<AudioCapture>> opening = openMicrophone(m_state == AudioRecordingState::Paused);
        fresh = co_await std::move(opening);
    } catch (...) {
        failure = std::current_exception();
    }
    // Stopped meanwhile: the stop has no use for this microphone (it closes with this frame).
    if (!self || recording != m_recordingNumber || m_state == AudioRecordingState::Stopped)
        co_return;
    m_reopening = false;
    if (fresh) {
        m_microphone = std::move(fresh);
        if (m_state == AudioRecordingState::Paused) // paused while it reopened
            m_microphone->pause();
        qCInfo(lcFilteredRecorder).noquote() << "recording continues from" << m_microphone->recordingSourceName();
        Q_EMIT microphoneReopened(true);
        co_return;
    }
    qCCritical(lcFilteredRecorder).noquote() << "cannot reopen the microphone:" << describeFailure(failure);
    if (m_options.errorTracker)
        m_options.errorTracker->captureError(QStringLiteral("AudioRecorderError"), describeFailure(failure));
    Q_EMIT microphoneReopened(false);
    reportFailure(failure);
}

void SystemVoiceFilteredAudioRecorder::closeMicrophone()
{
    if (!m_microphone)
        return;
    m_microphone->stop(); // hands over the rest of its audio, which enqueueBlock queues
    // It may be the sender of the signal that brought us here: delete it once that has returned.
    m_microphone.release()->deleteLater();
}

QCoro::Task<> SystemVoiceFilteredAudioRecorder::stopDetector()
{
    std::unique_ptr<ISystemVoiceActivityDectector> detector = std::move(m_systemVad);
    if (!detector)
        co_return;
    detector->setDelegate(nullptr);
    if (detector->isRunning()) {
        try {
            auto detectorStopped = detector->stop();
            co_await std::move(detectorStopped);
        } catch (const std::exception &error) {
            qCWarning(lcFilteredRecorder).noquote() << "stopping the system-voice detector:" << error.what();
        }
    }
}

void SystemVoiceFilteredAudioRecorder::reportFailure(std::exception_ptr error)
{
    // One failure is enough for the session to end the recording; later ones are consequences.
    if (m_failureReported)
        return;
    m_failureReported = true;
    if (m_delegate)
        m_delegate->recorderDidFail(error);
}

} // namespace brelta::recording
