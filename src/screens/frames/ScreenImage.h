#pragma once

#include <QString>
#include <QWidget>

class QSvgRenderer;

namespace brelta::screens {

// One of the screens' own images (":/screens/<name>.svg"), drawn at any size without blur. `Fit` keeps the
// image's aspect ratio inside the widget; `Stretch` fills the widget whatever its shape.
class ScreenImage : public QWidget
{
    Q_OBJECT

public:
    enum class Scaling { Fit, Stretch };

    static QString resourcePath(const QString &name);

    // An image `width` wide whose height follows the image's aspect ratio (Fit), or one that takes whatever
    // room it is given (Stretch, width ignored). A missing image draws nothing and is logged.
    ScreenImage(const QString &name, Scaling scaling, int width = 0, QWidget *parent = nullptr);

    bool isValid() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSvgRenderer *m_renderer;
    Scaling m_scaling;
    int m_width;
};

} // namespace brelta::screens
