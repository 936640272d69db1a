#include "recording/recorders/SimpleAudioRecorder.h"

#include "recording/recorders/RecorderErrors.h"

#include <QCoroSignal>
#include <QLoggingCategory>
#include <QPointer>
#include <QThreadPool>

Q_LOGGING_CATEGORY(lcSimpleRecorder, "brelta.recording.SimpleAudioRecorder")

namespace brelta::recording {

using platform::AacFileWriter;
using platform::AudioCapture;
using platform::PcmBuffer;

SimpleAudioRecorder::SimpleAudioRecorder(QObject *parent) : SimpleAudioRecorder(Options{}, parent) {}

SimpleAudioRecorder::SimpleAudioRecorder(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{}

SimpleAudioRecorder::~SimpleAudioRecorder()
{
    // A start under way finds its stream closed and itself alone; it removes its file.
    if (m_openingCapture)
        m_openingCapture->stop();
    if (m_capture)
        m_capture->stop();
    m_capture.reset();
    m_writerQueue.drain();
    // The last owner of the writer closes the fragmented file as it is.
}

QCoro::Task<> SimpleAudioRecorder::start(QUrl url)
{
    const auto refuse = [](const AudioRecorderError &error) {
        qCCritical(lcSimpleRecorder).noquote() << "startRecording error:" << error.description();
        return error;
    };
    if (m_state == AudioRecordingState::Recording || m_starting)
        throw refuse(AudioRecorderError(QStringLiteral("recorder already started")));
    // Starting again would replace the paused recording's file and lose it.
    if (m_state == AudioRecordingState::Paused)
        throw refuse(AudioRecorderError(QStringLiteral("recorder is paused; stop it before starting a new recording")));
    if (!url.isLocalFile())
        throw refuse(AudioRecorderError(QStringLiteral("the output must be a local file"), url.toString()));
    m_starting = true;

    QPointer<SimpleAudioRecorder> self(this);
    std::shared_ptr<AacFileWriter> writer;
    std::unique_ptr<AudioCapture> capture;
    std::exception_ptr failure;
    try {
        // Creating the file (its header, the sync to the disk) is disk work: the writer's thread does it.
        auto created = std::make_shared<std::shared_ptr<AacFileWriter>>();
        // Awaited tasks are built in statements of their own (CODING.md, "Coroutines").
        QCoro::Task<> creating = m_writerQueue.run(
            [created, path = url.toLocalFile(), format = m_options.capture.format, encoding = m_options.encoding] {
                *created = AacFileWriter::create(path, format, encoding);
            });
        co_await std::move(creating);
        writer = std::move(*created);
        if (self) {
            capture = std::make_unique<AudioCapture>();
            connect(capture.get(), &AudioCapture::blockReady, this,
                    [this, writer](const PcmBuffer &block) { writeBlock(writer, block); });
            connect(capture.get(), &AudioCapture::failed, this, &SimpleAudioRecorder::handleCaptureFailure);
            m_openingCapture = capture.get();
            QCoro::Task<> started =
                startMicrophoneCapture(capture.get(), m_options.capture, m_options.firstAudioTimeout);
            co_await std::move(started);
        }
    } catch (const std::exception &) {
        failure = std::current_exception();
    }
    if (!self) {
        // Dropped while starting: the capture closes with this frame, and nothing of the file stays.
        if (writer)
            QThreadPool::globalInstance()->start([writer] { writer->discard(); });
        co_return;
    }
    if (failure) {
        m_starting = false;
        qCCritical(lcSimpleRecorder).noquote() << "startRecording error:" << describeFailure(failure);
        capture.reset();
        if (writer) {
            // Behind the blocks already queued, which still write into the file.
            QCoro::Task<> discarded = m_writerQueue.run([writer] { writer->discard(); });
            co_await std::move(discarded);
        }
        std::rethrow_exception(failure);
    }
    m_starting = false;
    m_openingCapture.clear();
    m_capture = std::move(capture);
    m_writer = std::move(writer);
    m_finished.reset();
    m_state = AudioRecordingState::Recording;
    qCInfo(lcSimpleRecorder).noquote() << "recording into" << m_writer->path();
}

QCoro::Task<> SimpleAudioRecorder::stop()
{
    if (m_state == AudioRecordingState::Stopped)
        throw AudioRecorderError(QStringLiteral("recorder already stopped"));
    m_stopWaiting = true;
    QPointer<SimpleAudioRecorder> self(this);
    const bool complete = co_await finishRecording();
    if (!self)
        co_return;
    m_stopWaiting = false;
    if (!complete)
        throw AudioRecorderError(QStringLiteral("recorder failed to stop"));
    m_state = AudioRecordingState::Stopped;
}

QCoro::Task<> SimpleAudioRecorder::pause()
{
    // Only a running recording can pause; without one there is nothing to suspend.
    if (m_capture && m_capture->pause())
        m_state = AudioRecordingState::Paused;
    co_return;
}

QCoro::Task<> SimpleAudioRecorder::resume()
{
    if (m_capture && m_capture->resume())
        m_state = AudioRecordingState::Recording;
    co_return;
}

void SimpleAudioRecorder::writeBlock(const std::shared_ptr<AacFileWriter> &writer, const PcmBuffer &block)
{
    QPointer<SimpleAudioRecorder> self(this);
    m_writerQueue.post([writer, block, self] {
        try {
            writer->write(block);
        } catch (const std::exception &error) {
            const QString message = QString::fromUtf8(error.what());
            QMetaObject::invokeMethod(
                self.data(),
                [self, message] {
                    if (self)
                        self->handleWriteFailure(message);
                },
                Qt::QueuedConnection);
        }
    });
}

void SimpleAudioRecorder::handleCaptureFailure(const QString &message)
{
    qCWarning(lcSimpleRecorder).noquote() << "the microphone stream ended:" << message;
    endOnItsOwn();
}

void SimpleAudioRecorder::handleWriteFailure(const QString &message)
{
    qCInfo(lcSimpleRecorder).noquote() << "audioRecorderEncodeErrorDidOccur: error:" << message;
    // Recording on would only lose more audio: end the recording and keep what the file holds.
    endOnItsOwn();
}

void SimpleAudioRecorder::endOnItsOwn()
{
    // A start in progress sees the failure itself; a recording already ending needs no second end.
    if (m_starting || !m_writer || m_finishing || m_finished)
        return;
    // Started and forgotten: the outcome reaches the delegate from finishRecording().
    [](QPointer<SimpleAudioRecorder> self) -> QCoro::Task<> {
        if (self)
            co_await self->finishRecording();
    }(QPointer<SimpleAudioRecorder>(this));
}

void SimpleAudioRecorder::closeCapture()
{
    if (!m_capture)
        return;
    m_capture->stop(); // hands over the rest of the audio, which writeBlock queues for the writer
    // The capture may be the sender of the signal that brought us here: delete it once that has returned.
    m_capture.release()->deleteLater();
}

QCoro::Task<bool> SimpleAudioRecorder::finishRecording()
{
    if (m_finished && *m_finished)
        co_return true;
    QPointer<SimpleAudioRecorder> self(this);
    if (m_finishing) {
        auto ended = qCoro(this, &SimpleAudioRecorder::finishEnded, std::chrono::minutes(10));
        const std::optional<bool> complete = co_await std::move(ended);
        co_return complete.value_or(false);
    }
    m_finishing = true;
    closeCapture();
    const std::shared_ptr<AacFileWriter> writer = m_writer;
    QString failure;
    try {
        QCoro::Task<> finished = m_writerQueue.run([writer] { writer->finish(); });
        co_await std::move(finished);
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!self)
        co_return failure.isEmpty();
    const bool complete = failure.isEmpty();
    if (!complete)
        qCCritical(lcSimpleRecorder).noquote() << "cannot complete the recording:" << failure;
    m_finishing = false;
    m_finished = complete;

    qCInfo(lcSimpleRecorder) << "audioRecorderDidFinishRecording: success:" << complete;
    if (!m_stopWaiting) {
        // Nobody asked for this end: the recording stopped by itself.
        const AudioRecorderError error(QStringLiteral("unexpected stop with successfully: %1")
                                           .arg(complete ? QStringLiteral("true") : QStringLiteral("false")));
        if (m_delegate)
            m_delegate->recorderDidFail(std::make_exception_ptr(error));
    }
    Q_EMIT finishEnded(complete);
    co_return complete;
}

} // namespace brelta::recording
