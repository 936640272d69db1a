#include "recording/web/WebViewAudioRecorder.h"

#include "recording/recorders/RecorderErrors.h"
#include "recording/web/EchoFreeEncoder.h"
#include "recording/web/WebRecorderMessage.h"
#include "recording/web/WebRecorderPage.h"
#include "recording/web/WebRecordingWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUuid>

#include <cmath>
#include <variant>

Q_LOGGING_CATEGORY(lcWebRecorder, "brelta.recording.WebViewAudioRecorder")

namespace brelta::recording {

// Awaited tasks are built in statements of their own (CODING.md, "Coroutines").

struct WebViewAudioRecorder::Recording
{
    QString id;
    WebRecordingPaths paths;
    std::shared_ptr<WebRecordingWriter> writer; // used only by jobs of the work queue
    std::unique_ptr<SystemAudioReference> reference;
    qint64 nextSequence = 0;
    bool failed = false; // nothing more of it is written
    QString failure;
    bool reported = false; // to the delegate, once
};

// Marks the recorder busy for as long as one of its operations runs; the session awaits them one at a time,
// and a second one meanwhile would act on a half-changed state.
class WebViewAudioRecorder::Operation
{
public:
    explicit Operation(WebViewAudioRecorder *recorder) : m_recorder(recorder)
    {
        if (recorder->m_busy)
            throw AudioRecorderError(QStringLiteral("another operation of the recorder is under way"));
        recorder->m_busy = true;
    }
    ~Operation()
    {
        if (m_recorder)
            m_recorder->m_busy = false;
    }
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

private:
    QPointer<WebViewAudioRecorder> m_recorder;
};

namespace {

QString quoted(const QString &text)
{
    // The id is ours (a UUID), but a quoted JavaScript string keeps it from ever being read as code.
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QString describe(const QVariant &value)
{
    return pagemessage::describe(value.toMap());
}

} // namespace

WebViewAudioRecorder::WebViewAudioRecorder(QObject *parent) : WebViewAudioRecorder(Options{}, parent) {}

WebViewAudioRecorder::WebViewAudioRecorder(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{}

WebViewAudioRecorder::~WebViewAudioRecorder()
{
    if (m_recording) {
        if (m_recording->reference)
            m_recording->reference->stop();
        // The decoder thread posts to the queue until it ends: end it before the queue goes.
        std::shared_ptr<WebRecordingWriter> writer = m_recording->writer;
        m_queue.post([writer] { writer->endChunks(); });
    }
    m_queue.drain();
}

void WebViewAudioRecorder::setup()
{
    if (!m_page) {
        m_page = new WebRecorderPage(this);
        connect(m_page, &WebRecorderPage::messagePosted, this, &WebViewAudioRecorder::handlePageMessage);
        connect(m_page, &WebRecorderPage::pageDied, this, &WebViewAudioRecorder::handlePageDied);
    }
    if (m_state != AudioRecordingState::Stopped || m_page->isLoaded() || m_busy)
        return;
    [](QPointer<WebRecorderPage> page, std::chrono::milliseconds timeout) -> QCoro::Task<> {
        try {
            if (page) {
                QCoro::Task<> loading = page->ensureLoaded(timeout);
                co_await std::move(loading);
            }
        } catch (const std::exception &error) {
            qCWarning(lcWebRecorder).noquote() << "the recorder page did not load:" << error.what();
        }
    }(m_page, m_options.loadTimeout);
}

QString WebViewAudioRecorder::recordingId() const
{
    return m_recording ? m_recording->id : QString();
}

void WebViewAudioRecorder::post(std::function<void(WebRecordingWriter &)> job)
{
    if (!m_recording)
        return;
    m_queue.post([writer = m_recording->writer, job = std::move(job)] { job(*writer); });
}

void WebViewAudioRecorder::connectReference(SystemAudioReference *reference)
{
    connect(reference, &SystemAudioReference::blockReady, this,
            [this](const platform::PcmBuffer &block, qint64 arrivedAtMs) {
                post([block, arrivedAtMs](WebRecordingWriter &writer) { writer.appendReference(block, arrivedAtMs); });
            });
    connect(reference, &SystemAudioReference::captureRestarted, this,
            [this] { post([](WebRecordingWriter &writer) { writer.referenceRestarted(); }); });
    connect(reference, &SystemAudioReference::referenceEnded, this,
            [this] { post([](WebRecordingWriter &writer) { writer.referenceEnded(); }); });
}

QCoro::Task<> WebViewAudioRecorder::start(QUrl url)
{
    QPointer<WebViewAudioRecorder> self(this);
    std::optional<Operation> operation;
    try {
        operation.emplace(this);
        if (m_state == AudioRecordingState::Recording)
            throw AudioRecorderError(QStringLiteral("recorder already started"));
        // Starting again would leave the paused recording's files behind, never completed.
        if (m_state == AudioRecordingState::Paused)
            throw AudioRecorderError(QStringLiteral("recorder is paused; stop it before starting a new recording"));
        if (!url.isLocalFile())
            throw AudioRecorderError(QStringLiteral("the output must be a local file"), url.toString());
    } catch (const std::exception &) {
        qCCritical(lcWebRecorder).noquote() << "startRecording error:" << describeFailure(std::current_exception());
        throw;
    }

    std::shared_ptr<WebRecordingWriter> writer;
    std::exception_ptr failure;
    try {
        setup();
        QCoro::Task<> loading = m_page->ensureLoaded(m_options.loadTimeout);
        co_await std::move(loading);
        if (!self)
            co_return;

        auto recording = std::make_unique<Recording>();
        recording->id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        recording->paths = WebRecordingPaths::forOutput(url.toLocalFile());
        const WebRecordingPaths paths = recording->paths;
        const platform::AacEncoding encoding = m_options.encoding;
        const QString id = recording->id;
        // Failures found on the work queue come back to the main thread, for this recording only.
        const WebRecordingWriter::Failed failed = [self, id](QString reason) {
            QObject *target = self.data();
            if (!target)
                return;
            QMetaObject::invokeMethod(
                target,
                [self, id, reason] {
                    if (self)
                        self->failRecording(id, reason);
                },
                Qt::QueuedConnection);
        };
        // The decoder thread queues its blocks behind the chunks; the queue outlives every writer.
        SystemVoiceWorkQueue *queue = &m_queue;
        const WebRecordingWriter::Post postJob = [queue](std::function<void()> job) { queue->post(std::move(job)); };
        QCoro::Task<> creating = m_queue.run([&writer, paths, encoding, postJob, failed] {
            writer = WebRecordingWriter::create(paths, encoding, postJob, failed);
        });
        co_await std::move(creating);
        if (!self)
            co_return;
        recording->writer = writer;

        recording->reference = std::make_unique<SystemAudioReference>(m_options.reference);
        m_recording = std::move(recording);
        connectReference(m_recording->reference.get());
        QCoro::Task<bool> listening = m_recording->reference->start();
        const bool hasReference = co_await std::move(listening);
        if (!self)
            co_return;
        if (!hasReference)
            post([](WebRecordingWriter &w) { w.referenceEnded(); });

        // Chunks of this recording are taken from here on, even before the page's answer arrives.
        m_everStarted = true;
        QCoro::Task<QVariant> calling = m_page->call(
            QStringLiteral("startRecording(true, %1)").arg(quoted(m_recording->id)), m_options.startTimeout);
        const QVariant started = co_await std::move(calling);
        if (!self)
            co_return;
        const QVariant startedAt = started.toMap().value(QStringLiteral("startedAt"));
        bool known = false;
        const double epochMs = startedAt.toDouble(&known);
        const qint64 microphoneStart =
            known && std::isfinite(epochMs) ? qint64(epochMs) : QDateTime::currentMSecsSinceEpoch();
        post([microphoneStart](WebRecordingWriter &w) { w.setMicrophoneStart(microphoneStart); });
        m_state = AudioRecordingState::Recording;
        qCInfo(lcWebRecorder).noquote() << "startRecording success:" << describe(started);
        reportFailure();
    } catch (const std::exception &) {
        failure = std::current_exception();
    }
    if (!failure)
        co_return;
    if (!self)
        std::rethrow_exception(failure);
    qCCritical(lcWebRecorder).noquote() << "startRecording error:" << describeFailure(failure);
    std::unique_ptr<Recording> abandoned = std::move(m_recording);
    if (abandoned && abandoned->reference)
        abandoned->reference->stop();
    if (writer) {
        QCoro::Task<> discarding = abandonStart(writer);
        co_await std::move(discarding);
    }
    try {
        std::rethrow_exception(failure);
    } catch (const AudioRecorderError &) {
        throw;
    } catch (const std::exception &error) {
        throw AudioRecorderError(QStringLiteral("failed to start recording"), QString::fromUtf8(error.what()));
    }
}

QCoro::Task<> WebViewAudioRecorder::abandonStart(std::shared_ptr<WebRecordingWriter> writer)
{
    try {
        QCoro::Task<> discarding = m_queue.run([writer] { writer->discard(); });
        co_await std::move(discarding);
    } catch (const std::exception &error) {
        qCWarning(lcWebRecorder).noquote() << "cannot remove the files of a failed start:" << error.what();
    }
}

QCoro::Task<> WebViewAudioRecorder::stop()
{
    QPointer<WebViewAudioRecorder> self(this);
    std::optional<Operation> operation;
    try {
        operation.emplace(this);
        if (m_state == AudioRecordingState::Stopped || !m_recording)
            throw AudioRecorderError(QStringLiteral("recorder already stopped"));
    } catch (const std::exception &) {
        qCCritical(lcWebRecorder).noquote() << "stopRecording error:" << describeFailure(std::current_exception());
        throw;
    }

    // The page's stop answers once it has posted its last chunk; the chunks come before the answer.
    QString pageFailure;
    try {
        QCoro::Task<QVariant> calling = m_page->call(QStringLiteral("stopRecording()"), m_options.callTimeout);
        const QVariant stopped = co_await std::move(calling);
        if (!self)
            co_return;
        qCInfo(lcWebRecorder).noquote() << "stopRecording success:" << describe(stopped);
        bool known = false;
        const qint64 announced = stopped.toMap().value(QStringLiteral("chunks")).toLongLong(&known);
        if (known && announced != m_recording->nextSequence && !m_recording->failed) {
            // The last chunks never came: what did is completed, and the stop says what is missing.
            pageFailure =
                QStringLiteral("the page sent %1 chunks, %2 arrived").arg(announced).arg(m_recording->nextSequence);
            qCCritical(lcWebRecorder).noquote() << "stopRecording error:" << pageFailure;
        }
    } catch (const std::exception &error) {
        if (!self)
            co_return;
        pageFailure = QString::fromUtf8(error.what());
        qCCritical(lcWebRecorder).noquote() << "stopRecording error:" << pageFailure;
    }

    // Whatever happened to the page, what arrived is completed and the recorder is ready again.
    std::unique_ptr<Recording> recording = std::move(m_recording);
    const bool reportedBefore = recording->reported;
    if (recording->reference)
        recording->reference->stop(); // hands over its last blocks, which are queued before what follows
    m_state = AudioRecordingState::Stopped;
    const std::shared_ptr<WebRecordingWriter> writer = recording->writer;
    QString completionFailure;
    try {
        QCoro::Task<> ending = m_queue.run([writer] { writer->endChunks(); });
        co_await std::move(ending);
        double seconds = 0;
        QCoro::Task<> completing = m_queue.run([writer, &seconds] { seconds = writer->complete(); });
        co_await std::move(completing);
        if (self)
            qCInfo(lcWebRecorder).noquote() << "recording complete:" << recording->paths.output << seconds << "s";
    } catch (const std::exception &error) {
        completionFailure = QString::fromUtf8(error.what());
    }
    if (!self)
        co_return;
    if (!completionFailure.isEmpty()) {
        qCCritical(lcWebRecorder).noquote() << "cannot complete the recording:" << completionFailure;
        throw AudioRecorderError(QStringLiteral("recorder failed to stop"), completionFailure);
    }
    // A page that died with the recording was reported then; a stop that failed on its own is news.
    if (!pageFailure.isEmpty() && !reportedBefore)
        throw AudioRecorderError(QStringLiteral("recorder failed to stop"), pageFailure);
}

QCoro::Task<> WebViewAudioRecorder::pause()
{
    return setPaused(true);
}

QCoro::Task<> WebViewAudioRecorder::resume()
{
    return setPaused(false);
}

QCoro::Task<> WebViewAudioRecorder::setPaused(bool paused)
{
    const AudioRecordingState wanted = paused ? AudioRecordingState::Paused : AudioRecordingState::Recording;
    QPointer<WebViewAudioRecorder> self(this);
    std::optional<Operation> operation;
    try {
        operation.emplace(this);
        // Without a recording there is nothing to suspend or continue.
        if (m_state == AudioRecordingState::Stopped)
            co_return;
        if (m_state == wanted)
            throw AudioRecorderError(paused ? QStringLiteral("recorder already paused")
                                            : QStringLiteral("recorder already started"));
        // The page goes first: the state changes only once the page has done it.
        QCoro::Task<QVariant> calling = m_page->call(
            paused ? QStringLiteral("pauseRecording()") : QStringLiteral("resumeRecording()"), m_options.callTimeout);
        co_await std::move(calling);
    } catch (const std::exception &) {
        if (self) {
            qCCritical(lcWebRecorder).noquote() << (paused ? "pauseRecording: error:" : "resumeRecording: error:")
                                                << describeFailure(std::current_exception());
            reportFailure(); // the page may have died with the call
        }
        throw;
    }
    if (!self || !m_recording)
        co_return;
    m_state = wanted;
    reportFailure();
    // Both captures stop and go on together, so the reference stays on the microphone's timeline.
    if (m_recording->reference)
        paused ? m_recording->reference->pause() : m_recording->reference->resume();
    post([paused](WebRecordingWriter &writer) { paused ? writer.pause() : writer.resume(); });
}

void WebViewAudioRecorder::handlePageMessage(const QVariantMap &message)
{
    const pagemessage::Message read = pagemessage::read(message);
    const auto logFailure = [&message](const QString &reason) {
        qCCritical(lcWebRecorder).noquote() << "failed to handle webview message:" << reason.left(500);
        qCCritical(lcWebRecorder).noquote() << "webview message:" << pagemessage::describe(message);
    };
    const QString currentId = m_recording ? m_recording->id : QString();

    if (std::holds_alternative<pagemessage::Ignored>(read) || std::holds_alternative<pagemessage::CallFinished>(read))
        return;
    if (const auto *unreadable = std::get_if<pagemessage::Unreadable>(&read)) {
        logFailure(unreadable->reason);
        // A chunk of the running recording that cannot be read leaves a gap no decoder gets past.
        if (m_recording && unreadable->recordingId == currentId)
            failRecording(currentId, unreadable->reason);
        return;
    }
    if (const auto *failure = std::get_if<pagemessage::Failure>(&read)) {
        logFailure(failure->text);
        if (m_recording && failure->recordingId == currentId)
            failRecording(currentId, QStringLiteral("the page reports: %1").arg(failure->text.left(500)));
        return;
    }

    const auto &chunk = std::get<pagemessage::Chunk>(read);
    if (!m_everStarted) {
        logFailure(QStringLiteral("audioFileUrl is nil"));
        return;
    }
    if (!m_recording || chunk.recordingId != currentId) {
        qCWarning(lcWebRecorder).noquote() << "dropped chunk" << chunk.sequence << "of recording"
                                           << chunk.recordingId.left(64) << "- it is not the current recording";
        return;
    }
    if (m_recording->failed)
        return;
    if (chunk.sequence < m_recording->nextSequence) {
        qCWarning(lcWebRecorder) << "dropped chunk" << chunk.sequence << "- it came already";
        return;
    }
    if (chunk.sequence > m_recording->nextSequence) {
        failRecording(
            currentId,
            QStringLiteral("chunks %1 to %2 are missing").arg(m_recording->nextSequence).arg(chunk.sequence - 1));
        return;
    }
    ++m_recording->nextSequence;
    post([bytes = chunk.bytes](WebRecordingWriter &writer) { writer.appendChunk(bytes); });
}

void WebViewAudioRecorder::failRecording(const QString &recordingId, const QString &reason)
{
    if (!m_recording || m_recording->id != recordingId || m_recording->failed)
        return;
    m_recording->failed = true;
    m_recording->failure = reason;
    qCCritical(lcWebRecorder).noquote() << "the recording failed:" << reason;
    // Nothing more of it is written: a gap would corrupt everything after it. What came is kept.
    post([](WebRecordingWriter &writer) { writer.endChunks(); });
    // An operation under way tells it once it is done (a stop reports it itself, a start that fails too).
    if (!m_busy)
        reportFailure();
}

void WebViewAudioRecorder::reportFailure()
{
    if (!m_recording || !m_recording->failed || m_recording->reported || m_state == AudioRecordingState::Stopped)
        return;
    m_recording->reported = true;
    if (m_delegate)
        m_delegate->recorderDidFail(
            std::make_exception_ptr(AudioRecorderError(QStringLiteral("recording failed"), m_recording->failure)));
}

void WebViewAudioRecorder::handlePageDied(const QString &reason)
{
    if (m_recording)
        failRecording(m_recording->id, reason);
    // While stopped the page is loaded again at the next setup() or start().
}

QCoro::Task<QStringList> WebViewAudioRecorder::recoverInterruptedRecordings(QString folder,
                                                                            platform::AacEncoding encoding)
{
    SystemVoiceWorkQueue queue(QStringLiteral("WebViewAudioRecorder.Recovery"));
    QStringList completed;
    QCoro::Task<> recovering = queue.run([folder, encoding, &completed] {
        const QDir dir(folder);
        const QStringList chunkFiles = dir.entryList({QStringLiteral("*.webm")}, QDir::Files);
        for (const QString &name : chunkFiles) {
            const std::optional<WebRecordingPaths> paths = WebRecordingPaths::forChunks(dir.filePath(name));
            if (!paths)
                continue;
            try {
                completeInterruptedRecording(*paths, encoding);
                completed << paths->output;
            } catch (const std::exception &error) {
                qCCritical(lcWebRecorder).noquote()
                    << "cannot complete the interrupted recording" << paths->chunks << "-" << error.what();
            }
        }
    });
    co_await std::move(recovering);
    co_return completed;
}

} // namespace brelta::recording
