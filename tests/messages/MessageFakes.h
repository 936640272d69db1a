#pragma once

// Stand-ins for the shell, the recording session and the calendar, which the test drives and reads.

#include "messages/CalendarLookahead.h"
#include "messages/MessagesShell.h"
#include "messages/RecordingControl.h"

#include <QStringList>

#include <stdexcept>

namespace brelta::testsupport::messages {

class FakeShell final : public brelta::messages::MessagesShell
{
public:
    bool isNotificationPopoverShown() const override { return popoverShown; }
    void showNotificationPopover() override
    {
        popoverShown = true;
        ++popoverShows;
    }
    void closeNotificationPopover() override
    {
        popoverShown = false;
        ++popoverCloses;
    }
    void showRecorderPanel() override { calls << QStringLiteral("recorder panel"); }
    void showRecordingStartedPopover() override { calls << QStringLiteral("recording started"); }
    void showModalAlert(const QString &title, const QString &message) override
    {
        calls << QStringLiteral("alert: ") + title + QLatin1Char('|') + message;
    }
    void openUrl(const QUrl &url) override { calls << QStringLiteral("open ") + url.toString(); }

    bool popoverShown = false;
    int popoverShows = 0;
    int popoverCloses = 0;
    QStringList calls;
};

class FakeRecording final : public brelta::messages::RecordingControl
{
public:
    recording::AudioRecordingState state() const override { return recordingState; }
    qint64 recordingDuration() const override { return duration; }
    QCoro::Task<> startPracticeRecording() override
    {
        ++starts;
        if (startFails)
            throw std::runtime_error("no microphone");
        recordingState = recording::AudioRecordingState::Recording;
        emit stateChanged();
        co_return;
    }
    QCoro::Task<> stopRecording() override
    {
        ++stops;
        recordingState = recording::AudioRecordingState::Stopped;
        emit stateChanged();
        co_return;
    }
    void restartRecordingReminder() override { ++reminderRestarts; }
    void setHasDisplayedRecordingPopover(bool shown) override { displayedPopover = shown; }

    void setState(recording::AudioRecordingState state)
    {
        recordingState = state;
        emit stateChanged();
    }

    recording::AudioRecordingState recordingState = recording::AudioRecordingState::Stopped;
    qint64 duration = 0;
    bool startFails = false;
    int starts = 0;
    int stops = 0;
    int reminderRestarts = 0;
    bool displayedPopover = false;
};

class FakeLookahead final : public brelta::messages::CalendarLookahead
{
public:
    enum class Answer { Busy, Free, Throws };

    bool isConnectedAndSynced() const override { return true; }
    QCoro::Task<bool> hasEventWithin(std::chrono::seconds window) override
    {
        ++reads;
        lastWindow = window;
        if (answer == Answer::Throws)
            throw std::runtime_error("calendar unreachable");
        co_return answer == Answer::Busy;
    }

    Answer answer = Answer::Free;
    int reads = 0;
    std::chrono::seconds lastWindow{0};
};

} // namespace brelta::testsupport::messages
