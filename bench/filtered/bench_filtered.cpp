// The filtered recording (microphone + system-audio capture + voice detection + encoder) while a call plays:
// CPU share of one core over a minute, and the time from the other side's speech onset to muting.
// Needs a PulseAudio server with the test sinks; with the test services:
//   BRELTA_SERVICES_DIR=$(mktemp -d) dbus-run-session -- scripts/services/start build/<dir>/bench/filtered/bench_filtered [seconds]
// Prints figures beside their reference; never fails on speed.
#include "../common/CpuTime.h"
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
#include <cstdio>
#include <numeric>

using namespace brelta::recording;
using namespace brelta::testsupport;

using brelta::bench::cpuSeconds;

namespace {

// Seconds from the start of a fixture to its first sample above -30 dBFS.
double speechOnset(const QString &path)
{
    const auto samples = decodeToMonoFloat(path, 16000);
    if (!samples)
        return 0;
    const auto first = std::find_if(samples->begin(), samples->end(), [](float s) { return std::abs(s) > 0.03f; });
    return double(first - samples->begin()) / 16000;
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

// The other side speaks into the speakers (and, as in a room, into the microphone too); then the user speaks.
// With `latencies`, watches every 5 ms for the recorder's muting and adds the time from each of the other
// side's speech onsets to it, in ms.
QCoro::Task<> playTurns(SystemVoiceFilteredAudioRecorder *recorder, Fixtures fixtures, int seconds,
                        std::vector<double> *latencies)
{
    QElapsedTimer total;
    total.start();
    while (total.elapsed() < qint64(seconds) * 1000) {
        QElapsedTimer turn;
        auto speakers = startPlayingIntoSink(fixtures.other, QStringLiteral("speakers"));
        auto leak = startPlayingIntoSink(fixtures.other, QStringLiteral("micfeed"));
        turn.start();
        bool muted = false;
        while (latencies && !muted && speakers->state() != QProcess::NotRunning) {
            if (recorder->hasVoiceActivity()) {
                muted = true;
                latencies->push_back(double(turn.elapsed()) - 1000 * fixtures.otherOnset);
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

QCoro::Task<> measure(SystemVoiceFilteredAudioRecorder *recorder, QString path, Fixtures fixtures, int seconds)
{
    try {
        QCoro::Task<> started = recorder->start(QUrl::fromLocalFile(path));
        co_await std::move(started);
        const double cpuBefore = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QCoro::Task<> turns = playTurns(recorder, fixtures, seconds, nullptr);
        co_await std::move(turns);
        const double cpu = cpuSeconds() - cpuBefore;
        const double elapsed = double(wall.elapsed()) / 1000;
        // Latency in a second phase: watching for the muting costs CPU of its own.
        std::vector<double> latencies;
        QCoro::Task<> watched = playTurns(recorder, fixtures, 20, &latencies);
        co_await std::move(watched);
        QCoro::Task<> stopped = recorder->stop();
        co_await std::move(stopped);

        std::printf(
            "filtered recording for %.1f s: microphone 16 kHz mono AAC + system audio capture + voice detection\n",
            elapsed);
        std::printf("CPU share of one core:          %6.2f %%   (target: <= 5 %%)\n", 100 * cpu / elapsed);
        std::printf("onset-to-muting latency per turn (ms):");
        for (double latency : latencies)
            std::printf(" %.0f", latency);
        std::printf("\n");
        if (latencies.empty()) {
            std::printf("onset-to-muting latency:        the other side was never detected\n");
        } else {
            std::sort(latencies.begin(), latencies.end());
            const double mean = std::accumulate(latencies.begin(), latencies.end(), 0.0) / double(latencies.size());
            std::printf("onset-to-muting latency (ms):   mean %6.0f, median %6.0f, max %6.0f over %zu turns"
                        "   (reference: >= 330, the 11-of-12 smoothing of 30 ms frames)\n",
                        mean, latencies[latencies.size() / 2], latencies.back(), latencies.size());
            std::printf("  (the filter also blanks the 300 ms block before the muting, so less than this reaches "
                        "the file)\n");
        }
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
    Fixtures fixtures{dir.filePath(QStringLiteral("other.wav")), dir.filePath(QStringLiteral("user.wav"))};
    QString error = makeSpeechFixture(fixtures.other,
                                      QStringLiteral("Many more people will move there in May than we "
                                                     "planned at first."),
                                      48000, 0.3, 0);
    if (error.isEmpty())
        error =
            makeSpeechFixture(fixtures.user, QStringLiteral("About twenty people, most of them from sales."), 48000);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "cannot make the speech fixtures: %s\n", qPrintable(error));
        return 1;
    }
    fixtures.otherOnset = speechOnset(fixtures.other);

    SystemVoiceFilteredAudioRecorder recorder(
        [] { return std::make_unique<SystemVoiceActivityDetector>(std::make_unique<WebRtcVadProviderProvider>()); });
    QTimer::singleShot(0, &app,
                       [&] { measure(&recorder, dir.filePath(QStringLiteral("bench.m4a")), fixtures, seconds); });
    return app.exec();
}
