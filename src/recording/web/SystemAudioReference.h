#pragma once

#include "platform/audio/PcmBuffer.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

namespace brelta::platform {
class AudioCapture;
}

namespace brelta::recording {

// Captures what the computer plays, the far end an echo canceller needs as its reference: the monitor of the
// sound server's default output, following the user to another output mid-call. Nothing of the user's sound
// setup changes: no module is loaded, no stream is moved.
//
// When there is no output to listen to, or the capture cannot be reopened after it died, the reference ends
// (referenceEnded()): nothing can be playing there, so the recording goes on without it.
//
// Lives on the main thread.
class SystemAudioReference final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // The server: empty = the usual one.
        QString serverAddress;
        platform::PcmFormat format{platform::SampleType::Float32, 16000, 1};
        // Short blocks: the arrival time of a capture's first block places it on the recording's timeline.
        int blockMilliseconds = 50;
        std::chrono::milliseconds startTimeout{5000};
    };

    explicit SystemAudioReference(Options options, QObject *parent = nullptr);
    ~SystemAudioReference() override;

    // Opens the capture. Returns false, once having logged why, when there is nothing to capture.
    QCoro::Task<bool> start();
    // Stops delivering while the recording is paused; the stream stays open.
    void pause();
    void resume();
    // Closes the capture; blocks still on their way are delivered first. A capture still opening (after a
    // switch of output) is abandoned. No signal follows.
    void stop();

    bool isCapturing() const { return m_capture != nullptr; }
    // The source listened to; empty when none.
    QString sourceName() const;

Q_SIGNALS:
    // A block of what played, and when it arrived here (milliseconds since the epoch).
    void blockReady(const brelta::platform::PcmBuffer &block, qint64 arrivedAtMs);
    // Another capture took over (the default output changed, or the old one died); its first block comes next.
    void captureRestarted();
    // No reference follows any more.
    void referenceEnded(const QString &reason);

private:
    QCoro::Task<std::unique_ptr<platform::AudioCapture>> open();
    void attach(platform::AudioCapture *capture);
    QCoro::Task<> replace(QString why);
    void end(const QString &reason);
    void stopCaptures();

    Options m_options;
    std::unique_ptr<platform::AudioCapture> m_capture;
    std::unique_ptr<platform::AudioCapture> m_opening; // a capture whose start() is under way
    bool m_running = false;
    bool m_paused = false;
    bool m_replacing = false;
};

} // namespace brelta::recording
