#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>

#include <chrono>
#include <set>

class QWebEngineDownloadRequest;
class QWebEngineProfile;

namespace brelta::recording {

class WebRecorderBridge;

// The hidden page the web-view recorder runs in: our fixed HTML on the loopback origin with the recorder's
// page script, in a profile of its own that keeps nothing on disk. No window shows it.
//
// It is locked down: the microphone is granted to our own origin and nothing else (no camera, no screen, no
// other origin), every navigation but the load of our page is refused, and so is every download and new
// window. Messages the page posts arrive through one bridge object named "webViewAudioRecorder" with a single
// slot; the page never sees the recorder itself.
//
// Lives on the main thread.
class WebRecorderPage final : public QWebEnginePage
{
    Q_OBJECT

public:
    // Makes its own off-the-record profile, owned by this page.
    explicit WebRecorderPage(QObject *parent = nullptr);
    ~WebRecorderPage() override;

    // http://localhost: a loopback origin is a secure context, so the page may ask for the microphone.
    static QUrl pageUrl();
    // The decision on a page's request for a device: only the microphone, only for our origin.
    static PermissionPolicy permissionFor(const QUrl &securityOrigin, Feature feature);

    // Loads the page if it is not loaded (first use, or after its renderer died); returns once the page
    // script is in place. Throws AudioRecorderError when the page does not load within `timeout`.
    QCoro::Task<> ensureLoaded(std::chrono::milliseconds timeout);
    bool isLoaded() const { return m_loaded; }

    // Runs the JavaScript expression `expression` in the page and returns the value it gives, once the
    // promise it may return has settled (runJavaScript alone does not wait for a promise). Throws
    // AudioRecorderError with the page's error text, or when no answer came within `timeout`, or when the
    // page died meanwhile.
    QCoro::Task<QVariant> call(QString expression, std::chrono::milliseconds timeout);

Q_SIGNALS:
    // A message the page posted, other than the answer to a call.
    void messagePosted(const QVariantMap &message);
    // The page's renderer ended (crashed, was killed); the page must be loaded again.
    void pageDied(const QString &reason);
    // Internal: a call's answer arrived (or it can no longer come).
    void callFinished(qint64 callId, const QVariant &value, const QString &error, bool failed);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    void handlePosted(const QVariantMap &message);
    void handlePermissionRequest(const QUrl &securityOrigin, Feature feature);
    void handleDownload(QWebEngineDownloadRequest *download);
    void handleRendererEnd(RenderProcessTerminationStatus status, int exitCode);
    void failCallsInFlight(const QString &reason);

    WebRecorderBridge *m_bridge;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_expectingOwnLoad = false;
    qint64 m_lastCallId = 0;
    std::set<qint64> m_callsInFlight;
};

} // namespace brelta::recording
