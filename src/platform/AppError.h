#pragma once

#include <QMetaType>
#include <QString>

#include <stdexcept>

namespace brelta::platform {

// The application's own error value: thrown where a caller must stop, or handed to the error-tracking
// service where something went wrong that nobody waits for.
class AppError : public std::runtime_error
{
public:
    enum class Kind { General, RecordingTooShort };

    AppError() : AppError(Kind::General, QString()) {}

    AppError(Kind kind, const QString &message)
        : std::runtime_error(message.toStdString())
        , m_kind(kind)
        , m_message(message)
    {}

    Kind kind() const { return m_kind; }
    const QString &message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

} // namespace brelta::platform

Q_DECLARE_METATYPE(brelta::platform::AppError)
