#include "platform/audio/AudioCapture.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPointer>

#include <pulse/pulseaudio.h>

#include <cstring>
#include <vector>

Q_LOGGING_CATEGORY(lcCapture, "brelta.platform.AudioCapture")

namespace brelta::platform {
namespace {

struct MainloopDeleter
{
    void operator()(pa_threaded_mainloop *loop) const
    {
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }
};

struct ContextDeleter
{
    void operator()(pa_context *context) const
    {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

struct StreamDeleter
{
    void operator()(pa_stream *stream) const
    {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
};

struct OperationDeleter
{
    void operator()(pa_operation *operation) const { pa_operation_unref(operation); }
};
using Operation = std::unique_ptr<pa_operation, OperationDeleter>;

pa_sample_format_t pulseFormat(SampleType type)
{
    switch (type) {
    case SampleType::Float32:
        return PA_SAMPLE_FLOAT32NE;
    case SampleType::Int16:
        return PA_SAMPLE_S16NE;
    case SampleType::Int32:
        return PA_SAMPLE_S32NE;
    }
    return PA_SAMPLE_INVALID;
}

// Hands one-off answers of the sound-server thread to a coroutine waiting on the owner's thread.
class SetupSignal : public QObject
{
    Q_OBJECT
public:
    // Thread-safe: queues the answer to this object's thread.
    void post(const QString &error)
    {
        QMetaObject::invokeMethod(
            this, [this, error] { Q_EMIT settled(error); }, Qt::QueuedConnection);
    }
Q_SIGNALS:
    void settled(const QString &error);
};

QString serverLabel(const QString &address)
{
    return address.isEmpty() ? QStringLiteral("the default PulseAudio server")
                             : QStringLiteral("the PulseAudio server at \"%1\"").arg(address);
}

} // namespace

// Everything the sound-server thread touches. Fields below `mainloop` are guarded by the main-loop lock.
struct AudioCapture::Connection
{
    enum class Phase { Connecting, OpeningStream, Running, Closing };

    std::unique_ptr<pa_threaded_mainloop, MainloopDeleter> mainloop;
    std::unique_ptr<pa_context, ContextDeleter> context;
    std::unique_ptr<pa_stream, StreamDeleter> stream;

    AudioCapture *owner = nullptr; // receives blocks and failures (queued)
    SetupSignal setup;             // lives on the owner's thread
    Phase phase = Phase::Connecting;
    PcmFormat format;
    std::size_t blockBytes = 0;
    std::vector<std::byte> pending; // interleaved bytes of the unfinished block
    QString sourceName;
    bool watchDefaultSink = false;
    bool watchDefaultSource = false;
    bool announcedAudio = false;
    AudioServerInfo serverInfo;
    bool startCancelled = false; // set and read on the owner's thread only

    ~Connection()
    {
        if (mainloop) {
            pa_threaded_mainloop_lock(mainloop.get());
            phase = Phase::Closing;
            stream.reset();
            context.reset();
            pa_threaded_mainloop_unlock(mainloop.get());
        }
        mainloop.reset();
    }

    // Called on the sound-server thread.
    void postFailure(const QString &message)
    {
        if (!owner)
            return;
        AudioCapture *target = owner;
        QMetaObject::invokeMethod(
            target,
            [target, message] {
                if (!target->m_running)
                    return;
                target->m_running = false;
                qCWarning(lcCapture).noquote() << "capture failed:" << message;
                Q_EMIT target->failed(message);
            },
            Qt::QueuedConnection);
    }

    void postBlock(PcmBuffer block)
    {
        AudioCapture *target = owner;
        QMetaObject::invokeMethod(
            target, [target, block = std::move(block)] { Q_EMIT target->blockReady(block); }, Qt::QueuedConnection);
    }

    QString contextError() const { return QString::fromUtf8(pa_strerror(pa_context_errno(context.get()))); }

    static void onContextState(pa_context *context, void *userdata)
    {
        auto *self = static_cast<Connection *>(userdata);
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY && self->phase == Phase::Connecting) {
            self->setup.post({});
        } else if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
            const QString reason = self->contextError();
            if (self->phase == Phase::Running)
                self->postFailure(QStringLiteral("lost the connection to the sound server: %1").arg(reason));
            else if (self->phase != Phase::Closing)
                self->setup.post(reason);
        }
    }

    static void onServerInfo(pa_context *context, const pa_server_info *info, void *userdata)
    {
        auto *self = static_cast<Connection *>(userdata);
        if (!info)
            return;
        self->noteDefault(self->serverInfo.defaultSinkName, info->default_sink_name, self->watchDefaultSink,
                          &AudioCapture::defaultSinkChanged);
        self->noteDefault(self->serverInfo.defaultSourceName, info->default_source_name, self->watchDefaultSource,
                          &AudioCapture::defaultSourceChanged);
        self->serverInfo.serverName = QString::fromUtf8(info->server_name ? info->server_name : "");
        if (self->phase != Phase::Connecting)
            return;
        // The setup's answer waits for what kind of source the default one is.
        self->serverInfo.defaultSourceIsMonitor = false;
        const QByteArray source = self->serverInfo.defaultSourceName.toUtf8();
        if (source.isEmpty()
            || !Operation(pa_context_get_source_info_by_name(context, source.constData(),
                                                             &Connection::onDefaultSourceInfo, userdata)))
            self->setup.post({});
    }

    static void onDefaultSourceInfo(pa_context *, const pa_source_info *info, int endOfList, void *userdata)
    {
        auto *self = static_cast<Connection *>(userdata);
        if (endOfList == 0 && info) {
            self->serverInfo.defaultSourceIsMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
            return;
        }
        // The end of the answer, or no answer: a source gone in between counts as no monitor.
        if (self->phase == Phase::Connecting)
            self->setup.post({});
    }

    // Keeps the server's default sink or source name in `known`; a change while running is announced with
    // `changed` when the owner watches it.
    void noteDefault(QString &known, const char *reported, bool watched, void (AudioCapture::*changed)(const QString &))
    {
        const QString name = QString::fromUtf8(reported ? reported : "");
        if (name == known)
            return;
        known = name;
        if (!watched || phase != Phase::Running || !owner)
            return;
        AudioCapture *target = owner;
        QMetaObject::invokeMethod(
            target,
            [target, changed, name] {
                Q_EMIT(target->*changed)
                (name);
            },
            Qt::QueuedConnection);
    }

    static void onServerEvent(pa_context *context, pa_subscription_event_type_t type, uint32_t, void *userdata)
    {
        // While starting, the answer to start()'s own query is the one awaited; changes count once running.
        if (static_cast<Connection *>(userdata)->phase != Phase::Running)
            return;
        if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER)
            Operation(pa_context_get_server_info(context, &Connection::onServerInfo, userdata));
    }

    static void onStreamState(pa_stream *stream, void *userdata)
    {
        auto *self = static_cast<Connection *>(userdata);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY && self->phase == Phase::OpeningStream) {
            if (const char *device = pa_stream_get_device_name(stream))
                self->sourceName = QString::fromUtf8(device);
            self->setup.post({});
        } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            const int error = pa_context_errno(pa_stream_get_context(stream));
            if (self->phase == Phase::Running) {
                self->postFailure(QStringLiteral("the record stream on \"%1\" ended: %2")
                                      .arg(self->sourceName, QString::fromUtf8(pa_strerror(error))));
            } else if (self->phase == Phase::OpeningStream) {
                if (error == PA_ERR_NOENTITY) {
                    self->setup.post(self->sourceName.isEmpty()
                                         ? QStringLiteral("the sound server has no audio source to record from")
                                         : QStringLiteral("no audio source named \"%1\"").arg(self->sourceName));
                } else {
                    self->setup.post(QStringLiteral("the sound server refused the record stream: %1")
                                         .arg(QString::fromUtf8(pa_strerror(error))));
                }
            }
        }
    }

    static void onRead(pa_stream *stream, size_t, void *userdata)
    {
        auto *self = static_cast<Connection *>(userdata);
        while (pa_stream_readable_size(stream) > 0) {
            const void *data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(stream, &data, &bytes) < 0) {
                self->postFailure(QStringLiteral("cannot read the record stream: %1").arg(self->contextError()));
                return;
            }
            if (bytes == 0)
                break;
            const std::size_t at = self->pending.size();
            self->pending.resize(at + bytes);
            if (data)
                std::memcpy(self->pending.data() + at, data, bytes);
            else // a hole in the stream: keep time with silence
                std::memset(self->pending.data() + at, 0, bytes);
            pa_stream_drop(stream);
        }
        if (!self->owner)
            return; // still starting: blocks wait until there is someone to hand them to
        if (!self->announcedAudio && !self->pending.empty()) {
            self->announcedAudio = true;
            AudioCapture *target = self->owner;
            QMetaObject::invokeMethod(
                target, [target] { Q_EMIT target->audioArrived(); }, Qt::QueuedConnection);
        }
        std::size_t used = 0;
        while (self->pending.size() - used >= self->blockBytes) {
            self->postBlock(
                PcmBuffer::fromInterleaved(self->format, std::span(self->pending).subspan(used, self->blockBytes)));
            used += self->blockBytes;
        }
        self->pending.erase(self->pending.begin(), self->pending.begin() + std::ptrdiff_t(used));
    }

    // Makes the main loop and context and starts connecting. Returns an error text, empty on success.
    QString beginConnect(const QString &serverAddress, const QString &clientName)
    {
        mainloop.reset(pa_threaded_mainloop_new());
        if (!mainloop)
            return QStringLiteral("cannot create the sound-server main loop");
        context.reset(pa_context_new(pa_threaded_mainloop_get_api(mainloop.get()), clientName.toUtf8().constData()));
        if (!context)
            return QStringLiteral("cannot create a sound-server context");
        pa_context_set_state_callback(context.get(), &Connection::onContextState, this);
        const QByteArray server = serverAddress.toUtf8();
        if (pa_context_connect(context.get(), server.isEmpty() ? nullptr : server.constData(), PA_CONTEXT_NOAUTOSPAWN,
                               nullptr)
            < 0)
            return contextError();
        if (pa_threaded_mainloop_start(mainloop.get()) < 0)
            return QStringLiteral("cannot start the sound-server thread");
        return {};
    }

    class Lock
    {
    public:
        explicit Lock(pa_threaded_mainloop *loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
        ~Lock() { pa_threaded_mainloop_unlock(m_loop); }
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        pa_threaded_mainloop *m_loop;
    };
};

namespace {

// Waits for the sound-server thread's next answer; throws AudioCaptureError on an error or a timeout.
// Awaited tasks are built in statements of their own (CODING.md, "Coroutines").
QCoro::Task<> awaitSetup(SetupSignal *signal, std::chrono::milliseconds timeout, QString what)
{
    auto settled = qCoro(signal, &SetupSignal::settled, timeout);
    const std::optional<QString> answer = co_await std::move(settled);
    if (!answer)
        throw AudioCaptureError(QStringLiteral("%1: the sound server did not answer within %2 ms")
                                    .arg(what)
                                    .arg(timeout.count())
                                    .toStdString());
    if (!answer->isEmpty())
        throw AudioCaptureError(QStringLiteral("%1: %2").arg(what, *answer).toStdString());
}

} // namespace

AudioCapture::AudioCapture(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<PcmBuffer>();
}

AudioCapture::~AudioCapture()
{
    cancelStart();
    m_connection.reset();
}

QCoro::Task<> AudioCapture::start(AudioCaptureOptions options)
{
    if (m_running)
        throw AudioCaptureError("the capture is already running");
    if (!m_starting.expired())
        throw AudioCaptureError("the capture is already starting");
    stop(); // what is left of a stream that died
    if (pulseFormat(options.format.sampleType) == PA_SAMPLE_INVALID || options.format.sampleRate <= 0
        || options.format.channels <= 0 || options.format.channels > int(PA_CHANNELS_MAX)
        || options.blockMilliseconds <= 0)
        throw AudioCaptureError("invalid capture format");

    auto connection = std::make_shared<Connection>();
    connection->format = options.format;
    connection->blockBytes =
        std::size_t(options.format.framesFor(options.blockMilliseconds)) * std::size_t(options.format.bytesPerFrame());
    connection->sourceName = options.sourceName;
    connection->watchDefaultSink = options.watchDefaultSink;
    connection->watchDefaultSource = options.watchDefaultSource;
    if (connection->blockBytes == 0)
        throw AudioCaptureError("invalid capture block length");

    const QString server = serverLabel(options.serverAddress);
    if (const QString error = connection->beginConnect(options.serverAddress, options.streamName); !error.isEmpty())
        throw AudioCaptureError(QStringLiteral("cannot reach %1: %2").arg(server, error).toStdString());
    // From here on the frame owns the connection; `this` is touched only after checking it still wants it.
    m_starting = connection;
    QPointer<AudioCapture> self(this);
    const auto throwIfAbandoned = [&self, &connection] {
        if (!self || connection->startCancelled)
            throw AudioCaptureError("the capture was stopped while it started");
    };
    QCoro::Task<> connected =
        awaitSetup(&connection->setup, options.timeout, QStringLiteral("cannot reach %1").arg(server));
    co_await std::move(connected);
    throwIfAbandoned();

    if (options.watchDefaultSink || options.watchDefaultSource) {
        {
            Connection::Lock lock(connection->mainloop.get());
            pa_context_set_subscribe_callback(connection->context.get(), &Connection::onServerEvent, connection.get());
            Operation(pa_context_subscribe(connection->context.get(), PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr));
            Operation(
                pa_context_get_server_info(connection->context.get(), &Connection::onServerInfo, connection.get()));
        }
        QCoro::Task<> queried =
            awaitSetup(&connection->setup, options.timeout, QStringLiteral("cannot query %1").arg(server));
        co_await std::move(queried);
        throwIfAbandoned();
    }

    {
        Connection::Lock lock(connection->mainloop.get());
        connection->phase = Connection::Phase::OpeningStream;
        const pa_sample_spec spec{pulseFormat(options.format.sampleType), uint32_t(options.format.sampleRate),
                                  uint8_t(options.format.channels)};
        pa_channel_map map;
        pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);
        connection->stream.reset(
            pa_stream_new(connection->context.get(), options.streamName.toUtf8().constData(), &spec, &map));
        if (!connection->stream)
            throw AudioCaptureError(
                QStringLiteral("cannot create a record stream: %1").arg(connection->contextError()).toStdString());
        pa_stream_set_state_callback(connection->stream.get(), &Connection::onStreamState, connection.get());
        pa_stream_set_read_callback(connection->stream.get(), &Connection::onRead, connection.get());

        // Fragments of 50 ms (or the block, if shorter) keep the server's latency, and so the audio lost at a
        // stop, small without waking up more than 20 times a second.
        pa_buffer_attr attributes;
        std::memset(&attributes, 0xff, sizeof attributes);
        attributes.fragsize =
            uint32_t(std::min<std::size_t>(connection->blockBytes, pa_usec_to_bytes(50 * PA_USEC_PER_MSEC, &spec)));
        int flags = PA_STREAM_ADJUST_LATENCY;
        if (options.dontMove)
            flags |= PA_STREAM_DONT_MOVE;
        if (options.startPaused)
            flags |= PA_STREAM_START_CORKED;
        const QByteArray source = options.sourceName.toUtf8();
        if (pa_stream_connect_record(connection->stream.get(), source.isEmpty() ? nullptr : source.constData(),
                                     &attributes, pa_stream_flags_t(flags))
            < 0)
            throw AudioCaptureError(
                QStringLiteral("cannot open a record stream: %1").arg(connection->contextError()).toStdString());
    }
    QCoro::Task<> opened = awaitSetup(&connection->setup, options.timeout, QStringLiteral("cannot record"));
    co_await std::move(opened);
    throwIfAbandoned();

    m_starting.reset();
    {
        Connection::Lock lock(connection->mainloop.get());
        connection->owner = this;
        connection->phase = Connection::Phase::Running;
    }
    m_options = options;
    m_connection = std::move(connection);
    m_running = true;
    m_paused = options.startPaused;
    qCInfo(lcCapture).noquote() << "recording from" << recordingSourceName() << "in blocks of"
                                << options.blockMilliseconds << "ms";
}

bool AudioCapture::pause()
{
    return setCorked(true);
}

bool AudioCapture::resume()
{
    return setCorked(false);
}

bool AudioCapture::setCorked(bool corked)
{
    if (!m_connection || !m_running)
        return false;
    if (m_paused == corked)
        return true;
    Connection::Lock lock(m_connection->mainloop.get());
    if (!m_connection->stream || pa_stream_get_state(m_connection->stream.get()) != PA_STREAM_READY)
        return false;
    if (!Operation(pa_stream_cork(m_connection->stream.get(), corked ? 1 : 0, nullptr, nullptr)))
        return false;
    m_paused = corked;
    return true;
}

void AudioCapture::cancelStart()
{
    const std::shared_ptr<Connection> starting = m_starting.lock();
    if (!starting)
        return;
    m_starting.reset();
    starting->startCancelled = true;
    // Wakes the start() that waits for the server's next answer, so it lets the connection go at once.
    starting->setup.post(QStringLiteral("the capture was stopped while it started"));
}

void AudioCapture::stop()
{
    cancelStart();
    if (!m_connection)
        return;
    std::vector<std::byte> remainder;
    {
        Connection::Lock lock(m_connection->mainloop.get());
        m_connection->phase = Connection::Phase::Closing;
        m_connection->stream.reset();
        remainder.swap(m_connection->pending);
    }
    m_connection.reset();
    m_running = false;
    m_paused = false;
    // Blocks the sound-server thread queued before the stream closed come first, then the unfinished block.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    const PcmBuffer last = PcmBuffer::fromInterleaved(m_options.format, remainder);
    if (!last.isEmpty())
        Q_EMIT blockReady(last);
    Q_EMIT stopped();
}

bool AudioCapture::isRunning() const
{
    return m_running;
}

bool AudioCapture::isPaused() const
{
    return m_paused;
}

const AudioCaptureOptions &AudioCapture::options() const
{
    return m_options;
}

QString AudioCapture::recordingSourceName() const
{
    if (!m_connection)
        return m_options.sourceName;
    Connection::Lock lock(m_connection->mainloop.get());
    return m_connection->sourceName;
}

QCoro::Task<AudioServerInfo> AudioCapture::queryServer(QString serverAddress, std::chrono::milliseconds timeout)
{
    auto connection = std::make_shared<Connection>();
    const QString server = serverLabel(serverAddress);
    if (const QString error = connection->beginConnect(serverAddress, QStringLiteral("Brelta")); !error.isEmpty())
        throw AudioCaptureError(QStringLiteral("cannot reach %1: %2").arg(server, error).toStdString());
    QCoro::Task<> connected = awaitSetup(&connection->setup, timeout, QStringLiteral("cannot reach %1").arg(server));
    co_await std::move(connected);
    {
        Connection::Lock lock(connection->mainloop.get());
        Operation(pa_context_get_server_info(connection->context.get(), &Connection::onServerInfo, connection.get()));
    }
    QCoro::Task<> queried = awaitSetup(&connection->setup, timeout, QStringLiteral("cannot query %1").arg(server));
    co_await std::move(queried);
    AudioServerInfo info;
    {
        Connection::Lock lock(connection->mainloop.get());
        info = connection->serverInfo;
    }
    co_return info;
}

} // namespace brelta::platform

#include "AudioCapture.moc"
