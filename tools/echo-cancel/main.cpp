// Removes from a microphone recording what a reference recording played, with the echo canceller the web-view
// recorder uses, and writes the result as a 16-bit mono WAV at 16 kHz. Both inputs may be any audio file
// FFmpeg reads; they are taken to start at the same moment.
#include "platform/audio/AudioFileReader.h"
#include "platform/audio/EchoCanceller.h"
#include "platform/audio/PcmConverter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <ctime>

using namespace brelta::platform;

namespace {

const PcmFormat kFormat{SampleType::Float32, 16000, 1};

// The whole file at 16 kHz mono.
std::vector<float> readAll(const QString &path)
{
    const auto reader = AudioFileReader::open(path);
    PcmConverter converter(reader->format(), kFormat);
    std::vector<float> samples;
    const auto append = [&samples](const PcmBuffer &block) {
        const auto channel = block.floatChannel(0).first(block.frameLength());
        samples.insert(samples.end(), channel.begin(), channel.end());
    };
    while (const std::optional<PcmBuffer> block = reader->read())
        append(converter.convert(*block));
    append(converter.flush());
    return samples;
}

void writeWave(const QString &path, const std::vector<float> &samples)
{
    const auto dataBytes = quint32(samples.size() * 2);
    QByteArray bytes(qsizetype(44 + dataBytes), '\0');
    auto *out = reinterpret_cast<uchar *>(bytes.data());
    std::memcpy(out, "RIFF", 4);
    qToLittleEndian<quint32>(36 + dataBytes, out + 4);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, out + 16);
    qToLittleEndian<quint16>(1, out + 20);
    qToLittleEndian<quint16>(1, out + 22);
    qToLittleEndian<quint32>(quint32(kFormat.sampleRate), out + 24);
    qToLittleEndian<quint32>(quint32(kFormat.sampleRate * 2), out + 28);
    qToLittleEndian<quint16>(2, out + 32);
    qToLittleEndian<quint16>(16, out + 34);
    std::memcpy(out + 36, "data", 4);
    qToLittleEndian<quint32>(dataBytes, out + 40);
    for (std::size_t i = 0; i < samples.size(); ++i)
        qToLittleEndian(qint16(std::lround(std::clamp(samples[i], -1.0f, 1.0f) * 32767)), out + 44 + 2 * i);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw AudioFileError(QStringLiteral("%1: cannot write: %2").arg(path, file.errorString()).toStdString());
}

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("echo-cancel"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Removes what --reference played from --microphone."));
    parser.addHelpOption();
    const QCommandLineOption reference(QStringLiteral("reference"), QStringLiteral("What the speakers played."),
                                       QStringLiteral("file"));
    const QCommandLineOption microphone(QStringLiteral("microphone"), QStringLiteral("What the microphone heard."),
                                        QStringLiteral("file"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("Where to write the result (WAV)."),
                                    QStringLiteral("file"));
    const QCommandLineOption noGate(QStringLiteral("no-gate"),
                                    QStringLiteral("Leave the gate out, to hear what the canceller alone removes."));
    parser.addOptions({reference, microphone, output, noGate});
    parser.process(app);
    if (!parser.isSet(reference) || !parser.isSet(microphone) || !parser.isSet(output)) {
        std::fprintf(stderr, "echo-cancel: --reference, --microphone and --output are required (see --help)\n");
        return 2;
    }

    try {
        const std::vector<float> far = readAll(parser.value(reference));
        const std::vector<float> near = readAll(parser.value(microphone));
        EchoCancellerOptions options;
        options.useGate = !parser.isSet(noGate);
        EchoCanceller canceller(options);
        const double cpuBefore = cpuSeconds();
        canceller.addReference(far);
        canceller.addMicrophone(near);
        std::vector<float> cancelled = canceller.takeOutput();
        const std::vector<float> rest = canceller.finish();
        cancelled.insert(cancelled.end(), rest.begin(), rest.end());
        const double cpu = cpuSeconds() - cpuBefore;
        writeWave(parser.value(output), cancelled);

        const auto statistics = canceller.statistics();
        const double seconds = double(near.size()) / kFormat.sampleRate;
        std::printf("%.2f s of audio, %.1f ms of CPU per second\n", seconds, seconds > 0 ? cpu * 1000 / seconds : 0);
        if (statistics.echoDelayMs)
            std::printf("echo %.2f ms behind the reference (%d estimates)\n", *statistics.echoDelayMs,
                        statistics.delayEstimates);
        else
            std::printf("no echo found\n");
        std::printf("%lld of %lld frames blanked, %s\n", static_cast<long long>(statistics.blankedFrames),
                    static_cast<long long>(statistics.frames), statistics.converged ? "converged" : "not converged");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "echo-cancel: %s\n", error.what());
        return 1;
    }
    return 0;
}
