#include "designsystem/layout/FlexibleView.h"

#include <QStyle>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace brelta::designsystem {

std::vector<std::vector<int>> flowRows(const QList<qreal> &widths, qreal availableWidth, qreal spacing)
{
    std::vector<std::vector<int>> rows;
    qreal remaining = availableWidth;
    for (int i = 0; i < widths.size(); ++i) {
        const qreal taken = widths.at(i) + spacing;
        // An empty current row takes the item whatever its width: a too-wide first item must not leave an
        // empty row above it.
        if (rows.empty() || remaining - taken < 0) {
            rows.emplace_back();
            remaining = availableWidth;
        }
        rows.back().push_back(i);
        remaining -= taken;
    }
    return rows;
}

FlexibleView::FlexibleView(qreal spacing, Qt::Alignment alignment, QWidget *parent)
    : QLayout(parent)
    , m_spacing(spacing)
    , m_alignment(alignment & Qt::AlignHorizontal_Mask)
{
    setContentsMargins(0, 0, 0, 0);
}

FlexibleView::~FlexibleView()
{
    qDeleteAll(m_items);
}

void FlexibleView::addItem(QLayoutItem *item)
{
    m_items.append(item);
    invalidate();
}

QLayoutItem *FlexibleView::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem *FlexibleView::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem *item = m_items.takeAt(index);
    invalidate();
    return item;
}

QList<qreal> FlexibleView::itemWidths() const
{
    QList<qreal> widths;
    widths.reserve(m_items.size());
    for (const QLayoutItem *item : m_items)
        widths.append(item->isEmpty() ? 0 : item->sizeHint().width());
    return widths;
}

std::vector<std::vector<int>> FlexibleView::rowsAt(int width) const
{
    const QMargins margins = contentsMargins();
    return flowRows(itemWidths(), width - margins.left() - margins.right(), m_spacing);
}

int FlexibleView::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

QSize FlexibleView::sizeHint() const
{
    // Everything on one row, as wide as it needs.
    const QMargins margins = contentsMargins();
    qreal width = 0;
    int height = 0;
    for (const QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        width += item->sizeHint().width() + m_spacing;
        height = std::max(height, item->sizeHint().height());
    }
    return QSize(int(std::ceil(width)) + margins.left() + margins.right(), height + margins.top() + margins.bottom());
}

QSize FlexibleView::minimumSize() const
{
    // The widest item on a row of its own.
    const QMargins margins = contentsMargins();
    QSize size;
    for (const QLayoutItem *item : m_items)
        size = size.expandedTo(item->minimumSize());
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void FlexibleView::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlexibleView::arrange(const QRect &rect, bool apply) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int gap = int(std::lround(m_spacing));
    int y = area.y();
    bool firstRow = true;
    for (const std::vector<int> &row : flowRows(itemWidths(), area.width(), m_spacing)) {
        int rowWidth = 0;
        int rowHeight = 0;
        for (const int index : row) {
            const QSize hint = m_items.at(index)->sizeHint();
            rowWidth += std::min(hint.width(), area.width()) + (rowWidth > 0 ? gap : 0);
            rowHeight = std::max(rowHeight, hint.height());
        }
        if (!firstRow)
            y += gap;
        firstRow = false;
        if (apply) {
            // Placed leading to trailing, then mirrored for right-to-left text.
            const Qt::LayoutDirection direction = parentWidget() ? parentWidget()->layoutDirection() : Qt::LeftToRight;
            int x = area.x();
            if (m_alignment & Qt::AlignTrailing)
                x = area.right() + 1 - rowWidth;
            else if (m_alignment & Qt::AlignHCenter)
                x = area.x() + (area.width() - rowWidth) / 2;
            for (const int index : row) {
                QLayoutItem *item = m_items.at(index);
                const QSize hint(std::min(item->sizeHint().width(), area.width()), item->sizeHint().height());
                const QRect logical(QPoint(x, y + (rowHeight - hint.height()) / 2), hint);
                item->setGeometry(QStyle::visualRect(direction, area, logical));
                x += hint.width() + gap;
            }
        }
        y += rowHeight;
    }
    const QMargins margins = contentsMargins();
    return y - area.y() + margins.top() + margins.bottom();
}

} // namespace brelta::designsystem
