// CPU share of one core and peak memory while the microphone recorder records a minute of speech, beside the
// sound server's CPU: first while the speech plays and nobody records (the baseline), then while we record it.
// What the server spends beyond its baseline is the stream and sample-rate conversion our formats ask of it.
// Then how much a recording cut off by a crash loses: a recorder in a child process is killed (SIGKILL) a few
// seconds into its recording, and the file it leaves is compared with the time it recorded.
// Needs a PulseAudio server with the test sinks; with the test services:
//   BRELTA_SERVICES_DIR=$(mktemp -d) dbus-run-session -- scripts/services/start build/<dir>/bench/recorder/bench_recorder [seconds]
// Prints figures beside their reference; never fails on speed.
#include "../common/CpuTime.h"
#include "../common/SoundServer.h"
#include "platform/audio/AacFileWriter.h"
#include "platform/audio/AudioFileInfo.h"
#include "recording/recorders/SimpleAudioRecorder.h"
#include "testsupport/AudioFixtures.h"
#include "testsupport/RecordUntilKilled.h"

#include <QCoreApplication>
#include <QCoroProcess>
#include <QCoroTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <numeric>

using brelta::bench::cpuSeconds;
using brelta::recording::SimpleAudioRecorder;

namespace {

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Plays `speech` into the microphone over and over until `seconds` have passed; waits without polling, so
// the waiting adds nothing to our CPU figure.
QCoro::Task<> speak(QString speech, int seconds)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < qint64(seconds) * 1000) {
        auto player = brelta::testsupport::startPlayingIntoSink(speech);
        QCoro::Task<bool> played = qCoro(player.get()).waitForFinished(60000);
        co_await std::move(played);
    }
}

struct Span
{
    double ours = 0;   // CPU seconds of this process
    double server = 0; // CPU seconds of the sound server
    double wall = 0;   // seconds
    double oursShare() const { return 100 * ours / wall; }
    double serverShare() const { return 100 * server / wall; }
};

// CPU spent while the speech plays for `seconds`.
QCoro::Task<Span> measureSpeech(QString speech, int seconds, pid_t server)
{
    Span span;
    const double oursBefore = cpuSeconds();
    const double serverBefore = brelta::bench::processCpuSeconds(server).value_or(0);
    QElapsedTimer wall;
    wall.start();
    QCoro::Task<> spoken = speak(speech, seconds);
    co_await std::move(spoken);
    span.wall = double(wall.elapsed()) / 1000;
    span.ours = cpuSeconds() - oursBefore;
    span.server = brelta::bench::processCpuSeconds(server).value_or(0) - serverBefore;
    co_return span;
}

QCoro::Task<> measure(SimpleAudioRecorder *recorder, QString path, QString speech, int seconds)
{
    try {
        const std::optional<pid_t> server = brelta::testsupport::soundServerPid();
        if (!server)
            throw std::runtime_error("cannot find the sound server's process");
        QCoro::Task<Span> baselineTask = measureSpeech(speech, std::max(10, seconds / 3), *server);
        const Span baseline = co_await std::move(baselineTask);

        QCoro::Task<> started = recorder->start(QUrl::fromLocalFile(path));
        co_await std::move(started);
        const QStringList conversions = brelta::bench::soundServerConversions({QStringLiteral("Microphone recording")});
        QCoro::Task<Span> recordingTask = measureSpeech(speech, seconds, *server);
        const Span recording = co_await std::move(recordingTask);
        QCoro::Task<> stopped = recorder->stop();
        co_await std::move(stopped);

        const double serverExtra = recording.serverShare() - baseline.serverShare();
        std::printf("recording speech from the microphone for %.1f s (44.1 kHz mono, AAC 32 kbit/s)\n", recording.wall);
        std::printf("our CPU share of one core:        %6.2f %%   (target: <= 2 %%)\n", recording.oursShare());
        std::printf("sound server, while we record:    %6.2f %%\n", recording.serverShare());
        std::printf("sound server, speech alone:       %6.2f %%   (over %.1f s, nobody recording)\n",
                    baseline.serverShare(), baseline.wall);
        std::printf("sound server's work for our stream: %4.2f %%   (ours + server's: %.2f %%)\n", serverExtra,
                    recording.oursShare() + serverExtra);
        for (const QString &conversion : conversions)
            std::printf("  server converts %s\n", qPrintable(conversion));
        std::printf("peak resident memory:             %6.1f MiB\n", double(peakRssKiB()) / 1024);
        QCoreApplication::exit(0);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "cannot record: %s\n", error.what());
        QCoreApplication::exit(1);
    }
}

// Kills a recording child after each of `cuts` and returns what each file lost: seconds recorded minus
// seconds the file holds.
std::vector<double> crashCutLosses(const QString &folder, const std::vector<double> &cuts)
{
    std::vector<double> losses;
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        const QString path = QStringLiteral("%1/cut_%2.m4a").arg(folder).arg(i);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--record-until-killed"), path});
        QByteArray said;
        while (!said.contains("recording") && child.waitForReadyRead(15000))
            said += child.readAllStandardOutput();
        if (!said.contains("recording")) {
            std::fprintf(stderr, "the recording child did not start: %s\n", child.readAllStandardError().constData());
            child.kill();
            child.waitForFinished();
            continue;
        }
        QElapsedTimer recorded;
        recorded.start();
        QThread::msleep(static_cast<unsigned long>(cuts[i] * 1000));
        ::kill(pid_t(child.processId()), SIGKILL);
        const double seconds = double(recorded.elapsed()) / 1000;
        child.waitForFinished();
        try {
            losses.push_back(seconds - brelta::platform::audioFileDuration(path));
        } catch (const std::exception &error) {
            std::fprintf(stderr, "the cut file cannot be read: %s\n", error.what());
        }
    }
    return losses;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--record-until-killed") {
        return brelta::testsupport::recordUntilKilled<SimpleAudioRecorder>(QString::fromLocal8Bit(argv[2]));
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    QTemporaryDir dir;
    const QString speech = dir.filePath(QStringLiteral("speech.wav"));
    const QString error = brelta::testsupport::makeSpeechFixture(
        speech,
        QStringLiteral("Thank you all for joining. Let us review the plan for the next quarter, starting with the "
                       "budget for the new office and the people who will move there in May."),
        44100, 0.3, 0.3);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "cannot make the speech fixture: %s\n", qPrintable(error));
        return 1;
    }
    SimpleAudioRecorder recorder;
    QTimer::singleShot(0, &app,
                       [&] { measure(&recorder, dir.filePath(QStringLiteral("bench.m4a")), speech, seconds); });
    if (const int status = app.exec(); status != 0)
        return status;

    // Cut at moments spread over a fragment's length.
    const std::vector<double> losses = crashCutLosses(dir.path(), {2.2, 2.45, 2.7, 2.95, 3.2, 3.45, 3.7, 3.95});
    if (losses.empty())
        return 1;
    const double largest = *std::max_element(losses.begin(), losses.end());
    const double mean = std::accumulate(losses.begin(), losses.end(), 0.0) / double(losses.size());
    std::printf("a recording cut off by a crash loses at most %.2f s, %.2f s on average (%zu cuts; fragments of "
                "%.2f s)\n",
                largest, mean, losses.size(), double(brelta::platform::AacFileWriter::fragmentDuration.count()) / 1000);
    return 0;
}
