#include "shell/popovers/NotificationRoot.h"

#include "backend/client/ApiClient.h"
#include "designsystem/components/KitButton.h"
#include "designsystem/components/NotificationWrapperView.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "messages/MessageTexts.h"
#include "messages/MessagesShell.h"
#include "messages/NotificationStore.h"
#include "platform/Clock.h"
#include "shell/popovers/PlaceholderRoots.h"

#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QShowEvent>

#include <algorithm>

Q_LOGGING_CATEGORY(lcNotificationRoot, "brelta.shell.NotificationRoot")

namespace brelta::shell {

using namespace designsystem;
namespace Api = backend::ApiMessages;

namespace {

// A plain control of the row: its children drawn side by side, the whole padded box taking the presses,
// with a rounded outline when `outlined`.
class ControlButton final : public KitButton
{
public:
    ControlButton(bool outlined, const QString &accessibleName, QWidget *parent)
        : KitButton(parent)
        , m_outlined(outlined)
    {
        setAccessibleName(accessibleName);
        setCursor(Qt::PointingHandCursor);
        auto *layout = new QHBoxLayout(this);
        layout->setSpacing(0);
        layout->setContentsMargins(outlined ? QMargins(12, 4, 12, 4) : QMargins(4, 4, 4, 4));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    void add(QWidget *child)
    {
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout()->addWidget(child);
    }

    QSize sizeHint() const override { return layout()->sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!m_outlined)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(stateOpacity());
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = std::min<qreal>(24, box.height() / 2);
        painter.setPen(QPen(Colors::gray600(), 1));
        painter.drawRoundedRect(box, radius, radius);
    }

private:
    bool m_outlined;
};

// Frame-owned: the reports go on while the popover closes or the content goes away.
QCoro::Task<> reportEach(QPointer<backend::ApiClient> client, QStringList ids)
{
    std::vector<QCoro::Task<>> reports;
    for (const QString &id : ids) {
        if (client)
            reports.push_back(client->reportUserMessageInteraction(id));
    }
    for (QCoro::Task<> &report : reports) {
        try {
            co_await std::move(report);
        } catch (const std::exception &error) {
            // The message stays dismissed here; the backend lists it again until a report gets through.
            qCDebug(lcNotificationRoot) << "reporting a message interaction failed:" << error.what();
        }
    }
}

// Widgets replaced while one of their buttons is still in its click handler: out of the tree at once (so
// nothing finds them), deleted once the event loop is back.
void discard(QWidget *widget)
{
    if (!widget)
        return;
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

} // namespace

NotificationRoot::NotificationRoot(NotificationRootServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_autoClose(m_services.clock->createTimer())
{
    connect(m_autoClose.get(), &platform::Timer::timeout, this, &NotificationRoot::closePopoverAndClear);
    connect(m_services.store, &messages::NotificationStore::currentMessagesChanged, this,
            &NotificationRoot::onQueueChanged);
    rebuildCard();
    rebuildControls();
}

NotificationRoot::~NotificationRoot() = default;

QWidget *NotificationRoot::card() const
{
    return m_wrapper ? m_wrapper->content() : nullptr;
}

std::optional<std::chrono::milliseconds> NotificationRoot::autoCloseInterval() const
{
    if (!m_autoClose->isActive())
        return std::nullopt;
    return m_autoClose->interval();
}

// Actions -------------------------------------------------------------------------------------------------

void NotificationRoot::closeCurrent()
{
    const QStringList ids = m_services.store->currentIds();
    if (ids.isEmpty())
        return;
    if (ids.size() >= 2) {
        // At once, on this thread: the head is still the message shown.
        m_services.store->dismissCurrent();
        return;
    }
    if (m_services.isPopoverShown())
        m_services.closePopover();
    removeLater({ids.first()});
}

void NotificationRoot::closeAll()
{
    if (m_services.isPopoverShown())
        m_services.closePopover();
    const QStringList ids = m_services.store->currentIds();
    reportInteractions(ids);
    removeLater(ids);
}

void NotificationRoot::closePopoverAndClear()
{
    if (m_services.isPopoverShown())
        m_services.closePopover();
    removeLater(m_services.store->currentIds());
}

void NotificationRoot::openDashboardUrl(const QUrl &url)
{
    const std::optional<QUrl> link = messages::texts::openableLink(url.toString());
    if (!link) {
        qCInfo(lcNotificationRoot) << "a dashboard link that is not an http(s) address is not opened";
        return;
    }
    m_services.cards.shell->openUrl(*link);
    closeCurrent();
}

void NotificationRoot::removeLater(const QStringList &ids)
{
    if (ids.isEmpty())
        return;
    std::unique_ptr<platform::Timer> timer = m_services.clock->createTimer();
    platform::Timer *raw = timer.get();
    connect(raw, &platform::Timer::timeout, this, [this, raw, ids] {
        m_services.store->dismiss(ids);
        // Not inside its own signal: the timer goes once the event loop is back.
        for (auto it = m_removals.begin(); it != m_removals.end(); ++it) {
            if (it->get() == raw) {
                it->release()->deleteLater();
                m_removals.erase(it);
                break;
            }
        }
    });
    raw->start(kRemovalDelay, platform::Timer::Mode::SingleShot);
    m_removals.push_back(std::move(timer));
}

void NotificationRoot::scheduleAutoClose()
{
    const QList<Api::Message> &queue = m_services.store->currentMessages();
    if (queue.isEmpty())
        return;
    const Api::Message &head = queue.first();
    reportInteractions({head.messageId});
    m_autoClose->start(head.content.eventStartReminder ? kMeetingStartAutoClose : kAutoClose,
                       platform::Timer::Mode::SingleShot);
}

void NotificationRoot::reportInteractions(const QStringList &ids)
{
    if (!ids.isEmpty())
        reportEach(QPointer<backend::ApiClient>(m_services.client), ids);
}

// The queue ------------------------------------------------------------------------------------------------

void NotificationRoot::onQueueChanged()
{
    const QList<Api::Message> &queue = m_services.store->currentMessages();
    const QString head = queue.isEmpty() ? QString() : queue.first().messageId;
    const bool headChanged = head != m_headId;
    if (headChanged)
        rebuildCard();
    rebuildControls();
    // While hidden, the next show reports the head and starts the timer; reporting now too would count it
    // twice.
    if (headChanged && !head.isEmpty() && isVisible())
        scheduleAutoClose();
}

void NotificationRoot::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        scheduleAutoClose();
}

void NotificationRoot::rebuildCard()
{
    discard(m_wrapper);
    const QList<Api::Message> &queue = m_services.store->currentMessages();
    m_headId = queue.isEmpty() ? QString() : queue.first().messageId;
    QWidget *card = queue.isEmpty() ? nullptr : messages::makeMessageCard(queue.first(), m_services.cards);
    if (!queue.isEmpty() && !card)
        qCWarning(lcNotificationRoot) << "message" << m_headId << "carries no content this program can show";
    if (auto *report = qobject_cast<messages::MeetingReportCard *>(card))
        connect(report, &messages::MeetingReportCard::openDashboardUrl, this, &NotificationRoot::openDashboardUrl);
    if (auto *start = qobject_cast<messages::EventStartReminderCard *>(card))
        connect(start, &messages::EventStartReminderCard::actionTaken, this, &NotificationRoot::closeAll);

    m_wrapper = new NotificationWrapperView(card, this);
    const int height = m_wrapper->hasHeightForWidth() ? m_wrapper->heightForWidth(NotificationWrapperView::fixedWidth)
                                                      : m_wrapper->sizeHint().height();
    const QSize size(NotificationWrapperView::fixedWidth, std::max(height, 48));
    m_wrapper->setGeometry(QRect(QPoint(0, 0), size));
    m_wrapper->show();
    if (m_controls)
        m_controls->raise();
    if (m_services.setContentSize)
        m_services.setContentSize(size);
}

void NotificationRoot::rebuildControls()
{
    discard(m_controls);
    m_controls = new QWidget(this);
    m_controls->setObjectName(QStringLiteral("notificationControls"));
    auto *row = new QHBoxLayout(m_controls);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    const qsizetype count = m_services.store->currentMessages().size();
    if (count < 2) {
        auto *close = new ControlButton(false, QStringLiteral("Close"), m_controls);
        close->setObjectName(QStringLiteral("close"));
        close->add(new IconView(IconName::Close, IconSize::Small, close));
        connect(close, &QAbstractButton::clicked, this, &NotificationRoot::closeCurrent);
        row->addWidget(close);
    } else {
        const QString closeAllText = QStringLiteral("Close all ") + QString::number(count);
        auto *closeAll = new ControlButton(true, closeAllText, m_controls);
        closeAll->setObjectName(QStringLiteral("closeAll"));
        closeAll->add(new BodyView(closeAllText, BodySize::Tiny, BodyWeight::Regular, Colors::gray400(), closeAll));
        connect(closeAll, &QAbstractButton::clicked, this, &NotificationRoot::closeAll);
        row->addWidget(closeAll);

        auto *next = new ControlButton(true, QStringLiteral("Next"), m_controls);
        next->setObjectName(QStringLiteral("next"));
        next->add(new BodyView(QStringLiteral("Next"), BodySize::Tiny, BodyWeight::Regular, Colors::gray100(), next));
        static_cast<QHBoxLayout *>(next->layout())->addSpacing(4);
        next->add(new IconView(IconName::Chevron, IconSize::Tiny, next));
        connect(next, &QAbstractButton::clicked, this, &NotificationRoot::closeCurrent);
        row->addWidget(next);
    }
    m_controls->adjustSize();
    placeControls();
    m_controls->show();
    m_controls->raise();
}

void NotificationRoot::placeControls()
{
    if (m_controls)
        m_controls->move(width() - m_controls->width() - kControlsInset, kControlsInset);
}

void NotificationRoot::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_wrapper)
        m_wrapper->resize(width(), m_wrapper->height());
    placeControls();
}

void NotificationRoot::paintEvent(QPaintEvent *)
{
    // The card's frame covers it; with no card the popover still stands on its ground.
    QPainter painter(this);
    PopoverSurface::paintGround(painter, rect(), layoutDirection());
}

} // namespace brelta::shell
