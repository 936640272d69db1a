#pragma once

#include <QCoroTask>

#include <chrono>

namespace brelta::messages {

// The calendar as the coaching tips look ahead in it. The calendar folder implements it.
class CalendarLookahead
{
public:
    virtual ~CalendarLookahead() = default;

    // A Google account is connected and its calendar is synced: only then is it read.
    virtual bool isConnectedAndSynced() const = 0;
    // Whether an event falls within the coming `window`; throws when the calendar cannot be read.
    virtual QCoro::Task<bool> hasEventWithin(std::chrono::seconds window) = 0;
};

} // namespace brelta::messages
