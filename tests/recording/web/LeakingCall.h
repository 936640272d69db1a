#pragma once

// A call in which the other side's voice leaks from the speakers into the microphone, played on the test
// server: what the far end says goes to "speakers" (the system audio) and, 6 dB down and 50 ms late (or as
// late as asked), into "micfeed" (the microphone) together with the user, who speaks in turns with the far
// end and once over it. Shared by the web-view recorder's privacy test and its benchmark.

#include "testsupport/AudioFixtures.h"

#include <QDir>
#include <QProcess>
#include <QString>

#include <cmath>
#include <optional>
#include <vector>

namespace brelta::recording::testing {

struct LeakingCall
{
    static constexpr int kRate = 16000;

    struct Span
    {
        double from = 0; // seconds from the start of the scene
        double to = 0;
    };

    QString farPath;        // played into "speakers"
    QString microphonePath; // the user plus the leak, played into "micfeed"
    std::vector<float> far; // at kRate, from the start of the scene
    std::vector<float> user;
    std::vector<float> microphone;
    std::vector<Span> farOnly; // the far end's first second left out: the canceller is still learning there
    std::vector<Span> userOnly;
    std::vector<Span> doubleTalk;
    double seconds = 0;

    // Builds the scene's files in `folder` with espeak-ng and sox, the leak `echoDelayMs` late. Returns an
    // error text, empty on success.
    QString make(const QString &folder, int echoDelayMs = 50)
    {
        const QDir dir(folder);
        struct Clip
        {
            QString name;
            QString text;
            QString voice;
        };
        const std::vector<Clip> clips{
            {"user1", "Hello everyone, I would like to start with a quick update on the project.", "en-us"},
            {"far1", "Thanks. Before you go on, the client asked us to move the deadline by two weeks.", "en-gb"},
            {"user2", "That works for us, as long as the design review stays on Monday.", "en-us"},
            {"far2", "Good. Then let us also talk about the budget for the next quarter and the hiring plan.", "en-gb"},
            {"user3", "Sorry to interrupt, the budget is already approved.", "en-us"},
        };
        std::vector<std::vector<float>> samples;
        for (const Clip &clip : clips) {
            const QString raw = dir.filePath(clip.name + QStringLiteral("-raw.wav"));
            const QString path = dir.filePath(clip.name + QStringLiteral(".wav"));
            if (QString error = run(QStringLiteral("espeak-ng"),
                                    {QStringLiteral("-v"), clip.voice, QStringLiteral("-w"), raw, clip.text});
                !error.isEmpty())
                return error;
            if (QString error = run(QStringLiteral("sox"),
                                    {raw, QStringLiteral("-b"), QStringLiteral("16"), QStringLiteral("-c"),
                                     QStringLiteral("1"), QStringLiteral("-r"), QString::number(kRate), path});
                !error.isEmpty())
                return error;
            auto decoded = testsupport::decodeToMonoFloat(path, kRate);
            if (!decoded)
                return QStringLiteral("cannot read %1").arg(path);
            samples.push_back(std::move(*decoded));
        }
        const auto length = [&](int i) { return double(samples[std::size_t(i)].size()) / kRate; };
        const double user1 = 0.5;
        const double far1 = user1 + length(0) + 1.0;
        const double user2 = far1 + length(1) + 1.0;
        const double far2 = user2 + length(2) + 1.0;
        const double user3 = far2 + 1.5;
        seconds = std::max(far2 + length(3), user3 + length(4)) + 1.5;
        const std::size_t total = std::size_t(seconds * kRate);
        far.assign(total, 0.0f);
        user.assign(total, 0.0f);
        place(user, samples[0], user1);
        place(far, samples[1], far1);
        place(user, samples[2], user2);
        place(far, samples[3], far2);
        place(user, samples[4], user3);
        microphone = user;
        const std::size_t delay = std::size_t(echoDelayMs) * kRate / 1000;
        for (std::size_t i = delay; i < total; ++i)
            microphone[i] += 0.5f * far[i - delay];

        const double margin = 0.25;
        userOnly = {{user1 + margin, user1 + length(0) - margin}, {user2 + margin, user2 + length(2) - margin}};
        farOnly = {{far1 + 1.0, far1 + length(1) - margin}, {far2 + margin, user3 - margin}};
        if (far2 + length(3) > user3 + length(4) + margin)
            farOnly.push_back({user3 + length(4) + margin, far2 + length(3)});
        doubleTalk = {{user3 + margin, std::min(user3 + length(4), far2 + length(3)) - margin}};

        farPath = dir.filePath(QStringLiteral("far-end.wav"));
        microphonePath = dir.filePath(QStringLiteral("microphone.wav"));
        if (QString error = write(far, farPath); !error.isEmpty())
            return error;
        return write(microphone, microphonePath);
    }

    // Plays the call into the test server: the far end into "speakers", the microphone into "micfeed".
    std::vector<std::unique_ptr<QProcess>> play() const
    {
        std::vector<std::unique_ptr<QProcess>> players;
        players.push_back(testsupport::startPlayingIntoSink(farPath, QStringLiteral("speakers")));
        players.push_back(testsupport::startPlayingIntoSink(microphonePath, QStringLiteral("micfeed")));
        return players;
    }

    // Where the scene starts in `recorded` (16 kHz): the lag at which the user's voice matches best, found on
    // 1 kHz averages within the first `searchSeconds`.
    std::optional<double> locate(const std::vector<float> &recorded, double searchSeconds) const
    {
        const auto reduce = [](const std::vector<float> &samples) {
            std::vector<float> out(samples.size() / 16);
            for (std::size_t i = 0; i < out.size(); ++i) {
                float sum = 0;
                for (std::size_t k = 0; k < 16; ++k)
                    sum += samples[16 * i + k];
                out[i] = sum / 16;
            }
            return out;
        };
        const std::vector<float> a = reduce(recorded);
        const std::vector<float> b = reduce(user);
        const int maxLag = int(searchSeconds * 1000);
        double best = 0;
        std::optional<int> bestLag;
        for (int lag = 0; lag <= maxLag; ++lag) {
            double sum = 0;
            for (std::size_t i = 0; i < b.size() && i + std::size_t(lag) < a.size(); ++i)
                sum += double(a[i + std::size_t(lag)]) * b[i];
            if (sum > best) {
                best = sum;
                bestLag = lag;
            }
        }
        if (!bestLag)
            return std::nullopt;
        return *bestLag / 1000.0;
    }

    // Energy of `samples` (16 kHz) over the spans, each moved by `offset` seconds.
    static double energy(const std::vector<float> &samples, const std::vector<Span> &spans, double offset = 0)
    {
        double sum = 0;
        for (const Span &span : spans) {
            const auto from = std::size_t(std::max(0.0, (span.from + offset) * kRate));
            const auto to = std::min(samples.size(), std::size_t(std::max(0.0, (span.to + offset) * kRate)));
            for (std::size_t i = from; i < to; ++i)
                sum += double(samples[i]) * samples[i];
        }
        return sum;
    }

    static double decibels(double numerator, double denominator)
    {
        if (denominator <= 0)
            return 0;
        return 10 * std::log10(std::max(numerator, 1e-20) / denominator);
    }

private:
    static void place(std::vector<float> &track, const std::vector<float> &clip, double at)
    {
        const auto from = std::size_t(at * kRate);
        for (std::size_t i = 0; i < clip.size() && from + i < track.size(); ++i)
            track[from + i] += clip[i];
    }

    static QString run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAllStandardError()));
        return {};
    }

    // 16-bit mono WAV at kRate, through sox.
    static QString write(const std::vector<float> &samples, const QString &path)
    {
        const QString raw = path + QStringLiteral(".f32");
        QFile out(raw);
        const auto bytes = qint64(samples.size() * sizeof(float));
        if (!out.open(QIODevice::WriteOnly)
            || out.write(reinterpret_cast<const char *>(samples.data()), bytes) != bytes)
            return QStringLiteral("cannot write %1").arg(raw);
        out.close();
        const QString error =
            run(QStringLiteral("sox"),
                {QStringLiteral("-t"), QStringLiteral("f32"), QStringLiteral("-r"), QString::number(kRate),
                 QStringLiteral("-c"), QStringLiteral("1"), raw, QStringLiteral("-b"), QStringLiteral("16"), path});
        QFile::remove(raw);
        return error;
    }
};

} // namespace brelta::recording::testing
