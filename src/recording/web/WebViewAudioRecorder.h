#pragma once

#include "platform/audio/AacFileWriter.h"
#include "recording/recorders/IAudioRecorder.h"
#include "recording/vad/SystemVoiceWorkQueue.h"
#include "recording/web/SystemAudioReference.h"
#include "recording/web/WebRecorderPage.h"

#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <chrono>
#include <memory>

namespace brelta::recording {

class WebRecordingWriter;

struct WebViewAudioRecorderOptions
{
    // How long the hidden page may take to load (the browser engine starts with it).
    std::chrono::milliseconds loadTimeout{30000};
    // How long the page's start may take: the microphone's first audio can take seconds on a fresh server.
    std::chrono::milliseconds startTimeout{20000};
    // How long the page's stop, pause and resume may take.
    std::chrono::milliseconds callTimeout{10000};
    // What the computer plays, for the echo canceller.
    SystemAudioReference::Options reference;
    // The finished file: mono AAC at 32 kbit/s, which the upload's compression leaves alone.
    platform::AacEncoding encoding{16000, 1, 32000};
};

// Records the microphone through a hidden web page (WebRecorderPage): the page captures and encodes it and
// posts the encoded chunks, which are written in order beside the output file. Meanwhile the recorder
// captures what the computer plays and cancels it out of the microphone (EchoCanceller), so the other side
// of a call stays out of the recording whichever app plays it. stop() returns once every chunk the page
// announced is written and the echo-free ".m4a" is in place; it is made while the recording runs, so stop()
// takes about as long as the last second of audio does.
//
// Refusals: a start while recording ("recorder already started") or paused (the paused recording would be
// lost), a stop while stopped ("recorder already stopped"), a pause while paused ("recorder already
// paused"), a resume while recording ("recorder already started"), and any operation while another runs.
// Pause and resume without a recording change nothing. A failed start leaves no file; a failed page call
// leaves the state as it was; a stop that fails midway still completes what arrived and leaves the recorder
// stopped, ready for the next start.
//
// Failures outside the operations reach the delegate once per recording and keep what was written: the page
// reports an error, a chunk is missing, undecodable or cannot be written, the page's renderer dies. One that
// comes while a start, pause or resume runs is told when that operation has returned; stop() reports its own.
// Chunks of another recording than the current one are dropped.
//
// One instance serves every web-view recording of the process. Lives on the main thread.
class WebViewAudioRecorder final : public QObject, public IAudioRecorder
{
    Q_OBJECT

public:
    using Options = WebViewAudioRecorderOptions;

    explicit WebViewAudioRecorder(QObject *parent = nullptr);
    explicit WebViewAudioRecorder(Options options, QObject *parent = nullptr);
    // Dropped while recording: the chunk and reference files stay for recoverInterruptedRecordings().
    ~WebViewAudioRecorder() override;

    // Makes the hidden page and loads it, once. Call it when the application is up (the page starts the
    // browser engine); start() calls it too. Later calls reload the page only while stopped, and only when it
    // is not loaded (its renderer died): a running recording is never cut off.
    void setup();

    AudioRecordingState recordingState() const override { return m_state; }
    AudioRecorderDelegate *delegate() const override { return m_delegate; }
    void setDelegate(AudioRecorderDelegate *delegate) override { m_delegate = delegate; }

    QCoro::Task<> start(QUrl url) override;
    QCoro::Task<> stop() override;
    QCoro::Task<> pause() override;
    QCoro::Task<> resume() override;

    // A message from the page, as its bridge passes it on.
    void handlePageMessage(const QVariantMap &message);

    // The hidden page; nullptr before setup().
    WebRecorderPage *page() const { return m_page; }
    // The id the page tags the running recording's messages with; empty while stopped.
    QString recordingId() const;

    // Completes the recordings a crash left as chunk files in `folder`, each into its ".m4a" beside it with
    // the other side cancelled out, so that the upload queue's recovery finds them. Run it at launch before
    // that recovery. Returns the files made; one that cannot be completed is logged and left as it is.
    static QCoro::Task<QStringList> recoverInterruptedRecordings(QString folder,
                                                                 platform::AacEncoding encoding = {16000, 1, 32000});

private:
    struct Recording;
    class Operation;

    QCoro::Task<> setPaused(bool paused);
    void failRecording(const QString &recordingId, const QString &reason);
    // Tells the delegate, once, that the running recording failed.
    void reportFailure();
    void handlePageDied(const QString &reason);
    void post(std::function<void(WebRecordingWriter &)> job);
    void connectReference(SystemAudioReference *reference);
    QCoro::Task<> abandonStart(std::shared_ptr<WebRecordingWriter> writer);

    Options m_options;
    AudioRecordingState m_state = AudioRecordingState::Stopped;
    AudioRecorderDelegate *m_delegate = nullptr;
    QPointer<WebRecorderPage> m_page;
    bool m_busy = false;
    bool m_everStarted = false;
    std::unique_ptr<Recording> m_recording;
    // Declared last so it is destroyed first: no job outlives what it works on.
    SystemVoiceWorkQueue m_queue{QStringLiteral("WebViewAudioRecorder.FileWriter")};
};

} // namespace brelta::recording
