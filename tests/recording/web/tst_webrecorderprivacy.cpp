#include "recording/web/WebViewAudioRecorder.h"

#include "LeakingCall.h"
#include "recording/recorders/RecorderTestSupport.h"
#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

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

    // Far-only spans at least 40 dB below the unprocessed microphone, user-only spans within 1 dB.
    void checkPrivacy(const QString &path)
    {
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

    void playTheCall()
    {
        auto players = m_call.play();
        for (const auto &player : players) {
            QTRY_VERIFY_WITH_TIMEOUT(player->state() == QProcess::NotRunning, 120000);
            QCOMPARE(player->exitCode(), 0);
        }
    }

private Q_SLOTS:
    void initTestCase() { QCOMPARE(m_call.make(m_dir.path()), QString()); }

    void theOtherSideStaysOutAndTheUserStaysIn()
    {
        WebViewAudioRecorder recorder;
        const QString path = m_dir.filePath(QStringLiteral("practice_privacy.m4a"));
        QCOMPARE(outcome(awaitTask(recorder.start(QUrl::fromLocalFile(path)), std::chrono::seconds(60))),
                 QStringLiteral("ok"));
        QTest::qWait(1000);
        playTheCall();
        QTest::qWait(1000);
        QCOMPARE(outcome(awaitTask(recorder.stop(), std::chrono::seconds(30))), QStringLiteral("ok"));
        checkPrivacy(path);
    }

    void recordingCutByACrashIsCompletedAtLaunchWithoutTheOtherSide()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("practice_0123456789abcdef0123456789abcdef.m4a"));
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QStringLiteral(WEB_RECORDING_CRASH_HELPER), {path});
        QVERIFY(helper.waitForStarted(5000));
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += helper.readAllStandardOutput()).contains("recording"), 60000);
        QTest::qWait(1000);
        playTheCall();
        QTest::qWait(1500);
        ::kill(pid_t(helper.processId()), SIGKILL);
        QVERIFY(helper.waitForFinished(5000));
        QVERIFY(!QFile::exists(path));
        const QString chunks = folder.filePath(QStringLiteral("practice_0123456789abcdef0123456789abcdef.webm"));
        QVERIFY(QFileInfo(chunks).size() > 0);

        const auto recovered =
            awaitTask(WebViewAudioRecorder::recoverInterruptedRecordings(folder.path()), std::chrono::seconds(120));
        QVERIFY(recovered.succeeded());
        QCOMPARE(*recovered.value, QStringList{path});
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("practice_0123456789abcdef0123456789abcdef.m4a")});
        checkPrivacy(path);
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
