#pragma once

namespace brelta::calendar {

// The popover the connect-calendar reminder card is shown in. The shell implements it over its alert
// popover.
class ReminderPopover
{
public:
    virtual ~ReminderPopover() = default;
    // Closes the popover when it is shown; does nothing otherwise.
    virtual void closeReminder() = 0;
};

} // namespace brelta::calendar
