// Ten minutes of 128 kbit/s stereo AAC converted to 64 kbit/s mono AAC, as the upload queue compresses a
// recording: transcodeToAac (FFmpeg's decoder, our PCM conversion and writer) beside
// `ffmpeg -i in -ac 1 -c:a aac -b:a 64k out.m4a`, wall and CPU time. Prints figures beside their reference;
// never fails on speed.
//
//   bench_transcode [seconds=600] [runs=3]
//   bench_transcode --ours-only <in> <out>   one conversion, for timing whole commands
#include "../common/CpuTime.h"
#include "ChildRun.h"
#include "platform/audio/AudioFileInfo.h"
#include "platform/audio/Transcode.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace brelta;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const auto convert = [](const QString &in, const QString &out) {
        const platform::AudioFileInfo info = platform::readAudioFileInfo(in);
        platform::transcodeToAac(in, out, platform::AacEncoding{info.sampleRate, 1, 64000});
    };
    if (arguments.value(1) == QLatin1String("--ours-only") && arguments.size() == 4) {
        try {
            convert(arguments[2], arguments[3]);
        } catch (const std::exception &error) {
            std::fprintf(stderr, "%s\n", error.what());
            return 1;
        }
        return 0;
    }

    const int seconds = arguments.size() > 1 ? arguments[1].toInt() : 600;
    const int runs = arguments.size() > 2 ? std::max(1, arguments[2].toInt()) : 3;
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("recording.m4a"));
    // A voice-like buzz over pink noise, so the encoder has something to work on.
    const bench::ChildRun made = bench::runChild(
        {QStringLiteral("ffmpeg"),
         QStringLiteral("-v"),
         QStringLiteral("error"),
         QStringLiteral("-y"),
         QStringLiteral("-f"),
         QStringLiteral("lavfi"),
         QStringLiteral("-i"),
         QStringLiteral("aevalsrc=0.3*sin(2*PI*(150+30*sin(2*PI*0.5*t))*t)*lt(mod(t\\,1.4)\\,0.7)|"
                        "0.3*sin(2*PI*(150+30*sin(2*PI*0.5*t))*t)*lt(mod(t\\,1.4)\\,0.7):s=44100:d=%1")
             .arg(seconds),
         QStringLiteral("-f"),
         QStringLiteral("lavfi"),
         QStringLiteral("-i"),
         QStringLiteral("anoisesrc=color=pink:amplitude=0.05:sample_rate=44100:duration=%1").arg(seconds),
         QStringLiteral("-filter_complex"),
         QStringLiteral("[0][1]amix=inputs=2:normalize=0"),
         QStringLiteral("-ac"),
         QStringLiteral("2"),
         QStringLiteral("-c:a"),
         QStringLiteral("aac"),
         QStringLiteral("-b:a"),
         QStringLiteral("128k"),
         input});
    if (!made.ok) {
        std::fprintf(stderr, "ffmpeg could not make the input\n");
        return 1;
    }

    const QString ours = dir.filePath(QStringLiteral("ours.m4a"));
    const QString theirs = dir.filePath(QStringLiteral("ffmpeg.m4a"));
    std::vector<double> ourWall, ourCpu, theirWall, theirCpu;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = bench::cpuSeconds(RUSAGE_SELF);
        try {
            convert(input, ours);
        } catch (const std::exception &error) {
            std::fprintf(stderr, "%s\n", error.what());
            return 1;
        }
        ourWall.push_back(double(timer.nsecsElapsed()) / 1e9);
        ourCpu.push_back(bench::cpuSeconds(RUSAGE_SELF) - cpuBefore);

        const bench::ChildRun ffmpeg = bench::runChild(
            {QStringLiteral("ffmpeg"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
             QStringLiteral("-i"), input, QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-c:a"),
             QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("64k"), theirs});
        if (!ffmpeg.ok) {
            std::fprintf(stderr, "ffmpeg failed\n");
            return 1;
        }
        theirWall.push_back(ffmpeg.wallSeconds);
        theirCpu.push_back(ffmpeg.cpuSeconds);
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };

    const auto describe = [](const QString &path) {
        const platform::AudioFileInfo info = platform::readAudioFileInfo(path);
        return QStringLiteral("%1 KiB, %2 s, %3 kbit/s")
            .arg(double(QFileInfo(path).size()) / 1024, 0, 'f', 0)
            .arg(info.durationSeconds, 0, 'f', 2)
            .arg(double(QFileInfo(path).size()) * 8 / info.durationSeconds / 1000, 0, 'f', 1);
    };
    std::printf("converting %d s of 128 kbit/s stereo AAC (%s) to 64 kbit/s mono AAC, median of %d runs\n", seconds,
                qPrintable(describe(input)), runs);
    std::printf("%-44s %8s  %8s  %s\n", "", "wall", "CPU", "result");
    std::printf("%-44s %7.2fs  %7.2fs  %s\n", "transcodeToAac", median(ourWall), median(ourCpu),
                qPrintable(describe(ours)));
    std::printf("%-44s %7.2fs  %7.2fs  %s\n", "ffmpeg -ac 1 -c:a aac -b:a 64k", median(theirWall), median(theirCpu),
                qPrintable(describe(theirs)));
    std::printf("ratio ours / ffmpeg: wall %.2f, CPU %.2f\n", median(ourWall) / median(theirWall),
                median(ourCpu) / median(theirCpu));
    return 0;
}
