#include "testsupport/AudioFixtures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace brelta::testsupport {
namespace {

// Runs a tool to its end; returns an error text naming it, empty on success.
QString run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr, int timeoutMs = 60000)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return QStringLiteral("%1 did not start: %2").arg(program, process.errorString());
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return QStringLiteral("%1 did not finish in time").arg(program);
    }
    const QByteArray out = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("%1 %2 failed: %3")
            .arg(program, arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAllStandardError()));
    if (output)
        *output = out;
    return {};
}

QStringList soxPad(double before, double after)
{
    if (before <= 0 && after <= 0)
        return {};
    return {QStringLiteral("pad"), QString::number(before), QString::number(after)};
}

std::optional<QByteArray> decodeRaw(const QString &path, int sampleRate, const QString &sampleFormat)
{
    QByteArray raw;
    const QString error = run(QStringLiteral("ffmpeg"),
                              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                               QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-ar"),
                               QString::number(sampleRate), QStringLiteral("-f"), sampleFormat, QStringLiteral("-")},
                              &raw);
    if (!error.isEmpty()) {
        qWarning().noquote() << error;
        return std::nullopt;
    }
    return raw;
}

struct FileDescriptorCloser
{
    void operator()(const int *fd) const
    {
        if (*fd >= 0)
            ::close(*fd);
        delete fd;
    }
};

using Socket = std::unique_ptr<int, FileDescriptorCloser>;

// A stream socket connected to the Unix socket at `path`; null when it cannot connect.
Socket connectUnixSocket(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    if (encoded.isEmpty() || std::size_t(encoded.size()) >= sizeof address.sun_path)
        return nullptr;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded.constData(), std::size_t(encoded.size()));
    Socket socket(new int(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)));
    if (*socket < 0 || ::connect(*socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return nullptr;
    return socket;
}

// The lines of `pactl list source-outputs`, trimmed.
QStringList sourceOutputLines()
{
    QStringList lines = pactl({QStringLiteral("list"), QStringLiteral("source-outputs")}).split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = line.trimmed();
    return lines;
}

template<typename T>
std::vector<T> samplesOf(const QByteArray &raw)
{
    std::vector<T> samples(std::size_t(raw.size()) / sizeof(T));
    std::memcpy(samples.data(), raw.constData(), samples.size() * sizeof(T));
    return samples;
}

} // namespace

QString makeSpeechFixture(const QString &path, const QString &text, int sampleRate, double silenceBefore,
                          double silenceAfter)
{
    QTemporaryDir scratch;
    const QString spoken = scratch.filePath(QStringLiteral("spoken.wav"));
    if (QString error = run(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), spoken, text}); !error.isEmpty())
        return error;
    QStringList arguments{spoken,
                          QStringLiteral("-b"),
                          QStringLiteral("16"),
                          QStringLiteral("-c"),
                          QStringLiteral("1"),
                          QStringLiteral("-r"),
                          QString::number(sampleRate),
                          path};
    arguments << soxPad(silenceBefore, silenceAfter);
    return run(QStringLiteral("sox"), arguments);
}

QString makeSilenceFixture(const QString &path, double seconds, int sampleRate)
{
    return run(QStringLiteral("sox"),
               {QStringLiteral("-n"), QStringLiteral("-b"), QStringLiteral("16"), QStringLiteral("-c"),
                QStringLiteral("1"), QStringLiteral("-r"), QString::number(sampleRate), path, QStringLiteral("trim"),
                QStringLiteral("0"), QString::number(seconds)});
}

QString concatenateFixtures(const QStringList &inputs, const QString &path)
{
    return run(QStringLiteral("sox"), QStringList(inputs) << path);
}

QString playIntoSink(const QString &path, const QString &sink)
{
    return run(QStringLiteral("paplay"), {QStringLiteral("--device=") + sink, path}, nullptr, 120000);
}

std::unique_ptr<QProcess> startPlayingIntoSink(const QString &path, const QString &sink)
{
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral("paplay"), {QStringLiteral("--device=") + sink, path});
    process->waitForStarted(10000);
    return process;
}

QString pactl(const QStringList &arguments)
{
    QByteArray output;
    if (const QString error = run(QStringLiteral("pactl"), arguments, &output, 10000); !error.isEmpty()) {
        qWarning().noquote() << error;
        return {};
    }
    return QString::fromUtf8(output).trimmed();
}

QStringList recordStreamNames()
{
    QStringList names;
    for (const QString &line : sourceOutputLines()) {
        if (line.startsWith(QLatin1String("media.name = \"")))
            names << line.mid(14).chopped(1);
    }
    names.removeAll(QStringLiteral("Remapped Stream"));
    return names;
}

QString sourceOutputIndex(const QString &streamName)
{
    QString index;
    for (const QString &line : sourceOutputLines()) {
        if (line.startsWith(QLatin1String("Source Output #")))
            index = line.mid(15);
        else if (line == QStringLiteral("media.name = \"%1\"").arg(streamName))
            return index;
    }
    return {};
}

bool killSourceOutput(const QString &index, const QString &cliSocket)
{
    if (index.isEmpty())
        return false;
    if (!QFile::exists(cliSocket))
        pactl({QStringLiteral("load-module"), QStringLiteral("module-cli-protocol-unix"),
               QStringLiteral("socket=") + cliSocket});
    const Socket socket = connectUnixSocket(cliSocket);
    if (!socket)
        return false;
    const QByteArray command = QStringLiteral("kill-source-output %1\n").arg(index).toUtf8();
    if (::write(*socket, command.constData(), std::size_t(command.size())) != command.size())
        return false;
    // The end of what we send closes the session once the server has run the command before it; its
    // answers are read until then.
    ::shutdown(*socket, SHUT_WR);
    const timeval patience{5, 0};
    ::setsockopt(*socket, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    char reply[256];
    while (::read(*socket, reply, sizeof reply) > 0) {
    }
    return true;
}

std::optional<pid_t> soundServerPid()
{
    QString address = qEnvironmentVariable("PULSE_SERVER");
    if (address.isEmpty())
        address = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pulse/native");
    if (address.startsWith(QLatin1String("unix:")))
        address = address.mid(5);
    const Socket socket = connectUnixSocket(address);
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (!socket || ::getsockopt(*socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || credentials.pid <= 0)
        return std::nullopt;
    return credentials.pid;
}

std::optional<ProbedAudio> probeAudio(const QString &path)
{
    QByteArray json;
    const QString error = run(QStringLiteral("ffprobe"),
                              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
                               QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
                               QStringLiteral("-select_streams"), QStringLiteral("a:0"), path},
                              &json);
    if (!error.isEmpty()) {
        qWarning().noquote() << error;
        return std::nullopt;
    }
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    const QJsonArray streams = root.value(QStringLiteral("streams")).toArray();
    if (streams.isEmpty())
        return std::nullopt;
    const QJsonObject stream = streams.first().toObject();
    const QJsonObject format = root.value(QStringLiteral("format")).toObject();
    ProbedAudio probed;
    probed.container = format.value(QStringLiteral("format_name")).toString();
    probed.majorBrand = format.value(QStringLiteral("tags")).toObject().value(QStringLiteral("major_brand")).toString();
    probed.codec = stream.value(QStringLiteral("codec_name")).toString();
    probed.sampleRate = stream.value(QStringLiteral("sample_rate")).toString().toInt();
    probed.channels = stream.value(QStringLiteral("channels")).toInt();
    probed.bitRate = stream.value(QStringLiteral("bit_rate")).toString().toLongLong();
    probed.duration = format.value(QStringLiteral("duration")).toString().toDouble();
    return probed;
}

std::optional<std::vector<float>> decodeToMonoFloat(const QString &path, int sampleRate)
{
    const auto raw = decodeRaw(path, sampleRate, QStringLiteral("f32le"));
    if (!raw)
        return std::nullopt;
    return samplesOf<float>(*raw);
}

std::optional<std::vector<std::int16_t>> decodeToMonoInt16(const QString &path, int sampleRate)
{
    const auto raw = decodeRaw(path, sampleRate, QStringLiteral("s16le"));
    if (!raw)
        return std::nullopt;
    return samplesOf<std::int16_t>(*raw);
}

double rms(std::span<const float> samples)
{
    if (samples.empty())
        return 0;
    double sum = 0;
    for (const float sample : samples)
        sum += double(sample) * double(sample);
    return std::sqrt(sum / double(samples.size()));
}

std::vector<double> rmsPerWindow(std::span<const float> samples, std::size_t window)
{
    std::vector<double> result;
    if (window == 0)
        return result;
    for (std::size_t at = 0; at < samples.size(); at += window)
        result.push_back(rms(samples.subspan(at, std::min(window, samples.size() - at))));
    return result;
}

} // namespace brelta::testsupport
