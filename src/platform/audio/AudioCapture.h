#pragma once

#include "platform/audio/PcmBuffer.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <stdexcept>

namespace brelta::platform {

// A capture that could not start: no sound server, no such source, a refused stream, a timeout. what() is a
// sentence fit for a log or an error report.
class AudioCaptureError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct AudioCaptureOptions
{
    // The source to record: empty = the server's default source (the microphone); "<sink name>.monitor" records
    // what that sink plays (the system audio).
    QString sourceName;
    // The sound server: empty = the usual one (PULSE_SERVER, else the user's socket).
    QString serverAddress;
    // The format blocks arrive in; the server converts whatever the source delivers.
    PcmFormat format{SampleType::Int16, 44100, 1};
    // Length of each block in milliseconds: every block holds exactly format.framesFor(blockMilliseconds)
    // frames, except the last one handed out by stop().
    int blockMilliseconds = 300;
    // Stay on this source: if it disappears the stream dies (failed()) instead of moving to another source.
    bool dontMove = false;
    // Open the stream corked: no audio until resume().
    bool startPaused = false;
    // Announce changes of the server's default sink with defaultSinkChanged().
    bool watchDefaultSink = false;
    // Announce changes of the server's default source (the user picked another microphone) with
    // defaultSourceChanged().
    bool watchDefaultSource = false;
    // Shown in the desktop's sound settings.
    QString streamName = QStringLiteral("Recording");
    // How long start() waits for the server to answer.
    std::chrono::milliseconds timeout{5000};
};

struct AudioServerInfo
{
    QString defaultSinkName;
    QString defaultSourceName;
    // The default source is the monitor of a sink (what an output plays), not an input device.
    bool defaultSourceIsMonitor = false;
    QString serverName; // "pulseaudio", "PulseAudio (on PipeWire …)"
};

// A record stream on a PulseAudio (or PipeWire-pulse) server, cut into blocks of exact length.
//
// Runs the libpulse threaded main loop on a thread of its own; blocks and failures reach this object's thread
// as queued signals, in order. Move the object to a worker thread to receive them there. Call its operations
// from the object's thread.
class AudioCapture : public QObject
{
    Q_OBJECT

public:
    explicit AudioCapture(QObject *parent = nullptr);
    ~AudioCapture() override;

    // Connects to the server and opens the record stream. Returns once the stream is ready; audio then flows
    // (unless startPaused). Throws AudioCaptureError with a clear reason; a failed start leaves nothing open.
    // Starting a running (or starting) capture throws too, and so does a start that stop() or the capture's
    // destruction cut short.
    QCoro::Task<> start(AudioCaptureOptions options);

    // Corks the stream: the source keeps running but this stream receives nothing, so the paused span is not
    // in the recording. A partial block waits and continues after resume(). Both return false when the
    // stream is gone (it died, or the capture is not running) and the request could not be made.
    bool pause();
    bool resume();

    // Closes the stream. Every block still queued for this object is delivered first, then the frames of the
    // unfinished block (if any) as a last, shorter block, then stopped(). Safe to call at any time; during a
    // start() it abandons the start.
    void stop();

    bool isRunning() const;
    bool isPaused() const;
    const AudioCaptureOptions &options() const;
    // The source the stream records from (resolves an empty source name to the default source).
    QString recordingSourceName() const;

    // Asks a server for its default sink and source (and whether that source is a monitor). Throws AudioCaptureError when no server answers.
    static QCoro::Task<AudioServerInfo> queryServer(QString serverAddress = {},
                                                    std::chrono::milliseconds timeout = std::chrono::seconds(5));

Q_SIGNALS:
    // `block` is in options().format, non-interleaved, `frameLength()` frames.
    void blockReady(const brelta::platform::PcmBuffer &block);
    // The first audio of this start has arrived (a fresh server can take seconds before it sends any, and
    // what the source heard until then is not delivered). Emitted once per start, while not paused.
    void audioArrived();
    // The stream or the connection to the server died while running (source removed, server gone). The capture
    // is no longer running; call stop() or start() again.
    void failed(const QString &message);
    // stop() closed the stream; nothing follows. Lets whoever waits for audio stop waiting.
    void stopped();
    // With watchDefaultSink: the server's default sink is now `sinkName`.
    void defaultSinkChanged(const QString &sinkName);
    // With watchDefaultSource: the server's default source is now `sourceName`.
    void defaultSourceChanged(const QString &sourceName);

private:
    bool setCorked(bool corked);
    void cancelStart();

    struct Connection;
    std::shared_ptr<Connection> m_connection;
    std::weak_ptr<Connection> m_starting; // owned by a start() under way
    AudioCaptureOptions m_options;
    bool m_running = false;
    bool m_paused = false;
};

} // namespace brelta::platform
