#pragma once

#include <QString>

#include <exception>
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
    {}

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

// Any failure a recorder or its detector meets, as a sentence for logs and error reports: our own errors with
// their cause, others by their what().
inline QString describeFailure(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const AudioRecorderError &own) {
        return own.description();
    } catch (const std::exception &other) {
        return QString::fromUtf8(other.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

} // namespace brelta::recording
