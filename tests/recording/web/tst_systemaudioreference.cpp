#include "recording/web/SystemAudioReference.h"

#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>

using namespace brelta::recording;
using namespace brelta::testsupport;

// The echo reference's own capture, against the test's private sound server.
class TestSystemAudioReference : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void capturesTheDefaultOutputsMonitor()
    {
        SystemAudioReference reference({});
        const auto started = awaitTask(reference.start(), std::chrono::seconds(10));
        QVERIFY(started.finished);
        QVERIFY(started.value.value_or(false));
        QCOMPARE(reference.sourceName(), QStringLiteral("speakers.monitor"));
        QVERIFY(!sourceOutputIndex(QStringLiteral("Echo reference")).isEmpty());
        reference.stop();
        QTRY_VERIFY_WITH_TIMEOUT(sourceOutputIndex(QStringLiteral("Echo reference")).isEmpty(), 5000);
    }

    // A recording can end (or its recorder go) while the reference is still opening a capture, as it does
    // after every switch of output: the opening is abandoned at once and leaves no stream on the server.
    void endingWhileACaptureOpensAbandonsIt_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("stopped") << false;
        QTest::newRow("destroyed") << true;
    }

    void endingWhileACaptureOpensAbandonsIt()
    {
        QFETCH(bool, destroy);
        auto reference = std::make_unique<SystemAudioReference>(SystemAudioReference::Options{});
        QCoro::Task<bool> starting = reference->start(); // suspended while the server answers
        if (destroy)
            reference.reset();
        else
            reference->stop();
        const auto started = awaitTask(std::move(starting), std::chrono::seconds(2));
        QVERIFY2(started.finished, "the abandoned start still waits for the server");
        QVERIFY(started.value.has_value());
        QCOMPARE(*started.value, false);
        if (reference)
            QVERIFY(!reference->isCapturing());
        // Give a start that was not really abandoned the time to open its stream.
        QTest::qWait(500);
        QCOMPARE(sourceOutputIndex(QStringLiteral("Echo reference")), QString());
    }
};

QTEST_GUILESS_MAIN(TestSystemAudioReference)

#include "tst_systemaudioreference.moc"
