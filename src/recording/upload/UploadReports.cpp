#include "recording/upload/UploadReports.h"

#include "platform/telemetry/ErrorTracker.h"

Q_LOGGING_CATEGORY(lcAudioUpload, "brelta.recording.AudioUploadManager")

namespace brelta::recording {

void UploadReports::report(const QString &type, const QString &text)
{
    qCCritical(lcAudioUpload).noquote() << type + QLatin1String(": ") + text;
    if (m_tracker)
        m_tracker->captureError(type, text);
}

void UploadReports::reportOnce(const QString &key, const QString &type, const QString &text)
{
    if (m_reported.contains(key))
        return;
    m_reported.insert(key);
    report(type, text);
}

} // namespace brelta::recording
