#pragma once

#include <QString>

#include <stdexcept>

namespace brelta::recording {

// A recorder's or the session's own refusal or failure. what() is the message itself ("recorder already
// started"); where a failure has an underlying reason (no sound server, no such source) it is kept as the
// cause, for logs and error reports.
class AudioRecorderError : public std::runtime_error
{
public:
    explicit AudioRecorderError(const QString &message, const QString &cause = {})
        : std::runtime_error(message.toStdString())
        , m_cause(cause)
    {
    }

    QString message() const { return QString::fromStdString(what()); }
    QString cause() const { return m_cause; }
    // The message, followed by the cause when there is one.
    QString description() const { return m_cause.isEmpty() ? message() : message() + QStringLiteral(": ") + m_cause; }

private:
    QString m_cause;
};

// A failure of the system-audio voice detector; same shape as AudioRecorderError.
class VoiceActivityDetectorError : public AudioRecorderError
{
public:
    using AudioRecorderError::AudioRecorderError;
};

} // namespace brelta::recording
