#include "recording/web/WebRecorderPage.h"

#include "recording/recorders/RecorderErrors.h"
#include "recording/web/WebRecorderBridge.h"
#include "recording/web/WebRecorderMessage.h"

#include <QCoroSignal>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QWebChannel>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include <variant>

Q_LOGGING_CATEGORY(lcWebPage, "brelta.recording.WebRecorderPage")

namespace brelta::recording {

namespace {

const QString kScriptName = QStringLiteral("WebViewAudioRecorderMain");
const QString kHandlerName = QStringLiteral("webViewAudioRecorder");

QString readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// A URL from the page, shortened for the log: it may be long, and the page does not choose what we print.
QString forLog(const QUrl &url)
{
    const QString text = url.toString(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    return text.size() > 120 ? text.left(120) + QStringLiteral("…") : text;
}

QWebEngineProfile *makeProfile()
{
    // No storage name: an off-the-record profile, nothing of the page reaches the disk.
    auto *profile = new QWebEngineProfile();
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);
    return profile;
}

} // namespace

WebRecorderPage::WebRecorderPage(QObject *parent)
    : QWebEnginePage(makeProfile(), parent)
    , m_bridge(new WebRecorderBridge([this](const QVariantMap &message) { handlePosted(message); }, this))
{
    // The page is destroyed before its children, so the profile outlives it as it must.
    profile()->setParent(this);
    connect(profile(), &QWebEngineProfile::downloadRequested, this, &WebRecorderPage::handleDownload);

    QWebEngineSettings *webSettings = settings();
    webSettings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    webSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    webSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    webSettings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    webSettings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    webSettings->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    webSettings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    webSettings->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);

    auto *channel = new QWebChannel(this);
    channel->registerObject(kHandlerName, m_bridge);
    setWebChannel(channel, QWebEngineScript::MainWorld);

    // The web channel's client first, then our script, as one script so their order is certain.
    const QString channelClient = readResource(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    const QString recorderScript = readResource(QStringLiteral(":/web/%1.js").arg(kScriptName));
    if (channelClient.isEmpty() || recorderScript.isEmpty()) {
        // Every page call then fails with a clear error at the first start.
        qCCritical(lcWebPage).noquote() << "failed to load userscript:" << kScriptName;
    } else {
        QWebEngineScript script;
        script.setName(kScriptName);
        script.setSourceCode(channelClient + QLatin1Char('\n') + recorderScript);
        script.setInjectionPoint(QWebEngineScript::DocumentReady);
        script.setWorldId(QWebEngineScript::MainWorld);
        script.setRunsOnSubFrames(false);
        scripts().insert(script);
    }

    connect(this, &QWebEnginePage::featurePermissionRequested, this, &WebRecorderPage::handlePermissionRequest);
    connect(this, &QWebEnginePage::renderProcessTerminated, this, &WebRecorderPage::handleRendererEnd);
}

WebRecorderPage::~WebRecorderPage() = default;

QUrl WebRecorderPage::pageUrl()
{
    return QUrl(QStringLiteral("http://localhost"));
}

QWebEnginePage::PermissionPolicy WebRecorderPage::permissionFor(const QUrl &securityOrigin, Feature feature)
{
    const QUrl own = pageUrl();
    const bool ownOrigin = securityOrigin.scheme() == own.scheme() && securityOrigin.host() == own.host()
                           && securityOrigin.port() == own.port() && securityOrigin.userInfo().isEmpty();
    return feature == MediaAudioCapture && ownOrigin ? PermissionGrantedByUser : PermissionDeniedByUser;
}

void WebRecorderPage::handlePermissionRequest(const QUrl &securityOrigin, Feature feature)
{
    const PermissionPolicy policy = permissionFor(securityOrigin, feature);
    if (policy == PermissionGrantedByUser)
        qCInfo(lcWebPage).noquote() << "microphone granted to" << forLog(securityOrigin);
    else
        qCWarning(lcWebPage).noquote() << "refused device request" << int(feature) << "of" << forLog(securityOrigin);
    setFeaturePermission(securityOrigin, feature, policy);
}

void WebRecorderPage::handleDownload(QWebEngineDownloadRequest *download)
{
    // A download could write anywhere the page asks, even over a recording: nothing is saved.
    qCWarning(lcWebPage).noquote() << "refused a download of" << forLog(download->url());
    download->cancel();
}

bool WebRecorderPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // setHtml() arrives as the main frame's navigation to a data URL; it is the only one we start.
    if (m_expectingOwnLoad && isMainFrame && url.scheme() == QLatin1String("data")) {
        m_expectingOwnLoad = false;
        return true;
    }
    qCWarning(lcWebPage).noquote() << "refused a navigation to" << forLog(url) << "of type" << int(type)
                                   << (isMainFrame ? "in the page" : "in a frame");
    return false;
}

void WebRecorderPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                               int lineNumber, const QString &sourceID)
{
    Q_UNUSED(sourceID)
    if (level == ErrorMessageLevel)
        qCWarning(lcWebPage).noquote() << "page:" << lineNumber << message.left(500);
    else
        qCDebug(lcWebPage).noquote() << "page:" << lineNumber << message.left(500);
}

QCoro::Task<> WebRecorderPage::ensureLoaded(std::chrono::milliseconds timeout)
{
    if (m_loaded)
        co_return;
    QPointer<WebRecorderPage> self(this);
    if (m_loading) {
        // Another caller started the load: wait for its outcome.
        auto finished = qCoro(this, &QWebEnginePage::loadFinished, timeout);
        co_await std::move(finished);
        if (!self || !m_loaded)
            throw AudioRecorderError(QStringLiteral("failed to load the recorder page"));
        co_return;
    }
    const QString html = readResource(QStringLiteral(":/web/WebViewAudioRecorder.html"));
    m_loading = true;
    m_expectingOwnLoad = true;
    auto finished = qCoro(this, &QWebEnginePage::loadFinished, timeout);
    setHtml(html, pageUrl());
    const std::optional<bool> ok = co_await std::move(finished);
    if (!self)
        throw AudioRecorderError(QStringLiteral("failed to load the recorder page"), QStringLiteral("page closed"));
    m_loading = false;
    m_expectingOwnLoad = false;
    if (!ok || !*ok)
        throw AudioRecorderError(QStringLiteral("failed to load the recorder page"),
                                 ok ? QStringLiteral("the load failed")
                                    : QStringLiteral("no load within %1 ms").arg(timeout.count()));
    m_loaded = true;
    qCInfo(lcWebPage) << "recorder page loaded; renderer process" << renderProcessPid();
}

QCoro::Task<QVariant> WebRecorderPage::call(QString expression, std::chrono::milliseconds timeout)
{
    if (!m_loaded)
        throw AudioRecorderError(QStringLiteral("the recorder page is not loaded"));
    const qint64 id = ++m_lastCallId;
    m_callsInFlight.insert(id);
    QPointer<WebRecorderPage> self(this);
    const QString script = QStringLiteral("breltaPageCall(%1, function () { return %2; })").arg(id).arg(expression);
    runJavaScript(script, QWebEngineScript::MainWorld, [self, id](const QVariant &accepted) {
        // Anything but true: the page script is missing or broken, and no answer will come.
        if (self && accepted != QVariant(true) && self->m_callsInFlight.erase(id) != 0)
            Q_EMIT self->callFinished(id, {}, QStringLiteral("the page script did not take the call"), true);
    });

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const auto left = timeout - std::chrono::milliseconds(waited.elapsed());
        if (left.count() <= 0)
            break;
        auto next = qCoro(this, &WebRecorderPage::callFinished, left);
        const auto finished = co_await std::move(next);
        if (!self)
            throw AudioRecorderError(QStringLiteral("the recorder page was closed"));
        if (!finished)
            break;
        const auto &[callId, value, error, failed] = *finished;
        if (callId != id)
            continue;
        if (failed)
            throw AudioRecorderError(error);
        co_return value;
    }
    m_callsInFlight.erase(id);
    throw AudioRecorderError(QStringLiteral("the recorder page did not answer within %1 ms").arg(timeout.count()));
}

void WebRecorderPage::handlePosted(const QVariantMap &message)
{
    const pagemessage::Message read = pagemessage::read(message);
    if (const auto *finished = std::get_if<pagemessage::CallFinished>(&read)) {
        if (m_callsInFlight.erase(finished->callId) == 0) {
            qCInfo(lcWebPage) << "late answer to page call" << finished->callId << "dropped";
            return;
        }
        Q_EMIT callFinished(finished->callId, finished->value, finished->error.value_or(QString()),
                            finished->error.has_value());
        return;
    }
    Q_EMIT messagePosted(message);
}

void WebRecorderPage::handleRendererEnd(RenderProcessTerminationStatus status, int exitCode)
{
    m_loaded = false;
    const char *how = status == NormalTerminationStatus     ? "ended"
                      : status == AbnormalTerminationStatus ? "ended abnormally"
                      : status == CrashedTerminationStatus  ? "crashed"
                                                            : "was killed";
    const QString reason =
        QStringLiteral("the recorder page's renderer %1 (exit code %2)").arg(QString::fromLatin1(how)).arg(exitCode);
    qCWarning(lcWebPage).noquote() << reason;
    failCallsInFlight(reason);
    Q_EMIT pageDied(reason);
}

void WebRecorderPage::failCallsInFlight(const QString &reason)
{
    const std::set<qint64> calls = std::exchange(m_callsInFlight, {});
    for (const qint64 id : calls)
        Q_EMIT callFinished(id, {}, reason, true);
}

} // namespace brelta::recording
