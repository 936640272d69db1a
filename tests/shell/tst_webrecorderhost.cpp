#include "ShellTestSupport.h"

#include "recording/session/AudioRecorderManager.h"
#include "recording/upload/RecordingHandOff.h"
#include "recording/web/WebViewAudioRecorder.h"
#include "shell/WebRecorderHost.h"

using brelta::recording::AudioRecorderManager;
using brelta::recording::AudioRecordingState;
using brelta::recording::RecordingPurpose;
using brelta::shell::AppDelegate;
using brelta::shell::WebRecorderHost;
using brelta::testsupport::awaitTask;
using brelta::testsupport::shell::ShellFixture;
namespace settings = brelta::platform::settings;

namespace {

// Where finished recordings go instead of the upload queue.
struct KeptRecordings final : brelta::recording::RecordingHandOff
{
    void enqueue(const brelta::recording::FinishedRecording &recording) override { kept << recording; }
    QList<brelta::recording::FinishedRecording> kept;
};

// The launch with a web-view recorder host over a real recorder manager.
struct HostFixture : ShellFixture
{
    HostFixture()
    {
        AudioRecorderManager::Options options;
        options.recordingsFolder = storage.filePath(QStringLiteral("recordings"));
        manager = std::make_unique<AudioRecorderManager>(
            AudioRecorderManager::Services{clock, settings, handOff, &analytics, nullptr}, options);
        host = std::make_unique<WebRecorderHost>(manager.get(), &settings);
    }

    ~HostFixture()
    {
        delegate.reset();
        host.reset();
        manager.reset();
    }

    KeptRecordings handOff;
    std::unique_ptr<AudioRecorderManager> manager;
    std::unique_ptr<WebRecorderHost> host;
};

} // namespace

class TestWebRecorderHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The host is set up at its own launch step, after the tray; its page loads only while privacy control
    // picks the web-view recorder, and once it comes to pick it.
    void launchSetsUpTheHostAtItsStep_data()
    {
        QTest::addColumn<bool>("privacyControl");
        QTest::newRow("privacy control on: the page loads at launch") << true;
        QTest::newRow("privacy control off: no page until it is turned on") << false;
    }

    void launchSetsUpTheHostAtItsStep()
    {
        QFETCH(bool, privacyControl);
        HostFixture fixture;
        fixture.settings.setValue(settings::kOnboardingCompleted, true);
        fixture.settings.setValue(settings::kUseWebViewRecorderNewest, privacyControl);
        AppDelegate &delegate = fixture.makeDelegate();
        delegate.setWebRecorderHost(fixture.host.get());
        QStringList setUpAt;
        QObject::connect(&delegate, &AppDelegate::launchStepDone, &delegate, [&](AppDelegate::LaunchStep step) {
            if (fixture.host->isSetUp() && setUpAt.isEmpty())
                setUpAt << QString::fromLatin1(QMetaEnum::fromType<AppDelegate::LaunchStep>().valueToKey(int(step)));
        });
        delegate.launch();
        QCOMPARE(setUpAt, QStringList{QStringLiteral("WebRecorderHost")});
        const QStringList order = fixture.trace.filter(QRegularExpression(QStringLiteral("^[A-Z][A-Za-z]+$")));
        QVERIFY(order.indexOf(QStringLiteral("StatusItemAndPopovers"))
                < order.indexOf(QStringLiteral("WebRecorderHost")));

        const auto &recorder = fixture.host->recorder();
        if (!privacyControl) {
            QTest::qWait(200);
            QCOMPARE(recorder->page(), nullptr);
            fixture.settings.setValue(settings::kUseWebViewRecorderNewest, true);
        }
        QVERIFY(recorder->page());
        QTRY_VERIFY_WITH_TIMEOUT(recorder->page()->isLoaded(), 30000);
    }

    // The manager records with the host's recorder when privacy control picks it.
    void theRecorderManagerRecordsWithTheHostsRecorder()
    {
        HostFixture fixture;
        fixture.settings.setValue(settings::kOnboardingCompleted, true);
        fixture.settings.setValue(settings::kUseWebViewRecorderNewest, true);
        fixture.settings.setValue(settings::kUseExperimentAudioRecorder, false);
        AppDelegate &delegate = fixture.makeDelegate();
        delegate.setWebRecorderHost(fixture.host.get());
        delegate.launch();
        const auto started =
            awaitTask(fixture.manager->startRecording(RecordingPurpose::Practice), std::chrono::seconds(60));
        QVERIFY2(started.succeeded(), qPrintable(started.errorText()));
        QCOMPARE(fixture.host->recorder()->recordingState(), AudioRecordingState::Recording);
        QTest::qWait(1500);
        const auto stopped = awaitTask(fixture.manager->stopRecording(), std::chrono::seconds(30));
        QVERIFY2(stopped.succeeded(), qPrintable(stopped.errorText()));
        QCOMPARE(fixture.host->recorder()->recordingState(), AudioRecordingState::Stopped);
    }

    // Recovery at launch never loses a crashed recording's chunks, even when they cannot be completed.
    void recoveryKeepsWhatItCannotComplete()
    {
        QTemporaryDir folder;
        // Not audio: logged and left in place for a later launch, nothing else is touched.
        QFile broken(folder.filePath(QStringLiteral("practice_0123456789abcdef0123456789abcdef.webm")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a recording");
        broken.close();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^cannot complete the interrupted")));
        QCOMPARE(WebRecorderHost::recoverInterruptedRecordings(folder.path()), QStringList());
        QVERIFY(QFileInfo::exists(broken.fileName()));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestWebRecorderHost test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webrecorderhost.moc"
