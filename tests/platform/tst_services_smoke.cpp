// Proves that the private services scripts/test starts are really there: a secret goes into the
// Secret Service and comes back, and sound played into the "micfeed" sink comes back from the default
// microphone source. When these fail, every later keyring or audio test would fail for the wrong reason.
// It also shows that each audio test's PulseAudio server is its own, so audio tests may run side by side.

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <qt6keychain/keychain.h>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kToneMs = 300;

struct SimpleDeleter
{
    void operator()(pa_simple *s) const { pa_simple_free(s); }
};
using SimpleStream = std::unique_ptr<pa_simple, SimpleDeleter>;

SimpleStream openStream(pa_stream_direction_t direction, const char *device, QString *error)
{
    const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 1};
    int code = 0;
    SimpleStream stream(
        pa_simple_new(nullptr, "brelta-smoke", direction, device, "smoke", &spec, nullptr, nullptr, &code));
    if (!stream)
        *error = QString::fromUtf8(pa_strerror(code));
    return stream;
}

double rms(const std::vector<int16_t> &samples)
{
    double sum = 0;
    for (int16_t s : samples)
        sum += double(s) * double(s);
    return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
}

// Runs a keychain job to its end; false when it did not finish in 10 s.
bool runJob(QKeychain::Job &job)
{
    bool finished = false;
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    job.start();
    if (!finished)
        loop.exec();
    return finished;
}

struct Run
{
    int exitCode = -1;
    QString output;
};

// Runs a program to its end (at most 30 s) and returns its exit code and what it printed.
Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        result.output = QStringLiteral("%1 did not finish: %2").arg(program, process.errorString());
        return result;
    }
    result.exitCode = process.exitCode();
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    return result;
}

QString withPulseAudio()
{
    return qEnvironmentVariable("BRELTA_SOURCE_DIR") + QStringLiteral("/scripts/services/with-pulseaudio");
}

// Processes whose command line names `text`.
QStringList processesNaming(const QString &text)
{
    QStringList found;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (const QString &pid : pids) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && QString::fromUtf8(cmdline.readAll()).contains(text))
            found << pid;
    }
    return found;
}

} // namespace

class ServicesSmokeTest : public QObject
{
    Q_OBJECT

private slots:
    void secretServiceStoresAndReturnsASecret()
    {
        const QString service = QStringLiteral("com.brelta.desktop-smoke");
        const QString secret = QUuid::createUuid().toString();

        QKeychain::WritePasswordJob write(service);
        write.setAutoDelete(false);
        write.setKey(QStringLiteral("brelta"));
        write.setTextData(secret);
        QVERIFY2(runJob(write), "write did not finish");
        QCOMPARE(write.error(), QKeychain::NoError);

        QKeychain::ReadPasswordJob read(service);
        read.setAutoDelete(false);
        read.setKey(QStringLiteral("brelta"));
        QVERIFY2(runJob(read), "read did not finish");
        QCOMPARE(read.error(), QKeychain::NoError);
        QCOMPARE(read.textData(), secret);

        QKeychain::DeletePasswordJob remove(service);
        remove.setAutoDelete(false);
        remove.setKey(QStringLiteral("brelta"));
        QVERIFY(runJob(remove));
        QCOMPARE(remove.error(), QKeychain::NoError);
    }

    void toneIntoMicfeedComesBackFromTheDefaultSource()
    {
        QString error;
        SimpleStream recorder = openStream(PA_STREAM_RECORD, nullptr, &error);
        QVERIFY2(recorder, qPrintable(error));
        SimpleStream player = openStream(PA_STREAM_PLAYBACK, "micfeed", &error);
        QVERIFY2(player, qPrintable(error));

        // A 440 Hz tone at half scale; the recording must hear it, well above silence.
        std::vector<int16_t> tone(size_t(kRate * kToneMs / 1000));
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = int16_t(16000 * std::sin(2 * M_PI * 440.0 * double(i) / kRate));

        // Read twice the tone's length while it plays, so start-up latency cannot hide it.
        std::vector<int16_t> heard(tone.size() * 2);
        int readCode = 0;
        int readResult = 0;
        std::thread reader([&] {
            readResult = pa_simple_read(recorder.get(), heard.data(), heard.size() * sizeof(int16_t), &readCode);
        });
        int code = 0;
        const int written = pa_simple_write(player.get(), tone.data(), tone.size() * sizeof(int16_t), &code);
        const int drained = pa_simple_drain(player.get(), &code);
        reader.join();

        QCOMPARE(written, 0);
        QCOMPARE(drained, 0);
        QVERIFY2(readResult == 0, pa_strerror(readCode));
        QVERIFY2(rms(heard) > 1000.0, qPrintable(QString::number(rms(heard))));
    }

    void eachAudioTestHasAServerOfItsOwn()
    {
        const Run loaded =
            run(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                          QStringLiteral("sink_name=smoke_only_here")});
        QVERIFY2(loaded.exitCode == 0, qPrintable(loaded.output));
        auto unload = qScopeGuard([module = loaded.output.trimmed()] {
            run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
        });

        const Run ours =
            run(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")});
        QVERIFY2(ours.output.contains(QStringLiteral("smoke_only_here")), qPrintable(ours.output));

        // Another test's server: laid out alike, and untouched by what this test did to its own.
        const Run theirs = run(withPulseAudio(), {QStringLiteral("pactl"), QStringLiteral("list"),
                                                  QStringLiteral("short"), QStringLiteral("sinks")});
        QCOMPARE(theirs.exitCode, 0);
        QVERIFY2(theirs.output.contains(QStringLiteral("speakers"))
                     && theirs.output.contains(QStringLiteral("micfeed")),
                 qPrintable(theirs.output));
        QVERIFY2(!theirs.output.contains(QStringLiteral("smoke_only_here")), qPrintable(theirs.output));
    }

    void theServerEndsWithItsTestAndPassesTheStatusOn()
    {
        const Run ended = run(withPulseAudio(), {QStringLiteral("sh"), QStringLiteral("-c"),
                                                 QStringLiteral("echo \"$PULSE_SERVER\"; exit 3")});
        QCOMPARE(ended.exitCode, 3);
        const QString address = ended.output.trimmed();
        QVERIFY2(address.startsWith(QStringLiteral("unix:"))
                     && address.endsWith(QStringLiteral("/runtime/pulse/native")),
                 qPrintable(address));
        QVERIFY(address != qEnvironmentVariable("PULSE_SERVER"));

        // Its folder (socket, log) is gone, and no process of it is left.
        const QString folder = address.mid(5).chopped(int(qstrlen("/runtime/pulse/native")));
        QVERIFY2(!QFileInfo::exists(folder), qPrintable(folder));
        QCOMPARE(processesNaming(folder), QStringList());
    }
};

QTEST_GUILESS_MAIN(ServicesSmokeTest)
#include "tst_services_smoke.moc"
