#pragma once

#include "designsystem/components/KitButton.h"
#include "designsystem/foundation/Icons.h"

#include <QColor>

#include <optional>

namespace brelta::designsystem {

// A compact pill-shaped button: a small icon and a bold title, 40 px high with round ends, on its own
// colour or, without one, on the brand gradient.
class MediaPill : public KitButton
{
    Q_OBJECT

public:
    static constexpr int pillHeight = 40;

    MediaPill(const QString &title, IconName icon, std::optional<QColor> backgroundColor = std::nullopt,
              QWidget *parent = nullptr);

    QString title() const { return m_title; }
    IconName icon() const { return m_icon; }
    std::optional<QColor> backgroundColor() const { return m_background; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
    IconName m_icon;
    std::optional<QColor> m_background;
};

} // namespace brelta::designsystem
