#pragma once

#include <QLayout>
#include <QList>

#include <vector>

namespace brelta::designsystem {

// The rows a flow of items of these widths takes in `availableWidth`, as lists of item indexes. An item
// joins the current row while the room left, less its width and one `spacing`, stays at or above zero
// (the spacing counts after every item, the last of a row too); otherwise it starts the next row. An item
// too wide for any row gets a row of its own, so no row is ever empty; no items give no rows.
std::vector<std::vector<int>> flowRows(const QList<qreal> &widths, qreal availableWidth, qreal spacing);

// A layout that sets its items side by side at their preferred sizes and wraps them onto further rows, as
// a text wraps words: the goal chips of the settings panel, say. `spacing` lies between the items of a row
// and between rows; each row is placed by the horizontal part of `alignment` and its items are centred on
// the row vertically. Its height follows its width.
class FlexibleView : public QLayout
{
    Q_OBJECT

public:
    explicit FlexibleView(qreal spacing, Qt::Alignment alignment = Qt::AlignLeading, QWidget *parent = nullptr);
    ~FlexibleView() override;

    qreal itemSpacing() const { return m_spacing; }
    Qt::Alignment rowAlignment() const { return m_alignment; }

    // The rows at `width` (the layout's own margins taken off), as item indexes.
    std::vector<std::vector<int>> rowsAt(int width) const;

    void addItem(QLayoutItem *item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    // Lays the items out in `rect` (when `apply`) and returns the height the rows take.
    int arrange(const QRect &rect, bool apply) const;
    QList<qreal> itemWidths() const;

    qreal m_spacing;
    Qt::Alignment m_alignment;
    QList<QLayoutItem *> m_items;
};

} // namespace brelta::designsystem
