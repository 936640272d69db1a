// CPU share of one core and peak memory while the microphone recorder records for a minute.
// Needs a PulseAudio server; with the test services:
//   BRELTA_SERVICES_DIR=$(mktemp -d) dbus-run-session -- scripts/services/start build/<dir>/bench/recorder/bench_recorder
// Prints figures beside their reference; never fails on speed.
#include "../common/CpuTime.h"
#include "recording/recorders/SimpleAudioRecorder.h"

#include <QCoreApplication>
#include <QCoroTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

using brelta::recording::SimpleAudioRecorder;

using brelta::bench::cpuSeconds;

namespace {

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QCoro::Task<> measure(SimpleAudioRecorder *recorder, QString path, int seconds)
{
    try {
        QCoro::Task<> started = recorder->start(QUrl::fromLocalFile(path));
        co_await std::move(started);
        const double cpuBefore = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTimer wait;
        wait.setSingleShot(true);
        wait.start(seconds * 1000);
        QCoro::Task<> waited = qCoro(wait).waitForTimeout();
        co_await std::move(waited);
        const double cpu = cpuSeconds() - cpuBefore;
        const double elapsed = double(wall.elapsed()) / 1000;
        QCoro::Task<> stopped = recorder->stop();
        co_await std::move(stopped);
        std::printf("recording the microphone for %.1f s (44.1 kHz mono, AAC 32 kbit/s)\n", elapsed);
        std::printf("CPU share of one core: %6.2f %%   (target: <= 2 %%)\n", 100 * cpu / elapsed);
        std::printf("peak resident memory:  %6.1f MiB\n", double(peakRssKiB()) / 1024);
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
    SimpleAudioRecorder recorder;
    QTimer::singleShot(0, &app, [&] { measure(&recorder, dir.filePath(QStringLiteral("bench.m4a")), seconds); });
    return app.exec();
}
