#include "shell/popovers/RecordingPopovers.h"

#include "designsystem/components/BrandButton.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "shell/RecordingSession.h"

#include <QBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace brelta::shell {

namespace {

using designsystem::BodySize;
using designsystem::BodyView;
using designsystem::BodyWeight;
using designsystem::BrandButton;
using designsystem::Colors;
using designsystem::IconName;
using designsystem::IconSize;
using designsystem::IconView;

// A rounded Overlay20 box behind a notice inside a popover.
class NoticeBox : public QWidget
{
public:
    explicit NoticeBox(QWidget *parent = nullptr) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        painter.fillPath(path, Colors::overlay20());
    }
};

QHBoxLayout *iconRow(IconName icon, QWidget *text, int spacing)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(spacing);
    row->addWidget(new IconView(icon, IconSize::Small), 0, Qt::AlignVCenter);
    row->addWidget(text, 1, Qt::AlignVCenter);
    return row;
}

BodyView *body(const QString &text, BodySize size, BodyWeight weight = BodyWeight::Regular)
{
    return new BodyView(text, size, weight, Colors::gray100());
}

QVBoxLayout *column(QWidget *surface)
{
    return static_cast<QVBoxLayout *>(surface->layout());
}

} // namespace

// Recording started ---------------------------------------------------------------------------------

RecordingStartedRoot::RecordingStartedRoot(platform::SettingsStore *settings, std::function<void()> goToSettings,
                                           QWidget *parent)
    : PopoverSurface(parent)
    , m_settings(settings)
    , m_warning(new NoticeBox(this))
{
    QVBoxLayout *stack = column(this);
    stack->setSpacing(16);
    stack->addLayout(iconRow(IconName::Mic, body(QStringLiteral("Brelta is currently on"), BodySize::Medium), 8));

    m_warning->setObjectName(QStringLiteral("headsetWarning"));
    auto *warning = new QVBoxLayout(m_warning);
    warning->setContentsMargins(16, 8, 16, 8);
    warning->setSpacing(8);
    warning->addLayout(
        iconRow(IconName::Warning,
                body(QStringLiteral("Everyone in the conversation will be recorded if you're not using a headset"),
                     BodySize::Small),
                16));
    auto *button = new BrandButton(QStringLiteral("Go to settings"), std::nullopt, BrandButton::Type::Secondary,
                                   BrandButton::Shape::Pill, BrandButton::Size::Small, m_warning);
    button->setObjectName(QStringLiteral("goToSettingsButton"));
    warning->addWidget(button, 0, Qt::AlignLeading);
    connect(button, &QAbstractButton::clicked, this, [goToSettings = std::move(goToSettings)] {
        if (goToSettings)
            goToSettings();
    });
    stack->addWidget(m_warning);
    stack->addStretch();
    refresh();
}

bool RecordingStartedRoot::isWarningShown() const
{
    return !m_warning->isHidden();
}

void RecordingStartedRoot::refresh()
{
    m_warning->setVisible(!m_settings->value(platform::settings::kUseWebViewRecorderNewest));
}

void RecordingStartedRoot::showEvent(QShowEvent *event)
{
    // The privacy switch may have changed in the settings since the last show.
    refresh();
    PopoverSurface::showEvent(event);
}

// Recording ended -----------------------------------------------------------------------------------

RecordingEndedRoot::RecordingEndedRoot(QWidget *parent) : PopoverSurface(parent)
{
    QVBoxLayout *stack = column(this);
    stack->setContentsMargins(16, 12, 16, 12);
    stack->addLayout(
        iconRow(IconName::Check, body(QStringLiteral("Session finished"), BodySize::Medium, BodyWeight::Bold), 6));
    stack->addWidget(body(QStringLiteral("Your feedback will be with you soon!"), BodySize::Small));
    stack->addStretch();
}

// Recording reminder --------------------------------------------------------------------------------

int RecordingReminderRoot::minutesLeft(double maxRecordingSeconds, qint64 recordedSeconds)
{
    const qint64 left = qint64(std::floor(maxRecordingSeconds / 60)) - recordedSeconds / 60;
    return left < 2 ? 1 : int(left);
}

QString RecordingReminderRoot::minutesLeftText(int minutes)
{
    return QStringLiteral("%1 minute%2 left").arg(minutes).arg(minutes == 1 ? QString() : QStringLiteral("s"));
}

RecordingReminderRoot::RecordingReminderRoot(RecordingSession *session, std::function<void()> close, QWidget *parent)
    : PopoverSurface(parent)
    , m_session(session)
    , m_close(std::move(close))
    , m_extendRow(new NoticeBox(this))
    , m_minutes(body(QString(), BodySize::Medium))
{
    QVBoxLayout *stack = column(this);
    stack->setContentsMargins(12, 12, 12, 12);
    stack->setSpacing(12);
    stack->addLayout(iconRow(IconName::Mic, body(QStringLiteral("Brelta is currently on"), BodySize::Medium), 8));

    m_extendRow->setObjectName(QStringLiteral("extendRow"));
    m_minutes->setObjectName(QStringLiteral("minutesLeft"));
    auto *row = new QHBoxLayout(m_extendRow);
    row->setContentsMargins(12, 6, 8, 6);
    row->addLayout(iconRow(IconName::Warning, m_minutes, 6), 1);
    auto *extend = new BrandButton(QStringLiteral("Extend"), std::nullopt, BrandButton::Type::Primary,
                                   BrandButton::Shape::Smooth, BrandButton::Size::Tiny, m_extendRow);
    extend->setObjectName(QStringLiteral("extendButton"));
    row->addWidget(extend, 0, Qt::AlignVCenter);
    connect(extend, &QAbstractButton::clicked, this, &RecordingReminderRoot::extend);
    stack->addWidget(m_extendRow);
    stack->addStretch();

    if (m_session)
        connect(m_session, &RecordingSession::durationChanged, this, &RecordingReminderRoot::refresh);
    refresh();
}

int RecordingReminderRoot::heightAt(int width) const
{
    return std::max(heightForWidth(width), minimumSizeHint().height());
}

bool RecordingReminderRoot::isExtendRowShown() const
{
    return !m_extendRow->isHidden();
}

QString RecordingReminderRoot::minutesText() const
{
    return m_minutes->text();
}

void RecordingReminderRoot::refresh()
{
    if (!m_session) {
        m_extendRow->hide();
        return;
    }
    const int minutes = minutesLeft(m_session->maxRecordingDuration(), m_session->recordingDuration());
    m_minutes->setText(minutesLeftText(minutes));
    m_extendRow->setVisible(minutes <= kExtendRowMinutes);
}

void RecordingReminderRoot::extend()
{
    if (m_close)
        m_close();
    if (!m_session)
        return;
    m_session->setMaxRecordingDuration(m_session->maxRecordingDuration() + kExtensionSeconds);
    m_session->scheduleAutomaticStop();
}

// Post-onboarding hint ------------------------------------------------------------------------------

PostOnboardingRoot::PostOnboardingRoot(platform::Clock *clock, std::function<void()> close, QWidget *parent)
    : PopoverSurface(parent)
    , m_close(std::move(close))
    , m_timer(clock->createTimer())
{
    auto *text =
        new BodyView(QStringLiteral("Click here to record anytime"), BodySize::Small, BodyWeight::Regular, Qt::white);
    column(this)->setContentsMargins(12, 8, 12, 8);
    column(this)->addWidget(text, 0, Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    connect(m_timer.get(), &platform::Timer::timeout, this, [this] {
        if (m_close)
            m_close();
    });
}

PostOnboardingRoot::~PostOnboardingRoot() = default;

void PostOnboardingRoot::showEvent(QShowEvent *event)
{
    m_timer->start(kShownFor, platform::Timer::Mode::SingleShot);
    PopoverSurface::showEvent(event);
}

void PostOnboardingRoot::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && m_close)
        m_close();
    PopoverSurface::mouseReleaseEvent(event);
}

} // namespace brelta::shell
