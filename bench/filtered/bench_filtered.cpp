// The filtered recording (microphone + system-audio capture + voice detection + encoder) while a call plays:
// CPU share of one core over a minute, ours beside the sound server's (and the conversions the server does for
// our two streams), the time from the other side's speech onset to the muting flag, and what of the other
// side reaches the written file.
// Needs a PulseAudio server with the test sinks; with the test services:
//   BRELTA_SERVICES_DIR=$(mktemp -d) dbus-run-session -- scripts/services/start build/<dir>/bench/filtered/bench_filtered [seconds]
// Prints figures beside their reference; never fails on speed.
#include "../common/CpuTime.h"
#include "../common/SoundServer.h"
#include "recording/recorders/SystemVoiceFilteredAudioRecorder.h"
#include "recording/vad/SystemVoiceActivityDetector.h"
#include "recording/vad/VadProvider.h"
#include "testsupport/AudioFixtures.h"

#include <QCoreApplication>
#include <QCoroProcess>
#include <QCoroTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

using namespace brelta::recording;
using namespace brelta::testsupport;

using brelta::bench::cpuSeconds;

namespace {

constexpr int kFileRate = 16000;
// A 10 ms window of the written file louder than this (-40 dBFS) counts as audio that reached the file.
constexpr double kAudible = 0.01;

// Seconds from the start of a fixture to its first sample above -30 dBFS.
double speechOnset(const std::vector<float> &samples)
{
    const auto first = std::find_if(samples.begin(), samples.end(), [](float s) { return std::abs(s) > 0.03f; });
    return double(first - samples.begin()) / kFileRate;
}

QCoro::Task<> sleepFor(int milliseconds)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(milliseconds);
    QCoro::Task<> waited = qCoro(timer).waitForTimeout();
    co_await std::move(waited);
}

struct Fixtures
{
    QString other; // the other side's turn
    QString user;  // the user's turn
    std::vector<float> otherSamples;
    double otherOnset = 0;
};

// Waits for a player without polling, so the waiting adds nothing to the CPU figure.
QCoro::Task<> finished(QProcess *player)
{
    if (player->state() == QProcess::NotRunning)
        co_return;
    QCoro::Task<bool> done = qCoro(player).waitForFinished(60000);
    co_await std::move(done);
}

struct Turns
{
    // Seconds from `clock`'s start to the start of each of the other side's turns.
    std::vector<double> otherStarts;
    // Milliseconds from each speech onset of the other side to the muting flag (when watched).
    std::vector<double> latencies;
};

// The other side speaks into the speakers (and, as in a room, into the microphone too); then the user speaks.
// With `watch`, looks every 5 ms for the recorder's muting flag and keeps the time from each of the other
// side's speech onsets to it.
QCoro::Task<> playTurns(SystemVoiceFilteredAudioRecorder *watch, Fixtures fixtures, int seconds,
                        const QElapsedTimer *clock, Turns *turns)
{
    QElapsedTimer total;
    total.start();
    while (total.elapsed() < qint64(seconds) * 1000) {
        QElapsedTimer turn;
        auto speakers = startPlayingIntoSink(fixtures.other, QStringLiteral("speakers"));
        auto leak = startPlayingIntoSink(fixtures.other, QStringLiteral("micfeed"));
        turn.start();
        if (turns && clock)
            turns->otherStarts.push_back(double(clock->elapsed()) / 1000);
        bool muted = false;
        while (watch && !muted && speakers->state() != QProcess::NotRunning) {
            if (watch->hasVoiceActivity()) {
                muted = true;
                turns->latencies.push_back(double(turn.elapsed()) - 1000 * fixtures.otherOnset);
            }
            QCoro::Task<> slept = sleepFor(5);
            co_await std::move(slept);
        }
        QCoro::Task<> spoken = finished(speakers.get());
        co_await std::move(spoken);
        QCoro::Task<> leaked = finished(leak.get());
        co_await std::move(leaked);
        QCoro::Task<> settled = sleepFor(800);
        co_await std::move(settled);
        auto user = startPlayingIntoSink(fixtures.user, QStringLiteral("micfeed"));
        QCoro::Task<> answered = finished(user.get());
        co_await std::move(answered);
        QCoro::Task<> pause = sleepFor(800);
        co_await std::move(pause);
    }
}

struct Span
{
    double ours = 0, server = 0, wall = 0;
    double oursShare() const { return 100 * ours / wall; }
    double serverShare() const { return 100 * server / wall; }
};

QCoro::Task<Span> measureTurns(Fixtures fixtures, int seconds, pid_t server, const QElapsedTimer *clock, Turns *turns)
{
    Span span;
    const double oursBefore = cpuSeconds();
    const double serverBefore = brelta::bench::processCpuSeconds(server).value_or(0);
    QElapsedTimer wall;
    wall.start();
    QCoro::Task<> played = playTurns(nullptr, fixtures, seconds, clock, turns);
    co_await std::move(played);
    span.wall = double(wall.elapsed()) / 1000;
    span.ours = cpuSeconds() - oursBefore;
    span.server = brelta::bench::processCpuSeconds(server).value_or(0) - serverBefore;
    co_return span;
}

// What of the other side's turns reached the written file: per turn, the milliseconds of its speech span
// that are audible in the file, and the energy of the whole span beside the energy of the turn as played.
void reportWhatReachedTheFile(const QString &path, const Fixtures &fixtures, const std::vector<double> &otherStarts)
{
    const auto written = decodeToMonoFloat(path, kFileRate);
    if (!written) {
        std::printf("what reached the file:          the file cannot be decoded\n");
        return;
    }
    const double speechEnd = double(fixtures.otherSamples.size()) / kFileRate;
    double playedEnergy = 0;
    for (std::size_t i = std::size_t(fixtures.otherOnset * kFileRate); i < fixtures.otherSamples.size(); ++i)
        playedEnergy += double(fixtures.otherSamples[i]) * fixtures.otherSamples[i];
    // The file starts when the first audio arrived, a moment before start() returned: allow a quarter of a
    // second either way (the user's turns are 800 ms away).
    constexpr double margin = 0.25;
    constexpr std::size_t window = kFileRate / 100;
    std::vector<double> audibleMs;
    double leakedEnergy = 0, turnsEnergy = 0;
    for (const double start : otherStarts) {
        const auto from = std::size_t(std::max(0.0, start + fixtures.otherOnset - margin) * kFileRate);
        const auto to = std::min(written->size(), std::size_t((start + speechEnd + margin) * kFileRate));
        if (to <= from)
            continue;
        int audible = 0;
        for (std::size_t at = from; at + window <= to; at += window) {
            if (rms(std::span(*written).subspan(at, window)) > kAudible)
                ++audible;
        }
        for (std::size_t i = from; i < to; ++i)
            leakedEnergy += double((*written)[i]) * (*written)[i];
        turnsEnergy += playedEnergy;
        audibleMs.push_back(audible * 10.0);
    }
    std::printf("other side audible in the file, per turn (ms):");
    for (const double ms : audibleMs)
        std::printf(" %.0f", ms);
    std::printf("\n");
    const double total = std::accumulate(audibleMs.begin(), audibleMs.end(), 0.0);
    const double spoken = double(audibleMs.size()) * (speechEnd - fixtures.otherOnset) * 1000;
    std::printf("other side in the file:         %.0f ms of %.0f ms of its speech, %.1f dB of its energy"
                "   (target: nothing of the far end reaches the file)\n",
                total, spoken, leakedEnergy > 0 ? 10 * std::log10(leakedEnergy / turnsEnergy) : -999.0);
}

QCoro::Task<> measure(SystemVoiceFilteredAudioRecorder *recorder, QString path, Fixtures fixtures, int seconds)
{
    try {
        const std::optional<pid_t> server = brelta::testsupport::soundServerPid();
        if (!server)
            throw std::runtime_error("cannot find the sound server's process");
        QCoro::Task<Span> baselineTask = measureTurns(fixtures, std::max(10, seconds / 3), *server, nullptr, nullptr);
        const Span baseline = co_await std::move(baselineTask);

        QCoro::Task<> started = recorder->start(QUrl::fromLocalFile(path));
        co_await std::move(started);
        QElapsedTimer clock;
        clock.start();
        const QStringList conversions = brelta::bench::soundServerConversions(
            {QStringLiteral("Microphone recording"), QStringLiteral("System audio voice detection")});
        Turns turns;
        QCoro::Task<Span> recordingTask = measureTurns(fixtures, seconds, *server, &clock, &turns);
        const Span recording = co_await std::move(recordingTask);
        // Latency in a second phase: watching for the muting costs CPU of its own.
        QCoro::Task<> watched = playTurns(recorder, fixtures, 20, &clock, &turns);
        co_await std::move(watched);
        QCoro::Task<> stopped = recorder->stop();
        co_await std::move(stopped);

        std::printf(
            "filtered recording for %.1f s: microphone 16 kHz mono AAC + system audio capture + voice detection\n",
            recording.wall);
        std::printf("our CPU share of one core:      %6.2f %%   (target: <= 5 %%)\n", recording.oursShare());
        std::printf("sound server, while we record:  %6.2f %%\n", recording.serverShare());
        std::printf("sound server, the call alone:   %6.2f %%   (over %.1f s, nobody recording)\n",
                    baseline.serverShare(), baseline.wall);
        const double serverExtra = recording.serverShare() - baseline.serverShare();
        std::printf("sound server's work for our two streams: %.2f %%   (ours + server's: %.2f %%)\n", serverExtra,
                    recording.oursShare() + serverExtra);
        for (const QString &conversion : conversions)
            std::printf("  server converts %s\n", qPrintable(conversion));
        std::vector<double> &latencies = turns.latencies;
        std::printf("onset-to-muting-flag latency per turn (ms):");
        for (double latency : latencies)
            std::printf(" %.0f", latency);
        std::printf("\n");
        if (latencies.empty()) {
            std::printf("onset-to-muting-flag latency:   the other side was never detected\n");
        } else {
            std::sort(latencies.begin(), latencies.end());
            const double mean = std::accumulate(latencies.begin(), latencies.end(), 0.0) / double(latencies.size());
            std::printf("onset-to-muting-flag latency (ms): mean %4.0f, median %4.0f, max %4.0f over %zu turns"
                        "   (reference: >= 330, the 11-of-12 smoothing of 30 ms frames)\n",
                        mean, latencies[latencies.size() / 2], latencies.back(), latencies.size());
        }
        reportWhatReachedTheFile(path, fixtures, turns.otherStarts);
        QCoreApplication::exit(0);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "cannot record: %s\n", error.what());
        QCoreApplication::exit(1);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    QTemporaryDir dir;
    Fixtures fixtures{dir.filePath(QStringLiteral("other.wav")), dir.filePath(QStringLiteral("user.wav")), {}, 0};
    QString error = makeSpeechFixture(fixtures.other,
                                      QStringLiteral("Many more people will move there in May than we "
                                                     "planned at first."),
                                      48000, 0.3, 0);
    if (error.isEmpty())
        error =
            makeSpeechFixture(fixtures.user, QStringLiteral("About twenty people, most of them from sales."), 48000);
    const auto otherSamples = decodeToMonoFloat(fixtures.other, kFileRate);
    if (error.isEmpty() && !otherSamples)
        error = QStringLiteral("cannot decode %1").arg(fixtures.other);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "cannot make the speech fixtures: %s\n", qPrintable(error));
        return 1;
    }
    fixtures.otherSamples = *otherSamples;
    fixtures.otherOnset = speechOnset(fixtures.otherSamples);

    SystemVoiceFilteredAudioRecorder recorder(
        [] { return std::make_unique<SystemVoiceActivityDetector>(std::make_unique<WebRtcVadProviderProvider>()); });
    QTimer::singleShot(0, &app,
                       [&] { measure(&recorder, dir.filePath(QStringLiteral("bench.m4a")), fixtures, seconds); });
    return app.exec();
}
