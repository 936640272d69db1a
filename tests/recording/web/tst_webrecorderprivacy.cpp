#include "recording/web/WebViewAudioRecorder.h"

#include "LeakingCall.h"
#include "recording/recorders/RecorderTestSupport.h"
#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta::recording;
using namespace brelta::recording::testing;
using namespace brelta::testsupport;

// "Only listen to my voice": the other side of a call, played by another app and leaking into the
// microphone, stays out of the web-view recording while the user stays in it.
class TestWebRecorderPrivacy : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    LeakingCall m_call;

private Q_SLOTS:
    void initTestCase() { QCOMPARE(m_call.make(m_dir.path()), QString()); }

    void theOtherSideStaysOutAndTheUserStaysIn()
    {
        WebViewAudioRecorder recorder;
        const QString path = m_dir.filePath(QStringLiteral("practice_privacy.m4a"));
        QCOMPARE(outcome(awaitTask(recorder.start(QUrl::fromLocalFile(path)), std::chrono::seconds(60))),
                 QStringLiteral("ok"));
        QTest::qWait(1000);
        auto players = m_call.play();
        for (const auto &player : players)
            QTRY_VERIFY_WITH_TIMEOUT(player->state() == QProcess::NotRunning, 120000);
        QTest::qWait(1000);
        QCOMPARE(outcome(awaitTask(recorder.stop(), std::chrono::seconds(30))), QStringLiteral("ok"));

        const auto recorded = decodeToMonoFloat(path, LeakingCall::kRate);
        QVERIFY(recorded);
        const std::optional<double> offset = m_call.locate(*recorded, 8.0);
        QVERIFY(offset);
        const double farRemoved = LeakingCall::decibels(LeakingCall::energy(m_call.microphone, m_call.farOnly),
                                                        LeakingCall::energy(*recorded, m_call.farOnly, *offset));
        const double userChange = LeakingCall::decibels(LeakingCall::energy(*recorded, m_call.userOnly, *offset),
                                                        LeakingCall::energy(m_call.microphone, m_call.userOnly));
        const double doubleTalkUser = LeakingCall::decibels(LeakingCall::energy(*recorded, m_call.doubleTalk, *offset),
                                                            LeakingCall::energy(m_call.user, m_call.doubleTalk));
        qInfo("scene at %.3f s: far end %.1f dB down, user alone %+.2f dB, user in double talk %+.1f dB", *offset,
              farRemoved, userChange, doubleTalkUser);
        QVERIFY2(farRemoved >= 40, qPrintable(QString::number(farRemoved)));
        QVERIFY2(std::abs(userChange) <= 1.0, qPrintable(QString::number(userChange)));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    TestWebRecorderPrivacy test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webrecorderprivacy.moc"
