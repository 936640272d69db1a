#include "GallerySheet.h"

#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"
#include "designsystem/foundation/TextView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace brelta::gallery {

using namespace brelta::designsystem;

namespace {

class Divider : public QWidget
{
public:
    Divider()
    {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Colors::overlay10()); }
};

} // namespace

GallerySheet::GallerySheet(const QList<GallerySection> &sections, QWidget *parent) : QWidget(parent)
{
    setFixedWidth(sheetWidth);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
    layout->addWidget(new HeadingView(QStringLiteral("Design kit"), HeadingSize::H1, Colors::gray100()));
    layout->addSpacing(4);
    layout->addWidget(
        new BodyView(QStringLiteral("Tokens, text styles, icons and components, drawn for the dark appearance."),
                     BodySize::Medium, BodyWeight::Regular, Colors::gray400()));
    for (const GallerySection &section : sections) {
        layout->addSpacing(28);
        layout->addWidget(new Divider);
        layout->addSpacing(20);
        layout->addWidget(new HeadingView(section.title, HeadingSize::H3, Colors::gray100()));
        if (!section.caption.isEmpty()) {
            layout->addSpacing(2);
            layout->addWidget(new BodyView(section.caption, BodySize::Small, BodyWeight::Regular, Colors::gray400()));
        }
        layout->addSpacing(14);
        layout->addWidget(section.build());
    }
    layout->addStretch();
}

void GallerySheet::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Gradients::background(rect(), layoutDirection()));
}

QWidget *row(const QList<QWidget *> &items, int spacing, Qt::Alignment alignment)
{
    auto *widget = new QWidget;
    auto *layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget *item : items)
        layout->addWidget(item, 0, alignment);
    layout->addStretch();
    return widget;
}

QWidget *column(const QList<QWidget *> &items, int spacing, Qt::Alignment alignment)
{
    auto *widget = new QWidget;
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget *item : items)
        layout->addWidget(item, 0, alignment);
    return widget;
}

QWidget *grid(const QList<QWidget *> &items, int columns, int horizontalSpacing, int verticalSpacing)
{
    auto *widget = new QWidget;
    auto *layout = new QGridLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(horizontalSpacing);
    layout->setVerticalSpacing(verticalSpacing);
    for (int i = 0; i < items.size(); ++i)
        layout->addWidget(items.at(i), i / columns, i % columns, Qt::AlignLeft | Qt::AlignVCenter);
    layout->setColumnStretch(columns, 1);
    return widget;
}

QWidget *label(const QString &text, int size, bool dim)
{
    const BodySize bodySize = Typography::bodySizeFromPoints(size).value_or(BodySize::Small);
    return new BodyView(text, bodySize, BodyWeight::Regular, dim ? Colors::gray400() : Colors::gray100());
}

} // namespace brelta::gallery
