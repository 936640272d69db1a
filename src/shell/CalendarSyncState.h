#pragma once

#include <QObject>

namespace brelta::shell {

// Whether the user's calendar is connected and synced, for the dot on the main popover's meetings button.
// The calendar manager implements it.
class CalendarSyncState : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isSynced() const = 0;

signals:
    void syncedChanged();
};

} // namespace brelta::shell
