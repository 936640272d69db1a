#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

namespace brelta::gallery {

// One titled block of the sheet. `build` makes the block's content; the sheet owns it.
struct GallerySection
{
    QString title;
    QString caption;
    std::function<QWidget *()> build;
};

// Each file of sections adds its blocks here; the sheet shows them in this order.
QList<GallerySection> foundationSections();
QList<GallerySection> componentSections();

// The whole sheet: the sections one under the other on the kit's dark background.
class GallerySheet : public QWidget
{
    Q_OBJECT

public:
    explicit GallerySheet(const QList<GallerySection> &sections, QWidget *parent = nullptr);

    static constexpr int sheetWidth = 1120;
    static constexpr int margin = 40;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// Small layout pieces the sections share.
QWidget *row(const QList<QWidget *> &items, int spacing = 16,
             Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
QWidget *column(const QList<QWidget *> &items, int spacing = 8, Qt::Alignment alignment = Qt::AlignLeft);
QWidget *grid(const QList<QWidget *> &items, int columns, int horizontalSpacing = 16, int verticalSpacing = 16);
QWidget *label(const QString &text, int size = 12, bool dim = true);

} // namespace brelta::gallery
