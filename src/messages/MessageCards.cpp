#include "messages/MessageCards.h"

#include "analytics/AnalyticsManager.h"
#include "analytics/Event.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/MediaPill.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "messages/MessageTexts.h"
#include "messages/MessagesShell.h"
#include "messages/RecordingControl.h"
#include "platform/telemetry/ErrorTracker.h"

#include <QCoroTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcMessageCards, "brelta.messages.MessageCards")

namespace brelta::messages {

using namespace designsystem;
namespace Api = backend::ApiMessages;
using recording::AudioRecordingState;

namespace {

QColor gray100()
{
    return Colors::color(ColorToken::Gray100);
}

QVBoxLayout *cardLayout(QWidget *card, int spacing)
{
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(spacing);
    return layout;
}

BrandButton *pillButton(const QString &title, std::optional<IconName> icon, BrandButton::Type type, QWidget *parent)
{
    auto *button = new BrandButton(title, icon, type, BrandButton::Shape::Pill, BrandButton::Size::Small, parent);
    button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return button;
}

// Runs apart from the card, which the popover may destroy while the recording starts.
QCoro::Task<> startRecordingAfterJoin(CardServices services, QPointer<RecordingControl> recording)
{
    co_await QCoro::sleepFor(std::chrono::milliseconds(300));
    if (!recording || recording->state() != AudioRecordingState::Stopped)
        co_return;
    try {
        QCoro::Task<> start = recording->startPracticeRecording();
        co_await std::move(start);
    } catch (const std::exception &error) {
        qCWarning(lcMessageCards) << "the recording could not start:" << error.what();
        if (services.errorTracker)
            services.errorTracker->captureError(error);
        services.shell->showModalAlert(QStringLiteral("Unable to start recording. Please try again"), QString());
        co_return;
    }
    services.shell->showRecordingStartedPopover();
    if (recording)
        recording->setHasDisplayedRecordingPopover(true);
}

QCoro::Task<> stopIgnoringFailure(QPointer<RecordingControl> recording)
{
    if (!recording)
        co_return;
    try {
        QCoro::Task<> stop = recording->stopRecording();
        co_await std::move(stop);
    } catch (const std::exception &error) {
        qCInfo(lcMessageCards) << "stopping from the meeting-end card failed:" << error.what();
    }
}

} // namespace

SimpleTextCard::SimpleTextCard(const Api::SimpleTextMessageContent &content, QWidget *parent) : QWidget(parent)
{
    QVBoxLayout *layout = cardLayout(this, 4);
    layout->addWidget(new HeadingView(content.title, HeadingSize::H3, gray100(), this));
    layout->addWidget(new BodyView(content.body, BodySize::Small, BodyWeight::Regular, gray100(), this));
}

MeetingReportCard::MeetingReportCard(const Api::MeetingReportMessageContent &content, const QColor &secondaryColor,
                                     QWidget *parent)
    : QWidget(parent)
{
    QVBoxLayout *layout = cardLayout(this, 16);
    auto *heading = new QVBoxLayout;
    heading->setSpacing(4);
    heading->addWidget(new HeadingView(content.messageTitle, HeadingSize::H3, Qt::white, this));

    const std::optional<QString> date = texts::formattedDate(content);
    const std::optional<QString> duration = texts::formattedDuration(content.meetingDuration);
    if (date)
        m_pieces << *date;
    if (content.wordsSaid) {
        if (date)
            m_pieces << QStringLiteral("•");
        m_pieces << texts::wordsText(*content.wordsSaid);
    }
    if (duration) {
        if (date || content.wordsSaid)
            m_pieces << QStringLiteral("•");
        m_pieces << *duration;
    }
    auto *info = new QHBoxLayout;
    info->setSpacing(8);
    QFont infoFont = font();
    infoFont.setPixelSize(12);
    for (const QString &piece : std::as_const(m_pieces)) {
        auto *label = new QLabel(piece, this);
        label->setTextFormat(Qt::PlainText);
        label->setFont(infoFont);
        label->setStyleSheet(QStringLiteral("color: %1").arg(secondaryColor.name()));
        info->addWidget(label);
    }
    info->addStretch();
    heading->addLayout(info);
    layout->addLayout(heading);

    auto *summary = new BodyView(content.summary, BodySize::Small, BodyWeight::Regular, Qt::white, this);
    summary->setObjectName(QStringLiteral("summary"));
    layout->addWidget(summary);

    if (const std::optional<QUrl> link = texts::openableLink(content.dashboardUrl)) {
        BrandButton *seeMore = pillButton(QStringLiteral("See more"), std::nullopt, BrandButton::Type::Primary, this);
        seeMore->setObjectName(QStringLiteral("seeMore"));
        connect(seeMore, &BrandButton::clicked, this, [this, url = *link] { emit openDashboardUrl(url); });
        layout->addWidget(seeMore, 0, Qt::AlignLeft);
    }
}

EventStartReminderCard::EventStartReminderCard(const Api::EventStartReminderMessageContent &content,
                                               CardServices services, QWidget *parent)
    : QWidget(parent)
    , m_content(content)
    , m_services(services)
{
    QVBoxLayout *layout = cardLayout(this, 16);
    auto *badge = new QHBoxLayout;
    badge->setSpacing(6);
    badge->addWidget(new IconView(IconName::GoogleCalendar, IconSize::Tiny, this));
    badge->addWidget(
        new BodyView(QStringLiteral("From your calendar"), BodySize::Small, BodyWeight::Regular, gray100(), this));
    badge->addStretch();
    layout->addLayout(badge);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(new HeadingView(content.title, HeadingSize::H3, gray100(), this));
    m_body = new BodyView(QString(), BodySize::Small, BodyWeight::Regular, gray100(), this);
    m_body->setObjectName(QStringLiteral("body"));
    texts->addWidget(m_body);
    layout->addLayout(texts);

    m_button = pillButton(QString(), std::nullopt, BrandButton::Type::Primary, this);
    m_button->setObjectName(QStringLiteral("joinAndRecord"));
    connect(m_button, &BrandButton::clicked, this, &EventStartReminderCard::joinAndRecord);
    layout->addWidget(m_button, 0, Qt::AlignLeft);

    auto *tipBox = new QVBoxLayout;
    tipBox->setContentsMargins(12, 8, 12, 8);
    tipBox->setSpacing(4);
    tipBox->addWidget(
        new BodyView(QStringLiteral("Coaching tip:"), BodySize::Small, BodyWeight::Bold, gray100(), this));
    tipBox->addWidget(new BodyView(content.tip, BodySize::Small, BodyWeight::Regular, gray100(), this));
    layout->addLayout(tipBox);

    connect(m_services.recording, &RecordingControl::stateChanged, this, &EventStartReminderCard::refresh);
    refresh();
}

void EventStartReminderCard::refresh()
{
    const bool recording = m_services.recording->state() == AudioRecordingState::Recording;
    const bool hasLink = m_content.googleMeetUrl.has_value();
    m_body->setText(recording ? QStringLiteral("Don't miss out on the event.") : m_content.body);
    m_button->setVisible(!recording || hasLink);
    m_button->setTitle(recording ? QStringLiteral("Join")
                                 : (hasLink ? QStringLiteral("Join & record") : QStringLiteral("Record")));
    m_button->setIcon(hasLink ? IconName::ExternalLink : IconName::Mic);
}

void EventStartReminderCard::joinAndRecord()
{
    analytics::sendClick(m_services.analytics, analytics::event::ScreenName::NotificationsPopover,
                         analytics::event::ComponentName::StartRecordingButton);
    const CardServices services = m_services;
    const std::optional<QUrl> link = texts::openableLink(m_content.googleMeetUrl);
    emit actionTaken();
    services.shell->showRecorderPanel();
    if (link)
        services.shell->openUrl(*link);
    else if (m_content.googleMeetUrl)
        qCInfo(lcMessageCards) << "the meeting link is not an http(s) address; it is not opened";
    startRecordingAfterJoin(services, QPointer<RecordingControl>(services.recording));
}

EventEndReminderCard::EventEndReminderCard(CardServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
{
    QVBoxLayout *layout = cardLayout(this, 24);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(new HeadingView(QStringLiteral("Did your meeting end?"), HeadingSize::H3, gray100(), this));
    texts->addWidget(new BodyView(QStringLiteral("Press stop, or let Brelta continue to listen."), BodySize::Small,
                                  BodyWeight::Regular, gray100(), this));
    layout->addLayout(texts);

    auto *row = new QHBoxLayout;
    auto *stop = new MediaPill(QStringLiteral("Stop"), IconName::Stop, Colors::color(ColorToken::Negative), this);
    stop->setObjectName(QStringLiteral("stop"));
    connect(stop, &MediaPill::clicked, this, &EventEndReminderCard::stopAndClose);
    row->addWidget(stop);
    row->addStretch();
    m_elapsed = new BodyView(elapsed(), BodySize::Small, BodyWeight::Regular, gray100(), this);
    row->addWidget(m_elapsed);
    layout->addLayout(row);

    connect(m_services.recording, &RecordingControl::durationChanged, this, [this] { m_elapsed->setText(elapsed()); });
}

QString EventEndReminderCard::elapsed() const
{
    return texts::elapsedText(m_services.recording->recordingDuration());
}

void EventEndReminderCard::stopAndClose()
{
    if (m_services.recording->state() != AudioRecordingState::Recording)
        return;
    stopIgnoringFailure(QPointer<RecordingControl>(m_services.recording));
    m_services.shell->closeNotificationPopover();
}

void EventEndReminderCard::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_services.recording->state() == AudioRecordingState::Recording)
        m_services.recording->restartRecordingReminder();
    else
        m_services.shell->closeNotificationPopover();
}

QWidget *makeMessageCard(const Api::Message &message, CardServices services, QWidget *parent)
{
    const Api::MessageContent &content = message.content;
    if (content.simpleText)
        return new SimpleTextCard(*content.simpleText, parent);
    if (content.meetingReport)
        return new MeetingReportCard(*content.meetingReport, MeetingReportCard::defaultSecondaryColor(), parent);
    if (content.eventStartReminder)
        return new EventStartReminderCard(*content.eventStartReminder, services, parent);
    if (content.eventEndReminder)
        return new EventEndReminderCard(services, parent);
    return nullptr;
}

} // namespace brelta::messages
