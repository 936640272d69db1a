#pragma once

#include "platform/audio/AacFileWriter.h"
#include "platform/audio/PcmBuffer.h"
#include "recording/web/ReferenceTimeline.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace brelta::recording {

class ChunkStreamDecoder;
class EchoFreeEncoder;

// Where one web-view recording keeps its parts beside the session's output file "<name>.m4a":
// "<name>.webm" the page's audio as it arrives (kept until the result checks out, so a crash loses nothing),
// "<name>.reference.wav" what the computer played on the same timeline, and ".<name>.partial.m4a" the
// echo-free AAC file being written.
struct WebRecordingPaths
{
    QString output;
    QString chunks;
    QString reference;
    QString encoding;

    static WebRecordingPaths forOutput(const QString &output);
    // The parts of the recording whose chunk file is `chunks` (which must end in ".webm").
    static std::optional<WebRecordingPaths> forChunks(const QString &chunks);
};

// Completes the file `encoder` writes at paths.encoding, checks it, moves it to paths.output and deletes the
// chunk and reference files. Returns its seconds. Throws platform::AudioFileError; the encoding is then
// deleted and the chunk file stays when it holds anything.
double completeRecording(EchoFreeEncoder &encoder, const WebRecordingPaths &paths);

// Completes a recording that a crash interrupted, from its chunk file and (when there is one) its reference,
// as completeRecording() does. Throws platform::AudioFileError.
double completeInterruptedRecording(const WebRecordingPaths &paths, const platform::AacEncoding &encoding);

// Everything one web-view recording writes, off the main thread. Every member function runs on the
// recorder's work queue, one at a time, in the order the recorder posted them.
//
// Chunks are appended to the chunk file and, through a pipe, decoded as they come (ChunkStreamDecoder); the
// decoded microphone and the reference meet in an EchoFreeEncoder, so that completing the recording only
// finishes what the last second left. A failure (a chunk that cannot be written, audio that cannot be
// decoded) is told once through `failed`; what was written until then stays and is completed as usual.
class WebRecordingWriter : public std::enable_shared_from_this<WebRecordingWriter>
{
public:
    // Queues a job behind the ones already queued on the recorder's work queue.
    using Post = std::function<void(std::function<void()>)>;
    // Told once, on the work queue, why the recording cannot go on.
    using Failed = std::function<void(QString reason)>;

    // Creates the chunk, reference and encoding files. Throws platform::AudioFileError; nothing is left behind.
    static std::shared_ptr<WebRecordingWriter> create(const WebRecordingPaths &paths,
                                                      const platform::AacEncoding &encoding, Post post, Failed failed);
    ~WebRecordingWriter();

    void appendChunk(const QByteArray &bytes);
    // The page's microphone started at `epochMs`: the reference is placed from there.
    void setMicrophoneStart(qint64 epochMs);
    void appendReference(const platform::PcmBuffer &block, qint64 arrivedAtMs);
    void referenceRestarted();
    void referenceEnded();
    void pause();
    void resume();

    // No chunk follows: waits until everything sent to the decoder is decoded (its last blocks are then
    // queued behind this job).
    void endChunks();
    // After endChunks() and the jobs it queued: completes the AAC file, checks it, moves it to the output
    // path and deletes the chunk and reference files. Returns the recording's seconds. Throws
    // platform::AudioFileError, leaving the chunk file in place when it holds anything.
    double complete();
    // Deletes every file: for a start that failed.
    void discard();

    const WebRecordingPaths &paths() const { return m_paths; }
    bool hasFailed() const { return m_failed; }

private:
    class ReferenceFile;

    WebRecordingWriter(const WebRecordingPaths &paths, Post post, Failed failed);
    void microphoneDecoded(const platform::PcmBuffer &block);
    void microphoneEnded(const QString &failure);
    void applyReference(const std::vector<ReferenceTimeline::Piece> &pieces);
    void fail(const QString &reason);

    WebRecordingPaths m_paths;
    Post m_post;
    Failed m_failedCallback;
    QFile m_chunks;
    qint64 m_chunkBytes = 0;
    std::unique_ptr<ReferenceFile> m_reference;
    std::unique_ptr<EchoFreeEncoder> m_encoder;
    std::unique_ptr<ChunkStreamDecoder> m_decoder;
    ReferenceTimeline m_timeline;
    bool m_referenceEnded = false;
    bool m_failed = false;
    bool m_chunksEnded = false;
};

} // namespace brelta::recording
