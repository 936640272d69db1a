#pragma once

#include "recording/recorders/AudioRecordingState.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

namespace brelta::calendar {

// What the meetings panel needs of the application: the main popover, its recorder panel, the
// recording-started popover, the modal alert and the browser. The shell implements it.
class MeetingsShell
{
public:
    virtual ~MeetingsShell() = default;

    // Closes the main popover when it is shown.
    virtual void closeMainPopover() = 0;
    // Puts the main popover on its recorder panel (animated), without opening it.
    virtual void showRecorderPanel() = 0;
    virtual void showRecordingStartedPopover() = 0;
    // A modal alert with one "Close" button.
    virtual void showModalAlert(const QString &title, const QString &message) = 0;
    // Opens the page in the user's browser or meeting application. Callers pass only http(s) links with a
    // host (platform/format/WebLink.h).
    virtual void openUrl(const QUrl &url) = 0;
};

// The recording session as the meetings panel sees it. The shell wraps the session in it.
class MeetingRecorder : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual recording::AudioRecordingState state() const = 0;
    // Starts a practice recording without source parameters; throws when it could not start.
    virtual QCoro::Task<> startPracticeRecording() = 0;
    virtual void setHasDisplayedRecordingPopover(bool shown) = 0;

signals:
    void stateChanged();
};

} // namespace brelta::calendar
