#pragma once

#include <QLoggingCategory>
#include <QSet>
#include <QString>

namespace brelta::platform {
class ErrorTracker;
}

Q_DECLARE_LOGGING_CATEGORY(lcAudioUpload)

namespace brelta::recording {

// Where the upload queue's problems go: its log and the error-tracking service. A problem that would
// otherwise come back at every pass (an item that cannot be read, a file outside the recordings folder) is
// reported once per run of the program.
class UploadReports
{
public:
    // `tracker` may be null (nothing is sent, the log still has it).
    explicit UploadReports(platform::ErrorTracker *tracker) : m_tracker(tracker) {}

    // Logs at error level and sends `text` as an error of `type`.
    void report(const QString &type, const QString &text);
    // The same, unless a report with `key` was made before in this run.
    void reportOnce(const QString &key, const QString &type, const QString &text);

private:
    platform::ErrorTracker *m_tracker;
    QSet<QString> m_reported;
};

} // namespace brelta::recording
