#pragma once

#include "messages/NotificationHistoryItem.h"

#include <QWidget>

class QVBoxLayout;

namespace brelta::messages {

class MessagesShell;
class NotificationStore;

// One row of the notifications panel: title and time shown, the body, and "See more" for a report whose
// dashboard link is an http(s) address.
class NotificationHistoryItemView : public QWidget
{
    Q_OBJECT

public:
    NotificationHistoryItemView(const NotificationHistoryItem &item, MessagesShell *shell, QWidget *parent = nullptr);

    QString title() const { return m_title; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
};

// The content of the main popover's notifications page: the history, newest first, or a note that there
// is none yet. It goes inside the panel frame (back button "Notifications"); it rebuilds when the
// history changes.
class NotificationsPanelContent : public QWidget
{
    Q_OBJECT

public:
    NotificationsPanelContent(NotificationStore *store, MessagesShell *shell, QWidget *parent = nullptr);

    // The panel frame's back-button title.
    static QString title() { return QStringLiteral("Notifications"); }

    bool isShowingEmptyState() const { return m_empty; }

private:
    void rebuild();

    NotificationStore *m_store;
    MessagesShell *m_shell;
    QVBoxLayout *m_layout;
    QWidget *m_content = nullptr;
    bool m_empty = true;
};

} // namespace brelta::messages
