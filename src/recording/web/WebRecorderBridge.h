#pragma once

#include <QObject>
#include <QVariantMap>

#include <functional>
#include <utility>

namespace brelta::recording {

// The one object the recorder page sees, as "webViewAudioRecorder": a mailbox with a single slot and nothing
// else a page could call or listen to. Whatever the page posts is handed on as it is; checking it is up to
// the receiver.
class WebRecorderBridge final : public QObject
{
    Q_OBJECT

public:
    using Receiver = std::function<void(const QVariantMap &)>;

    explicit WebRecorderBridge(Receiver receiver, QObject *parent = nullptr)
        : QObject(parent)
        , m_receiver(std::move(receiver))
    {}

public Q_SLOTS:
    void post(const QVariantMap &message) { m_receiver(message); }

private:
    Receiver m_receiver;
};

} // namespace brelta::recording
