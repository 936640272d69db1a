#include "messages/NotificationsPanel.h"

#include "designsystem/components/BrandButton.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/TextView.h"
#include "messages/MessageTexts.h"
#include "messages/MessagesShell.h"
#include "messages/NotificationStore.h"
#include "platform/format/DateFormatters.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>

namespace brelta::messages {

using namespace designsystem;

namespace {

QColor gray100()
{
    return Colors::color(ColorToken::Gray100);
}

// A body text cut to `lines` lines.
BodyView *clippedBody(const QString &text, BodySize size, BodyWeight weight, int lines, QWidget *parent)
{
    auto *view = new BodyView(text, size, weight, gray100(), parent);
    view->setMaximumHeight(QFontMetrics(Typography::bodyFont(size, weight)).lineSpacing() * lines + 2);
    return view;
}

} // namespace

NotificationHistoryItemView::NotificationHistoryItemView(const NotificationHistoryItem &item, MessagesShell *shell,
                                                         QWidget *parent)
    : QWidget(parent)
    , m_title(texts::historyTitle(item.message))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 8);

    auto *top = new QHBoxLayout;
    BodyView *title = clippedBody(m_title, BodySize::Small, BodyWeight::Bold, 1, this);
    title->setObjectName(QStringLiteral("title"));
    top->addWidget(title, 1);
    top->addWidget(new BodyView(platform::format::timeOfDay(item.shownAt()), BodySize::Tiny, BodyWeight::Regular,
                                gray100(), this));
    layout->addLayout(top);
    layout->addSpacing(4);
    BodyView *body = clippedBody(texts::historyBody(item.message), BodySize::Small, BodyWeight::Regular, 3, this);
    body->setObjectName(QStringLiteral("body"));
    layout->addWidget(body);

    const auto &report = item.message.content.meetingReport;
    if (const std::optional<QUrl> link = report ? texts::openableLink(report->dashboardUrl) : std::nullopt) {
        layout->addSpacing(8);
        auto *seeMore = new BrandButton(QStringLiteral("See more"), std::nullopt, BrandButton::Type::Secondary,
                                        BrandButton::Shape::Pill, BrandButton::Size::Small, this);
        seeMore->setObjectName(QStringLiteral("seeMore"));
        connect(seeMore, &BrandButton::clicked, this, [shell, url = *link] { shell->openUrl(url); });
        layout->addWidget(seeMore, 0, Qt::AlignLeft);
    }
}

void NotificationHistoryItemView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(rect(), 4, 4);
    painter.fillPath(shape, Colors::color(ColorToken::Overlay10));
}

NotificationsPanelContent::NotificationsPanelContent(NotificationStore *store, MessagesShell *shell, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_shell(shell)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    connect(m_store, &NotificationStore::historyChanged, this, &NotificationsPanelContent::rebuild);
    rebuild();
}

void NotificationsPanelContent::rebuild()
{
    delete m_content;
    const std::vector<NotificationHistoryItem> history = m_store->history();
    m_empty = history.empty();
    if (m_empty) {
        m_content = new QWidget(this);
        auto *column = new QVBoxLayout(m_content);
        column->setSpacing(4);
        // Sits 48 px below the centre.
        column->setContentsMargins(0, 96, 0, 0);
        column->addStretch();
        auto *heading = new HeadingView(QStringLiteral("No notifications yet"), HeadingSize::H3, gray100(), m_content);
        heading->setObjectName(QStringLiteral("emptyHeading"));
        column->addWidget(heading, 0, Qt::AlignHCenter);
        column->addWidget(new BodyView(QStringLiteral("When you get notifications, they'll show up here."),
                                       BodySize::Small, BodyWeight::Regular, gray100(), m_content),
                          0, Qt::AlignHCenter);
        column->addStretch();
    } else {
        auto *scroll = new QScrollArea(this);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        auto *list = new QWidget(scroll);
        auto *rows = new QVBoxLayout(list);
        rows->setContentsMargins(0, 0, 0, 0);
        for (const NotificationHistoryItem &item : history)
            rows->addWidget(new NotificationHistoryItemView(item, m_shell, list));
        rows->addStretch();
        scroll->setWidget(list);
        m_content = scroll;
    }
    m_layout->addWidget(m_content);
}

} // namespace brelta::messages
