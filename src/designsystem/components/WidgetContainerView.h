#pragma once

#include "designsystem/components/Banners.h"
#include "designsystem/components/KitButton.h"
#include "designsystem/components/LoaderView.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QHBoxLayout;

namespace brelta::designsystem {

class HeadingView;

// The back button of a panel: a leading chevron pointing back (or, while loading, a small spinner) and
// the panel's title. Disabled while loading.
class PanelBackButton : public KitButton
{
    Q_OBJECT

public:
    static constexpr int indicatorSide = 24;
    static constexpr qreal loaderScale = 0.55;

    explicit PanelBackButton(const QString &title, QWidget *parent = nullptr);

    QString title() const;
    bool isLoading() const { return m_loading; }
    void setLoading(bool loading);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    class Indicator;
    Indicator *m_indicator;
    HeadingView *m_title;
    bool m_loading = false;
};

// The frame of the main popover's secondary panels (settings, notifications, meetings): a 355 × 400 box
// with 16 px of padding; a header of the back button with the panel's title, then optionally a compact
// error banner and a control at the trailing end; 16 px below it, the panel's content.
class WidgetContainerView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int panelWidth = 355;
    static constexpr int panelHeight = 400;
    static constexpr int padding = 16;
    static constexpr int headerGap = 16;

    // Takes ownership of `content`.
    WidgetContainerView(const QString &backButtonTitle, QWidget *content, QWidget *parent = nullptr);

    PanelBackButton *backButton() const { return m_back; }
    QWidget *content() const { return m_content; }

    bool isLoading() const { return m_back->isLoading(); }
    void setLoading(bool loading) { m_back->setLoading(loading); }

    // The error shown in the header; none hides the banner.
    std::optional<QString> error() const;
    void setError(const std::optional<QString> &error);
    ErrorBanner *errorBanner() const { return m_errorBanner; }

    // The control at the trailing end of the header (ownership taken; the previous one is deleted), or none.
    void setHeaderRight(QWidget *control);
    QWidget *headerRight() const { return m_headerRight; }

signals:
    void backPressed();

private:
    void rebuildHeaderEnd();

    PanelBackButton *m_back;
    QWidget *m_content;
    QHBoxLayout *m_header;
    QPointer<ErrorBanner> m_errorBanner;
    QPointer<QWidget> m_headerRight;
};

} // namespace brelta::designsystem
