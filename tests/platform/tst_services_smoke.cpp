// Proves that the private services scripts/test starts are really there: a secret goes into the
// Secret Service and comes back, and sound played into the "micfeed" sink comes back from the default
// microphone source. When these fail, every later keyring or audio test would fail for the wrong reason.

#include <QEventLoop>
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
};

QTEST_GUILESS_MAIN(ServicesSmokeTest)
#include "tst_services_smoke.moc"
