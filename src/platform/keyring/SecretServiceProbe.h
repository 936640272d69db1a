#pragma once

#include <QCoroTask>
#include <QString>

#include <chrono>

namespace brelta::platform {

// Asks the Secret Service itself whether items exist for a service/account pair, unlocked or locked.
// qtkeychain reports "not found" both for a missing item and for one inside a locked collection; the
// service's SearchItems call tells the two apart.
class SecretServiceProbe
{
public:
    struct Presence
    {
        bool answered = false; // false: the service did not answer (absent, hung, refused)
        int unlockedItems = 0;
        int lockedItems = 0;
        QString error; // why it did not answer
        // Nothing owns the Secret Service's name and nothing can start it: the bus said so at once.
        bool serviceMissing = false;

        bool absent() const { return answered && unlockedItems == 0 && lockedItems == 0; }
    };

    // The attributes qtkeychain's libsecret backend files items under: "user" = account, "server" = service.
    static QCoro::Task<Presence> findItems(QString service, QString account, std::chrono::milliseconds timeout);
};

} // namespace brelta::platform
