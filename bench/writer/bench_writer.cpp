// Time to encode 10 minutes of 44.1 kHz mono PCM to AAC at 32 kbit/s in MPEG-4: our writer (fragmented while
// writing, rewritten as a plain file at the end) beside the ffmpeg command line on the same input. Then how
// much audio a file cut off by a crash loses: the file as the disk holds it after every block, beside the
// audio written so far.
// Prints figures beside their reference; never fails on speed.
#include "../common/CpuTime.h"
#include "platform/audio/AacFileWriter.h"
#include "platform/audio/AudioFileInfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

using namespace brelta::platform;

namespace {

// A speech-like test signal: a gliding buzz with noise, switched on and off every 700 ms.
std::vector<std::int16_t> signal(int seconds, int rate)
{
    std::vector<std::int16_t> samples(std::size_t(seconds) * std::size_t(rate));
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 200);
    double phase = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / rate;
        const double pitch = 120 + 40 * std::sin(2 * std::numbers::pi * 0.5 * t);
        phase += 2 * std::numbers::pi * pitch / rate;
        double value = noise(random);
        if (int(t / 0.7) % 2 == 0) {
            for (int harmonic = 1; harmonic < 12; ++harmonic)
                value += 6000 * std::sin(phase * harmonic) / harmonic;
        }
        samples[i] = std::int16_t(std::clamp(value, -32768.0, 32767.0));
    }
    return samples;
}

void writeWav(const QString &path, const std::vector<std::int16_t> &samples, int rate)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    const auto u32 = [&file](std::uint32_t v) { file.write(reinterpret_cast<const char *>(&v), 4); };
    const auto u16 = [&file](std::uint16_t v) { file.write(reinterpret_cast<const char *>(&v), 2); };
    const auto bytes = std::uint32_t(samples.size() * 2);
    file.write("RIFF");
    u32(36 + bytes);
    file.write("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(std::uint32_t(rate));
    u32(std::uint32_t(rate * 2));
    u16(2);
    u16(16);
    file.write("data");
    u32(bytes);
    file.write(reinterpret_cast<const char *>(samples.data()), qint64(bytes));
}

// What the file holds after each block of 300 ms, as a crash at that moment would leave it (a process that
// dies leaves what reached the kernel), beside the audio handed to the writer so far: the largest and the
// mean loss in seconds.
struct CrashLoss
{
    double largest = 0;
    double mean = 0;
    int cuts = 0;
};

CrashLoss crashCutLoss(const std::vector<std::int16_t> &samples, const PcmFormat &format, const QString &path)
{
    CrashLoss loss;
    const QString snapshot = path + QStringLiteral(".cut.m4a");
    auto writer = AacFileWriter::create(path, format, AacEncoding{format.sampleRate, 1, 32000});
    const std::uint32_t block = format.framesFor(300);
    double total = 0;
    for (std::size_t at = 0; at < samples.size(); at += block) {
        const std::size_t count = std::min<std::size_t>(block, samples.size() - at);
        writer->write(PcmBuffer::fromInterleaved(format, std::as_bytes(std::span(samples).subspan(at, count))));
        QFile::remove(snapshot);
        QFile::copy(path, snapshot);
        double kept = 0;
        try {
            kept = audioFileDuration(snapshot);
        } catch (const AudioFileError &) {
            // Before the first fragment the file holds no audio yet.
        }
        const double lost = writer->writtenSeconds() - kept;
        loss.largest = std::max(loss.largest, lost);
        total += lost;
        ++loss.cuts;
    }
    writer->discard();
    QFile::remove(snapshot);
    loss.mean = loss.cuts > 0 ? total / loss.cuts : 0;
    return loss;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    constexpr int rate = 44100;
    QTemporaryDir dir;
    const std::vector<std::int16_t> samples = signal(seconds, rate);
    const QString wav = dir.filePath(QStringLiteral("input.wav"));
    writeWav(wav, samples, rate);

    // Ours: the PCM in blocks of 300 ms, as the recorder hands it over.
    const PcmFormat format{SampleType::Int16, rate, 1};
    const QString ours = dir.filePath(QStringLiteral("ours.m4a"));
    QElapsedTimer timer;
    timer.start();
    const double oursCpuBefore = brelta::bench::cpuSeconds(RUSAGE_SELF);
    {
        auto writer = AacFileWriter::create(ours, format, AacEncoding{rate, 1, 32000});
        const std::uint32_t block = format.framesFor(300);
        for (std::size_t at = 0; at < samples.size(); at += block) {
            const std::size_t count = std::min<std::size_t>(block, samples.size() - at);
            writer->write(PcmBuffer::fromInterleaved(format, std::as_bytes(std::span(samples).subspan(at, count))));
        }
        writer->finish();
    }
    const double oursSeconds = double(timer.nsecsElapsed()) / 1e9;
    const double oursCpu = brelta::bench::cpuSeconds(RUSAGE_SELF) - oursCpuBefore;
    const double childrenCpuBefore = brelta::bench::cpuSeconds(RUSAGE_CHILDREN);

    const QString theirs = dir.filePath(QStringLiteral("ffmpeg.m4a"));
    timer.restart();
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                            QStringLiteral("-i"), wav, QStringLiteral("-c:a"), QStringLiteral("aac"),
                                            QStringLiteral("-b:a"), QStringLiteral("32k"), theirs});
    if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return 1;
    }
    const double theirSeconds = double(timer.nsecsElapsed()) / 1e9;
    const double theirCpu = brelta::bench::cpuSeconds(RUSAGE_CHILDREN) - childrenCpuBefore;

    std::printf("encoding %d s of 44.1 kHz mono PCM to AAC 32 kbit/s in MPEG-4\n", seconds);
    std::printf("%-40s %8s  %8s  %10s\n", "", "wall", "CPU", "file");
    std::printf("%-40s %7.2fs  %7.2fs  %7.1f KiB\n", "our writer (fragmented + plain rewrite)", oursSeconds, oursCpu,
                double(QFileInfo(ours).size()) / 1024);
    std::printf("%-40s %7.2fs  %7.2fs  %7.1f KiB\n", "ffmpeg -c:a aac -b:a 32k", theirSeconds, theirCpu,
                double(QFileInfo(theirs).size()) / 1024);
    std::printf("ratio ours / ffmpeg: wall %.2f, CPU %.2f   (target: <= 1.0)\n", oursSeconds / theirSeconds,
                oursCpu / theirCpu);

    const int cutSeconds = std::min(seconds, 60);
    const CrashLoss loss = crashCutLoss(std::vector<std::int16_t>(samples.begin(), samples.begin() + cutSeconds * rate),
                                        format, dir.filePath(QStringLiteral("cut.m4a")));
    std::printf("a crash-cut file loses at most %.2f s, %.2f s on average (cut after each of %d blocks of 300 ms)\n",
                loss.largest, loss.mean, loss.cuts);
    return 0;
}
