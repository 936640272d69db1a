#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace brelta::platform::desktop {

// Turns SIGTERM and SIGINT into a Qt signal on the main thread, so the program can end as orderly as when
// the user quits (a recording under way is stopped and handed off first). One per process.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    bool isInstalled() const { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    void onReadable();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace brelta::platform::desktop
