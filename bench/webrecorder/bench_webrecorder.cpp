// The web-view recorder: peak memory of the whole process tree (the page's renderer included) and CPU share
// of one core over a minute's recording while a call plays, how long stop() takes, and the echo canceller on
// the leaking call: what it removes of the other side, what it leaves of the user, its CPU per second of audio.
// Needs the test services:
//   BRELTA_SERVICES_DIR=$(mktemp -d) dbus-run-session -- scripts/services/start build/<dir>/bench/webrecorder/bench_webrecorder [seconds]
// Prints figures beside their reference (the microphone recorder's, from bench/recorder, and the targets);
// never fails on speed.
#include "../../tests/recording/web/LeakingCall.h"
#include "platform/audio/EchoCanceller.h"
#include "recording/web/WebViewAudioRecorder.h"

#include <QCoroTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

using namespace brelta::recording;
using brelta::platform::EchoCanceller;
using brelta::platform::EchoCancellerOptions;
using brelta::recording::testing::LeakingCall;

namespace {

// The processes of the tree under `root`, from /proc.
std::vector<pid_t> processTree(pid_t root)
{
    std::multimap<pid_t, pid_t> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // The name in parentheses may hold spaces: the fields after the last ')' are plain.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            children.emplace(pid_t(fields[1].toInt()), pid);
    }
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const auto [from, to] = children.equal_range(tree[i]);
        for (auto it = from; it != to; ++it)
            tree.push_back(it->second);
    }
    return tree;
}

struct TreeUsage
{
    double cpuSeconds = 0;
    double ownCpuSeconds = 0; // of the root process alone
    long rssKiB = 0;
    int processes = 0;
};

TreeUsage treeUsage(pid_t root)
{
    TreeUsage usage;
    const double tick = double(sysconf(_SC_CLK_TCK));
    for (const pid_t pid : processTree(root)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12) {
            const double cpu = double(fields[11].toLongLong() + fields[12].toLongLong()) / tick; // utime, stime
            usage.cpuSeconds += cpu;
            if (pid == root)
                usage.ownCpuSeconds = cpu;
        }
        for (const QByteArray &entry : status.readAll().split('\n')) {
            if (entry.startsWith("VmRSS:"))
                usage.rssKiB += entry.mid(6).trimmed().split(' ').value(0).toLong();
        }
        ++usage.processes;
    }
    return usage;
}

QCoro::Task<bool> recordAMinute(const LeakingCall *call, QString folder, int seconds)
{
    WebViewAudioRecorder recorder;
    try {
        const QString path = QDir(folder).filePath(QStringLiteral("practice_bench.m4a"));
        QCoro::Task<> started = recorder.start(QUrl::fromLocalFile(path));
        co_await std::move(started);

        const TreeUsage before = treeUsage(getpid());
        long peakKiB = before.rssKiB;
        int processes = before.processes;
        QElapsedTimer wall;
        wall.start();
        std::vector<std::unique_ptr<QProcess>> players;
        while (wall.elapsed() < qint64(seconds) * 1000) {
            // The call plays over and over, so the canceller has work all along.
            if (players.empty() || players.front()->state() == QProcess::NotRunning)
                players = call->play();
            QCoro::Task<> waited = QCoro::sleepFor(std::chrono::milliseconds(250));
            co_await std::move(waited);
            const TreeUsage now = treeUsage(getpid());
            peakKiB = std::max(peakKiB, now.rssKiB);
            processes = std::max(processes, now.processes);
        }
        const double elapsed = double(wall.elapsed()) / 1000;
        const TreeUsage after = treeUsage(getpid());
        const double cpu = after.cpuSeconds - before.cpuSeconds;
        const double ownCpu = after.ownCpuSeconds - before.ownCpuSeconds;
        for (const auto &player : players)
            player->kill();

        QElapsedTimer stopping;
        stopping.start();
        QCoro::Task<> stopped = recorder.stop();
        co_await std::move(stopped);
        const double stopSeconds = double(stopping.elapsed()) / 1000;

        std::printf("\nweb-view recording for %.1f s while the leaking call plays (16 kHz mono, AAC 32 kbit/s)\n",
                    elapsed);
        std::printf("  CPU share of one core, whole tree: %6.2f %%  (this process %.2f %%, the page's %.2f %%)\n",
                    100 * cpu / elapsed, 100 * ownCpu / elapsed, 100 * (cpu - ownCpu) / elapsed);
        std::printf("  peak resident memory, whole tree:  %6.1f MiB  (%d processes, sampled every 250 ms)\n",
                    double(peakKiB) / 1024, processes);
        std::printf("  stop() took:                       %6.2f s   (target: within 2 s of the last chunk)\n",
                    stopSeconds);
        co_return true;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "cannot record: %s\n", error.what());
        co_return false;
    }
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double dbfs(const std::vector<float> &samples, const std::vector<LeakingCall::Span> &spans)
{
    double length = 0;
    for (const auto &span : spans)
        length += (span.to - span.from) * LeakingCall::kRate;
    return 10 * std::log10(std::max(LeakingCall::energy(samples, spans) / std::max(length, 1.0), 1e-12));
}

// The canceller alone on one leaking call, without the sound server: exact spans, exact levels.
void cancelOnFiles(const QString &folder, int echoDelayMs)
{
    LeakingCall call;
    if (const QString error = call.make(folder, echoDelayMs); !error.isEmpty()) {
        std::fprintf(stderr, "cannot make the scene: %s\n", qPrintable(error));
        return;
    }
    const auto run = [&call](bool gate, double *cpuPerSecond) {
        EchoCancellerOptions options;
        options.useGate = gate;
        EchoCanceller canceller(options);
        const double cpuBefore = threadCpuSeconds();
        canceller.addReference(call.far);
        canceller.addMicrophone(call.microphone);
        std::vector<float> out = canceller.takeOutput();
        const std::vector<float> rest = canceller.finish();
        out.insert(out.end(), rest.begin(), rest.end());
        if (cpuPerSecond)
            *cpuPerSecond = (threadCpuSeconds() - cpuBefore) / call.seconds;
        return out;
    };
    double cpuPerSecond = 0;
    const std::vector<float> gated = run(true, &cpuPerSecond);
    const std::vector<float> alone = run(false, nullptr);
    // What is left of the far end while the user talks over it: the part of the output that follows the
    // echo, block by block (the user's voice does not follow it, and the canceller changes the user's phase).
    std::vector<float> echo(call.microphone.size());
    for (std::size_t i = 0; i < echo.size(); ++i)
        echo[i] = call.microphone[i] - call.user[i];
    double echoEnergy = 0;
    double residualEnergy = 0;
    for (const auto &span : call.doubleTalk) {
        constexpr std::size_t block = LeakingCall::kRate / 50;
        for (auto at = std::size_t(span.from * LeakingCall::kRate);
             at + block <= std::size_t(span.to * LeakingCall::kRate); at += block) {
            double along = 0;
            double own = 0;
            for (std::size_t i = at; i < at + block; ++i) {
                along += double(gated[i]) * echo[i];
                own += double(echo[i]) * echo[i];
            }
            echoEnergy += own;
            if (own > 0)
                residualEnergy += along * along / own;
        }
    }
    const auto db = LeakingCall::decibels;
    const auto e = LeakingCall::energy;
    std::printf("\nthe echo canceller on the leaking call, far end -6 dB and %d ms late (%.1f s, no sound server)\n",
                echoDelayMs, call.seconds);
    std::printf("                                    microphone   canceller    + gate     target\n");
    std::printf("  far-only spans (after 1 s), dBFS   %8.1f    %8.1f    %8.1f\n", dbfs(call.microphone, call.farOnly),
                dbfs(alone, call.farOnly), dbfs(gated, call.farOnly));
    std::printf("    far end removed, dB                         %8.1f    %8.1f    >= 40\n",
                db(e(call.microphone, call.farOnly, 0), e(alone, call.farOnly, 0)),
                db(e(call.microphone, call.farOnly, 0), e(gated, call.farOnly, 0)));
    std::printf("  user-only spans, dBFS              %8.1f    %8.1f    %8.1f\n", dbfs(call.microphone, call.userOnly),
                dbfs(alone, call.userOnly), dbfs(gated, call.userOnly));
    std::printf("    change, dB                                  %+8.2f    %+8.2f    within 1\n",
                db(e(alone, call.userOnly, 0), e(call.microphone, call.userOnly, 0)),
                db(e(gated, call.userOnly, 0), e(call.microphone, call.userOnly, 0)));
    std::printf("  double talk: the user, dB against the user alone       %+8.1f    within 6\n",
                db(e(gated, call.doubleTalk, 0), e(call.user, call.doubleTalk, 0)));
    std::printf("  double talk: the far end removed, dB                   %8.1f\n", db(echoEnergy, residualEnergy));
    std::printf("  CPU per second of audio:           %6.1f ms\n", 1000 * cpuPerSecond);
}

QCoro::Task<> measure(int seconds, QString folder)
{
    // The microphone recorder's figures, measured by its own benchmark, for reference.
    std::printf("reference, bench/recorder (microphone recorder, one process):\n");
    QProcess reference;
    reference.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    reference.start(QStringLiteral(BENCH_RECORDER), {QString::number(seconds)});
    if (reference.waitForFinished(seconds * 1000 + 60000))
        std::printf("%s", reference.readAllStandardOutput().constData());
    else
        std::printf("  bench_recorder did not finish\n");
    std::fflush(stdout);

    LeakingCall call;
    if (const QString error = call.make(folder); !error.isEmpty()) {
        std::fprintf(stderr, "cannot make the scene: %s\n", qPrintable(error));
        QCoreApplication::exit(1);
        co_return;
    }
    QCoro::Task<bool> recording = recordAMinute(&call, folder, seconds);
    const bool recorded = co_await std::move(recording);
    std::fflush(stdout);

    for (const int delay : {50, 150})
        cancelOnFiles(QDir(folder).filePath(QStringLiteral("scene-%1").arg(delay)), delay);
    QCoreApplication::exit(recorded ? 0 : 1);
}

} // namespace

int main(int argc, char *argv[])
{
    // Chromium reads its flags from the environment only; the test server's microphone needs no prompt.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--use-fake-ui-for-media-stream");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    QTemporaryDir folder;
    for (const int delay : {50, 150})
        QDir(folder.path()).mkpath(QStringLiteral("scene-%1").arg(delay));
    QTimer::singleShot(0, &app, [&] { measure(seconds, folder.path()); });
    return app.exec();
}
