#pragma once

#include <QProcess>
#include <QString>

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// Audio helpers for tests that play into and record from the private PulseAudio server of scripts/test. They
// use the command-line tools (espeak-ng, sox, paplay, ffmpeg, ffprobe), so what a test checks is read by
// other code than the code under test.
namespace brelta::testsupport {

// Speaks `text` with espeak-ng into a 16-bit mono WAV at `sampleRate` Hz (sox), with seconds of silence
// before and after. Returns an error text, empty on success.
QString makeSpeechFixture(const QString &path, const QString &text, int sampleRate = 44100, double silenceBefore = 0,
                          double silenceAfter = 0);

// A 16-bit mono WAV of `seconds` of silence at `sampleRate` Hz. Returns an error text, empty on success.
QString makeSilenceFixture(const QString &path, double seconds, int sampleRate = 44100);

// Joins WAV files of one format end to end (sox). Returns an error text, empty on success.
QString concatenateFixtures(const QStringList &inputs, const QString &path);

// Plays a sound file into a sink of the test server ("micfeed" is the microphone, "speakers" the other
// side). playIntoSink waits until it has played; startPlayingIntoSink returns the running player.
QString playIntoSink(const QString &path, const QString &sink = QStringLiteral("micfeed"));
std::unique_ptr<QProcess> startPlayingIntoSink(const QString &path, const QString &sink = QStringLiteral("micfeed"));

// Runs pactl against the test server (`pactl load-module module-null-sink sink_name=x` gives the module's
// number, for `unload-module`). Returns its trimmed output; empty when it fails.
QString pactl(const QStringList &arguments);

// Names of the record streams open on the test server, without the server's own microphone remap.
QStringList recordStreamNames();
// The index of the record stream named `streamName`; empty when there is none.
QString sourceOutputIndex(const QString &streamName);
// Ends a record stream from the server's side, as when the server drops it. pactl cannot do that, so this
// speaks the server's command-line protocol, on a socket at `cliSocket` loaded on first use. False when the
// command could not be sent.
bool killSourceOutput(const QString &index, const QString &cliSocket);

// The process id of the sound server we talk to (PULSE_SERVER, else the user's socket), from the peer
// credentials of its socket: works for PulseAudio and for PipeWire's pulse server alike. Empty when no server
// answers there.
std::optional<pid_t> soundServerPid();

// What ffprobe reads from the first audio stream of a file.
struct ProbedAudio
{
    QString container;  // format_name, e.g. "mov,mp4,m4a,3gp,3g2,mj2"
    QString majorBrand; // e.g. "M4A "
    QString codec;      // codec_name, e.g. "aac"
    int sampleRate = 0;
    int channels = 0;
    qint64 bitRate = 0;  // bit_rate of the stream, bits per second
    double duration = 0; // seconds, as the container states it
};
std::optional<ProbedAudio> probeAudio(const QString &path);

// Decodes any audio file to mono samples at `sampleRate` Hz (ffmpeg). Empty optional when it cannot.
std::optional<std::vector<float>> decodeToMonoFloat(const QString &path, int sampleRate);
std::optional<std::vector<std::int16_t>> decodeToMonoInt16(const QString &path, int sampleRate);

// Root mean square of samples in [-1, 1]; 0 for none.
double rms(std::span<const float> samples);
// RMS of consecutive windows of `window` samples (a last partial window included).
std::vector<double> rmsPerWindow(std::span<const float> samples, std::size_t window);

} // namespace brelta::testsupport
