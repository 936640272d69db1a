#pragma once

#include "designsystem/components/Transition.h"

#include <QWidget>

#include <memory>

namespace brelta::platform {
class Clock;
class Timer;
} // namespace brelta::platform
namespace brelta::designsystem {
class BodyView;
}

namespace brelta::screens {

// One card of the settings panel: a bold title, a grey subtitle and the entry's controls on a lightly
// filled rounded background. A focus request lights the card up briefly (a lighter fill and a gradient
// outline) once the panel has scrolled to it.
class SettingsBlock : public QWidget
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kHighlightOn{1100};
    static constexpr std::chrono::milliseconds kHighlightOff{1750};
    static constexpr std::chrono::milliseconds kHighlightFade{500};

    // Takes ownership of `content` (may be null: a card with only its texts). `clock` must outlive the card.
    SettingsBlock(const QString &title, const QString &subtitle, QWidget *content, platform::Clock *clock,
                  QWidget *parent = nullptr);
    ~SettingsBlock() override;

    QString title() const;
    QString subtitle() const;
    void setSubtitle(const QString &subtitle);
    QWidget *content() const { return m_content; }

    // Lights the card up from kHighlightOn to kHighlightOff after now, each change fading over
    // kHighlightFade. The timers belong to the card, so none fires once it is gone.
    void runFocusHighlight();
    bool isHighlighted() const { return m_highlighted; }
    // 0 (resting) to 1 (fully lit), as drawn.
    qreal highlightLevel() const { return m_highlight.value(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void setHighlighted(bool on);

    designsystem::BodyView *m_title;
    designsystem::BodyView *m_subtitle;
    QWidget *m_content;
    designsystem::Transition m_highlight;
    std::unique_ptr<platform::Timer> m_onTimer;
    std::unique_ptr<platform::Timer> m_offTimer;
    bool m_highlighted = false;
};

} // namespace brelta::screens
