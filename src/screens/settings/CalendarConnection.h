#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace brelta::screens {

// The user's Google Calendar link as the settings panel sees it. The calendar subsystem sits beside the
// screens, not below them, so the shell implements this over its calendar manager and hands it in.
class CalendarConnection : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Events are being read from the user's Google Calendar.
    virtual bool isSynced() const = 0;
    // The Google account's e-mail while synced; none when the client has no signed-in user or profile.
    virtual std::optional<QString> accountEmail() const = 0;
    // Starts the browser sign-in and, once it succeeds, syncing. A second call while one runs does nothing.
    virtual void connectCalendar() = 0;
    // Signs out of Google (its tokens are forgotten, so no wake or relaunch reconnects), stops syncing and
    // cancels every pending nudge; the connect reminder and its flags stay as they are.
    virtual void disconnectCalendar() = 0;

signals:
    // isSynced() or accountEmail() changed.
    void changed();
};

} // namespace brelta::screens
