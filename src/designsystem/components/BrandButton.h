#pragma once

#include "designsystem/components/KitButton.h"
#include "designsystem/components/LoaderView.h"
#include "designsystem/foundation/Icons.h"
#include "designsystem/foundation/Typography.h"

#include <optional>

namespace brelta::designsystem {

// The kit's general-purpose button: a title and an optional icon after it on a background chosen by its
// type, in one of two corner shapes and four sizes. Every measure comes from (type, shape, size). While
// loading, the content gives way to a spinner and the button keeps its size; a press still emits
// clicked(), so a screen that must not act twice guards itself.
class BrandButton : public KitButton
{
    Q_OBJECT

public:
    enum class Type { Primary, Secondary, Text };
    enum class Shape { Pill, Smooth };
    enum class Size { Large, Medium, Small, Tiny };

    // The measures of one (type, shape, size).
    struct Tokens
    {
        int height;
        int cornerRadius;
        int spacing; // between the title and the icon
        int horizontalPadding;
        BodySize textSize;
        IconSize iconSize;
        qreal spinnerScale;
    };
    static Tokens tokens(Type type, Shape shape, Size size);

    // An empty title shows no text; no icon shows none.
    BrandButton(const QString &title, std::optional<IconName> icon, Type type, Shape shape, Size size,
                QWidget *parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString &title);
    std::optional<IconName> icon() const { return m_icon; }
    void setIcon(std::optional<IconName> icon);
    Type type() const { return m_type; }
    Shape shape() const { return m_shape; }
    Size buttonSize() const { return m_size; }

    bool isLoading() const { return m_loading; }
    void setLoading(bool loading);
    bool isSpinning() const { return m_spinner.isRunning(); }

    // Takes all the width it is offered (the padding lies inside it).
    bool isFullSize() const { return m_fullSize; }
    void setFullSize(bool fullSize);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSizeF contentSize() const;
    void refresh();

    QString m_title;
    std::optional<IconName> m_icon;
    Type m_type;
    Shape m_shape;
    Size m_size;
    bool m_loading = false;
    bool m_fullSize = false;
    Spinner m_spinner;
};

} // namespace brelta::designsystem
