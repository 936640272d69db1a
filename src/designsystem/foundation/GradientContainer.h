#pragma once

#include <QWidget>

namespace brelta::designsystem {

// Puts a content view on one of the kit's gradients. The gradient covers exactly the content's frame,
// so a caller that wants it to fill a popover gives the content the popover's size.
class GradientContainer : public QWidget
{
    Q_OBJECT

public:
    enum class Gradient { Background, Brand };

    GradientContainer(Gradient gradient, QWidget *content, QWidget *parent = nullptr);

    QWidget *content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Gradient m_gradient;
    QWidget *m_content;
};

// The dark background gradient, top-leading to bottom-trailing.
class BackgroundGradientContainer : public GradientContainer
{
    Q_OBJECT

public:
    explicit BackgroundGradientContainer(QWidget *content, QWidget *parent = nullptr)
        : GradientContainer(Gradient::Background, content, parent)
    {}
};

// The brand purple gradient, leading to trailing.
class BrandGradientContainer : public GradientContainer
{
    Q_OBJECT

public:
    explicit BrandGradientContainer(QWidget *content, QWidget *parent = nullptr)
        : GradientContainer(Gradient::Brand, content, parent)
    {}
};

} // namespace brelta::designsystem
