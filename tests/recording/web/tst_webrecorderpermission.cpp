#include "recording/web/WebRecorderPage.h"
#include "recording/web/WebViewAudioRecorder.h"

#include "recording/recorders/RecorderTestSupport.h"
#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta::recording;
using namespace brelta::recording::testing;
using namespace brelta::testsupport;

// Runs without Chromium's fake permission prompt, which grants every request before the page's permission
// signal fires: here our own decision is all there is. The engine's stand-in devices (a microphone and a
// camera) make sure every request reaches that decision instead of failing for want of a device.
class TestWebRecorderPermission : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void ourOriginGetsTheMicrophone()
    {
        QVERIFY(!qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("fake-ui")));
        WebViewAudioRecorder recorder;
        const QString path = m_dir.filePath(QStringLiteral("practice_permission.m4a"));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^microphone granted to http://localhost")));
        QCOMPARE(outcome(awaitTask(recorder.start(QUrl::fromLocalFile(path)), std::chrono::seconds(60))),
                 QStringLiteral("ok"));
        QTest::qWait(2000);
        QCOMPARE(outcome(awaitTask(recorder.stop(), std::chrono::seconds(30))), QStringLiteral("ok"));
        // The engine's stand-in microphone beeps: what it heard reached the file.
        const auto decoded = decodeToMonoFloat(path, 16000);
        QVERIFY(decoded);
        QVERIFY2(rms(*decoded) > 0.01, qPrintable(QString::number(rms(*decoded))));
    }

    void ourPageGetsNoCamera()
    {
        WebViewAudioRecorder recorder;
        recorder.setup();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.page()->isLoaded(), 30000);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^refused device request .* of http://localhost")));
        const auto answer =
            awaitTask(recorder.page()->call(QStringLiteral("navigator.mediaDevices.getUserMedia({video: true})"),
                                            std::chrono::seconds(20)),
                      std::chrono::seconds(30));
        QVERIFY(answer.threw());
        QVERIFY2(answer.errorText().startsWith(QLatin1String("NotAllowedError")), qPrintable(answer.errorText()));
    }

    void anotherOriginIsRefused()
    {
        WebRecorderPage page;
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^refused device request .* of http://localhost:8080")));
        Q_EMIT page.featurePermissionRequested(QUrl(QStringLiteral("http://localhost:8080")),
                                               QWebEnginePage::MediaAudioCapture);
    }

    void decisions_data()
    {
        QTest::addColumn<QUrl>("origin");
        QTest::addColumn<int>("feature");
        QTest::addColumn<bool>("granted");
        const QUrl own(QStringLiteral("http://localhost/"));
        QTest::newRow("our page, microphone") << own << int(QWebEnginePage::MediaAudioCapture) << true;
        QTest::newRow("our page, camera") << own << int(QWebEnginePage::MediaVideoCapture) << false;
        QTest::newRow("our page, microphone and camera") << own << int(QWebEnginePage::MediaAudioVideoCapture) << false;
        QTest::newRow("our page, the screen") << own << int(QWebEnginePage::DesktopVideoCapture) << false;
        QTest::newRow("our page, the screen's sound") << own << int(QWebEnginePage::DesktopAudioVideoCapture) << false;
        QTest::newRow("our page, notifications") << own << int(QWebEnginePage::Notifications) << false;
        QTest::newRow("another host") << QUrl(QStringLiteral("http://example.com/"))
                                      << int(QWebEnginePage::MediaAudioCapture) << false;
        QTest::newRow("another port") << QUrl(QStringLiteral("http://localhost:8080/"))
                                      << int(QWebEnginePage::MediaAudioCapture) << false;
        QTest::newRow("another scheme") << QUrl(QStringLiteral("https://localhost/"))
                                        << int(QWebEnginePage::MediaAudioCapture) << false;
        QTest::newRow("a numeric loopback")
            << QUrl(QStringLiteral("http://127.0.0.1/")) << int(QWebEnginePage::MediaAudioCapture) << false;
        QTest::newRow("with credentials")
            << QUrl(QStringLiteral("http://user@localhost/")) << int(QWebEnginePage::MediaAudioCapture) << false;
    }

    void decisions()
    {
        QFETCH(QUrl, origin);
        QFETCH(int, feature);
        QFETCH(bool, granted);
        QCOMPARE(WebRecorderPage::permissionFor(origin, QWebEnginePage::Feature(feature))
                     == QWebEnginePage::PermissionGrantedByUser,
                 granted);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    TestWebRecorderPermission test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webrecorderpermission.moc"
