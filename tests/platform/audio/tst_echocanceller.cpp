#include "platform/audio/EchoCanceller.h"

#include "testsupport/AudioFixtures.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace brelta::platform;
using brelta::testsupport::decodeToMonoFloat;
using brelta::testsupport::makeSpeechFixture;

namespace {

constexpr int kRate = 16000;

struct Span
{
    std::size_t from = 0;
    std::size_t to = 0; // exclusive
};

double energy(const std::vector<float> &samples, Span span)
{
    double sum = 0;
    for (std::size_t i = span.from; i < std::min(span.to, samples.size()); ++i)
        sum += double(samples[i]) * samples[i];
    return sum;
}

// 10 log10 of the energy ratio over the spans; +infinity when `denominator` is silent there.
double ratioDb(const std::vector<float> &numerator, const std::vector<float> &denominator,
               const std::vector<Span> &spans)
{
    double top = 0;
    double bottom = 0;
    for (const Span &span : spans) {
        top += energy(numerator, span);
        bottom += energy(denominator, span);
    }
    if (bottom <= 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10((top + 1e-20) / bottom);
}

std::size_t samplesFor(double seconds)
{
    return std::size_t(std::lround(seconds * kRate));
}

// A call as the microphone hears it: the other side's voice from the speakers, leaking into the microphone
// late and quieter, and the user speaking in turns with it and once over it.
struct Scene
{
    std::vector<float> reference; // what the speakers played
    std::vector<float> user;      // the user alone
    std::vector<float> microphone;
    std::vector<Span> farOnly; // after the first second
    std::vector<Span> userOnly;
    std::vector<Span> doubleTalk;
};

void place(std::vector<float> &track, const std::vector<float> &clip, std::size_t at, float gain = 1.0f)
{
    if (track.size() < at + clip.size())
        track.resize(at + clip.size(), 0.0f);
    for (std::size_t i = 0; i < clip.size(); ++i)
        track[at + i] += clip[i] * gain;
}

} // namespace

class TestEchoCanceller : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::vector<float> m_far1;
    std::vector<float> m_far2;
    std::vector<float> m_user1;
    std::vector<float> m_user2;

    std::vector<float> speech(const QString &name, const QString &text)
    {
        const QString path = m_dir.filePath(name + QStringLiteral(".wav"));
        const QString error = makeSpeechFixture(path, text, kRate);
        if (!error.isEmpty())
            qFatal("cannot make the fixture %s: %s", qPrintable(name), qPrintable(error));
        return decodeToMonoFloat(path, kRate).value_or(std::vector<float>{});
    }

    // The echo trails the reference by `echoDelayMs` (negative: the microphone's timeline runs early and the
    // echo leads), at `echoGain`.
    Scene makeScene(int echoDelayMs, float echoGain) const
    {
        Scene scene;
        const std::size_t far1At = samplesFor(0.3);
        const std::size_t user1At = far1At + m_far1.size() + samplesFor(0.8);
        const std::size_t far2At = user1At + m_user1.size() + samplesFor(0.8);
        const std::size_t user2At = far2At + samplesFor(1.0);
        place(scene.reference, m_far1, far1At);
        place(scene.reference, m_far2, far2At);
        place(scene.user, m_user1, user1At);
        place(scene.user, m_user2, user2At);
        const std::size_t total = std::max(scene.reference.size(), scene.user.size()) + samplesFor(1.0);
        scene.reference.resize(total, 0.0f);
        scene.user.resize(total, 0.0f);

        scene.microphone = scene.user;
        const std::ptrdiff_t delay =
            std::ptrdiff_t(samplesFor(std::abs(echoDelayMs) / 1000.0)) * (echoDelayMs < 0 ? -1 : 1);
        for (std::size_t i = 0; i < total; ++i) {
            const std::ptrdiff_t source = std::ptrdiff_t(i) - delay;
            if (source >= 0 && source < std::ptrdiff_t(total))
                scene.microphone[i] += scene.reference[std::size_t(source)] * echoGain;
        }

        // Spans on the microphone's timeline, kept clear of each other's echo by a margin.
        const std::size_t margin = samplesFor(0.2);
        const auto echoOf = [&](std::size_t at, std::size_t length) {
            return Span{std::size_t(std::ptrdiff_t(at) + delay), std::size_t(std::ptrdiff_t(at + length) + delay)};
        };
        const Span echo1 = echoOf(far1At, m_far1.size());
        const Span echo2 = echoOf(far2At, m_far2.size());
        const Span user2{user2At, user2At + m_user2.size()};
        scene.farOnly = {Span{std::max(echo1.from, samplesFor(1.0)), echo1.to}, Span{echo2.from, user2.from - margin}};
        if (echo2.to > user2.to + margin)
            scene.farOnly.push_back(Span{user2.to + margin, echo2.to});
        scene.userOnly = {Span{user1At, user1At + m_user1.size()}};
        scene.doubleTalk = {Span{user2.from, std::min(user2.to, echo2.to)}};
        return scene;
    }

    static std::vector<float> cancel(const Scene &scene, EchoCanceller &canceller, std::size_t piece)
    {
        std::vector<float> output;
        for (std::size_t at = 0; at < scene.microphone.size(); at += piece) {
            const std::size_t length = std::min(piece, scene.microphone.size() - at);
            canceller.addReference(std::span(scene.reference).subspan(at, length));
            canceller.addMicrophone(std::span(scene.microphone).subspan(at, length));
            const std::vector<float> ready = canceller.takeOutput();
            output.insert(output.end(), ready.begin(), ready.end());
        }
        const std::vector<float> rest = canceller.finish();
        output.insert(output.end(), rest.begin(), rest.end());
        return output;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_far1 = speech(QStringLiteral("far1"), QStringLiteral("Good morning everyone, thanks for joining the weekly "
                                                               "planning call. Let us start with the numbers."));
        m_far2 = speech(QStringLiteral("far2"), QStringLiteral("Our sales grew again this quarter, and the launch "
                                                               "in March is still on track for all regions."));
        m_user1 = speech(QStringLiteral("user1"), QStringLiteral("I think we should review the budget before Friday."));
        m_user2 = speech(QStringLiteral("user2"), QStringLiteral("Sorry, may I add something about marketing?"));
        QVERIFY(!m_far1.empty() && !m_far2.empty() && !m_user1.empty() && !m_user2.empty());
    }

    void removesTheOtherSideAndKeepsTheUser_data()
    {
        QTest::addColumn<int>("echoDelayMs");
        QTest::addColumn<double>("echoGain");
        QTest::newRow("50 ms late at -6 dB") << 50 << 0.5;
        QTest::newRow("150 ms late at -6 dB") << 150 << 0.5;
        QTest::newRow("400 ms late at -12 dB") << 400 << 0.25;
        QTest::newRow("microphone stamped 80 ms late") << -80 << 0.5;
    }

    void removesTheOtherSideAndKeepsTheUser()
    {
        QFETCH(int, echoDelayMs);
        QFETCH(double, echoGain);
        const Scene scene = makeScene(echoDelayMs, float(echoGain));
        EchoCanceller canceller;
        const std::vector<float> output = cancel(scene, canceller, 4800);
        QCOMPARE(output.size(), scene.microphone.size());

        const double farRemoved = -ratioDb(output, scene.microphone, scene.farOnly);
        const double userChange = ratioDb(output, scene.microphone, scene.userOnly);
        const double doubleTalkUser = ratioDb(output, scene.user, scene.doubleTalk);
        const auto statistics = canceller.statistics();
        qInfo("far end removed %.1f dB, user-only %+.2f dB, user in double talk %+.1f dB, echo found at %.1f ms",
              farRemoved, userChange, doubleTalkUser, statistics.echoDelayMs.value_or(-1));
        QVERIFY2(farRemoved >= 40, qPrintable(QString::number(farRemoved)));
        QVERIFY2(std::abs(userChange) <= 1.0, qPrintable(QString::number(userChange)));
        // Talking over the other side, the user stays in the recording.
        QVERIFY2(doubleTalkUser > -12, qPrintable(QString::number(doubleTalkUser)));
        QVERIFY(statistics.echoDelayMs);
        QVERIFY2(std::abs(*statistics.echoDelayMs - echoDelayMs) <= 2.0,
                 qPrintable(QString::number(*statistics.echoDelayMs)));
        QVERIFY(statistics.converged);
    }

    void outputDoesNotDependOnHowTheStreamsAreCut()
    {
        const Scene scene = makeScene(50, 0.5f);
        EchoCanceller whole;
        EchoCanceller pieces;
        const std::vector<float> once = cancel(scene, whole, scene.microphone.size());
        const std::vector<float> cut = cancel(scene, pieces, 777);
        QCOMPARE(cut.size(), once.size());
        QVERIFY(cut == once);
    }

    void followsTheEchoAcrossABreak()
    {
        // A recording resumed after a pause: the streams restart 200 ms further apart than before.
        const Scene before = makeScene(50, 0.5f);
        const Scene after = makeScene(250, 0.5f);
        EchoCanceller canceller;
        canceller.addReference(before.reference);
        canceller.addMicrophone(before.microphone);
        std::vector<float> output = canceller.takeOutput();
        canceller.markBreak();
        canceller.addReference(after.reference);
        canceller.addMicrophone(after.microphone);
        const std::vector<float> rest = canceller.finish();
        output.insert(output.end(), rest.begin(), rest.end());

        const std::size_t offset = before.microphone.size();
        const std::vector<float> secondHalf(output.begin() + std::ptrdiff_t(offset), output.end());
        const double farRemoved = -ratioDb(secondHalf, after.microphone, after.farOnly);
        const double userChange = ratioDb(secondHalf, after.microphone, after.userOnly);
        QVERIFY2(farRemoved >= 40, qPrintable(QString::number(farRemoved)));
        QVERIFY2(std::abs(userChange) <= 1.0, qPrintable(QString::number(userChange)));
        QVERIFY(canceller.statistics().echoDelayMs);
        QVERIFY2(std::abs(*canceller.statistics().echoDelayMs - 250) <= 2.0,
                 qPrintable(QString::number(*canceller.statistics().echoDelayMs)));
    }

    void withoutReferenceSoundTheMicrophonePassesUnchanged()
    {
        const Scene scene = makeScene(50, 0.5f);
        EchoCanceller canceller;
        canceller.addMicrophone(scene.user);
        canceller.addReferenceSilence(std::int64_t(scene.user.size()) / 2); // the rest is missing at the end
        std::vector<float> output = canceller.takeOutput();
        const std::vector<float> rest = canceller.finish();
        output.insert(output.end(), rest.begin(), rest.end());
        QCOMPARE(output.size(), scene.user.size());
        const Span all{0, scene.user.size()};
        QVERIFY(std::abs(ratioDb(output, scene.user, {all})) < 0.5);
        QCOMPARE(canceller.statistics().blankedFrames, std::int64_t(0));
        QVERIFY(!canceller.statistics().echoDelayMs);
    }

    void referenceLaggingBehindHoldsTheOutputBack()
    {
        EchoCanceller canceller;
        const std::vector<float> silence(std::size_t(kRate), 0.0f);
        canceller.addMicrophone(silence);
        // Nothing is known of what played while the microphone heard this second.
        QVERIFY(canceller.takeOutput().empty());
        canceller.addReference(silence);
        canceller.addReference(silence);
        QCOMPARE(canceller.takeOutput().size(), silence.size());
    }

    void badSamplesCountAsSilence()
    {
        EchoCanceller canceller;
        std::vector<float> microphone(std::size_t(kRate / 2), 0.1f);
        microphone[10] = std::numeric_limits<float>::quiet_NaN();
        microphone[20] = std::numeric_limits<float>::infinity();
        microphone[30] = 1e9f;
        canceller.addMicrophone(microphone);
        canceller.addReference(microphone);
        std::vector<float> output = canceller.takeOutput();
        const std::vector<float> rest = canceller.finish();
        output.insert(output.end(), rest.begin(), rest.end());
        QCOMPARE(output.size(), microphone.size());
        for (const float sample : output)
            QVERIFY(std::isfinite(sample) && std::abs(sample) <= 1.0f);
        QVERIFY_THROWS_EXCEPTION(std::logic_error, canceller.addMicrophone(microphone));
    }

    void unsupportedSettingsAreRefused_data()
    {
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("maxLagMs");
        QTest::newRow("44100 Hz") << 44100 << 1000;
        QTest::newRow("no rate") << 0 << 1000;
        QTest::newRow("negative lag") << 16000 << -1;
        QTest::newRow("a lag of a minute") << 16000 << 60000;
    }

    void unsupportedSettingsAreRefused()
    {
        QFETCH(int, sampleRate);
        QFETCH(int, maxLagMs);
        EchoCancellerOptions options;
        options.sampleRate = sampleRate;
        options.maxEchoLag = std::chrono::milliseconds(maxLagMs);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, EchoCanceller{options});
    }

    void gate_data()
    {
        QTest::addColumn<int>("convergedBefore"); // echo-only frames with 24 dB removed, in a row, first
        QTest::addColumn<double>("microphoneDbfs");
        QTest::addColumn<double>("cancelledDbfs");
        QTest::addColumn<double>("referenceDbfs");
        QTest::addColumn<bool>("kept");
        // The echo sits 6 dB below the reference: the converging frames teach the gate as much.
        QTest::newRow("no reference sound, not converged") << 0 << -20.0 << -20.0 << -70.0 << true;
        QTest::newRow("reference sound before convergence") << 0 << -20.0 << -21.0 << -20.0 << false;
        QTest::newRow("49 frames are not enough") << 49 << -20.0 << -21.0 << -20.0 << false;
        QTest::newRow("converged, user over the other side") << 50 << -18.0 << -22.0 << -20.0 << true;
        QTest::newRow("converged, exactly 12 dB down") << 50 << -18.0 << -30.0 << -20.0 << true;
        QTest::newRow("converged, echo well removed") << 50 << -26.0 << -50.0 << -20.0 << false;
        QTest::newRow("converged, echo poorly removed") << 50 << -26.0 << -34.0 << -20.0 << false;
        QTest::newRow("converged, output far louder than the microphone") << 50 << -90.0 << -45.0 << -20.0 << false;
        QTest::newRow("converged, no reference sound") << 50 << -20.0 << -60.0 << -70.0 << true;
    }

    void gate()
    {
        QFETCH(int, convergedBefore);
        QFETCH(double, microphoneDbfs);
        QFETCH(double, cancelledDbfs);
        QFETCH(double, referenceDbfs);
        QFETCH(bool, kept);
        EchoGate gate;
        // Echo alone is blanked before convergence and after it.
        for (int i = 0; i < convergedBefore; ++i)
            QCOMPARE(gate.decide({-26, -50, -20, -20}), EchoGate::Decision::Blank);
        QCOMPARE(gate.hasConverged(), convergedBefore >= 50);
        QCOMPARE(gate.decide({microphoneDbfs, cancelledDbfs, referenceDbfs, referenceDbfs}) == EchoGate::Decision::Keep,
                 kept);
    }

    void gateCountsOnlyFramesInARowThatHeldEcho()
    {
        EchoGate gate;
        // Quiet frames show nothing about the canceller, however much it took away, and break no run.
        for (int i = 0; i < 49; ++i)
            gate.decide({-30, -55, -20, -20});
        for (int i = 0; i < 100; ++i)
            gate.decide({-70, -100, -20, -20});
        QVERIFY(!gate.hasConverged());
        // A loud frame with little removed starts the count over.
        gate.decide({-30, -35, -20, -20});
        for (int i = 0; i < 49; ++i)
            gate.decide({-30, -55, -20, -20});
        QVERIFY(!gate.hasConverged());
        gate.decide({-30, -55, -20, -20});
        QVERIFY(gate.hasConverged());
        QVERIFY(gate.echoGainDb());
        QCOMPARE(qRound(*gate.echoGainDb()), -10);
        gate.restartConvergence();
        QVERIFY(!gate.hasConverged());
    }
};

QTEST_GUILESS_MAIN(TestEchoCanceller)
#include "tst_echocanceller.moc"
