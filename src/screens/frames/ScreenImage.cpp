#include "screens/frames/ScreenImage.h"

#include <QLoggingCategory>
#include <QPainter>
#include <QSvgRenderer>

namespace brelta::screens {

Q_LOGGING_CATEGORY(lcScreenImage, "brelta.screens.ScreenImage")

QString ScreenImage::resourcePath(const QString &name)
{
    return QStringLiteral(":/screens/%1.svg").arg(name);
}

ScreenImage::ScreenImage(const QString &name, Scaling scaling, int width, QWidget *parent)
    : QWidget(parent)
    , m_renderer(new QSvgRenderer(resourcePath(name), this))
    , m_scaling(scaling)
    , m_width(width)
{
    if (!m_renderer->isValid())
        qCWarning(lcScreenImage) << "image" << name << "is missing or unreadable";
    if (m_scaling == Scaling::Fit)
        setFixedSize(sizeHint());
    else
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

bool ScreenImage::isValid() const
{
    return m_renderer->isValid();
}

QSize ScreenImage::sizeHint() const
{
    const QSizeF natural = m_renderer->isValid() ? QSizeF(m_renderer->defaultSize()) : QSizeF();
    if (m_scaling == Scaling::Stretch || natural.isEmpty())
        return natural.toSize();
    return QSize(m_width, qRound(m_width * natural.height() / natural.width()));
}

void ScreenImage::paintEvent(QPaintEvent *)
{
    if (!m_renderer->isValid())
        return;
    QPainter painter(this);
    QRectF target = rect();
    if (m_scaling == Scaling::Fit) {
        const QSizeF fitted = QSizeF(m_renderer->defaultSize()).scaled(size(), Qt::KeepAspectRatio);
        target = QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    }
    m_renderer->render(&painter, target);
}

} // namespace brelta::screens
