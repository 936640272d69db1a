// Gallery sections for the kit's foundations: colours, gradients, text, icons and the view helpers.
#include "GallerySheet.h"

#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/GradientContainer.h"
#include "designsystem/foundation/Gradients.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "designsystem/foundation/ViewHelpers.h"

#include <QGridLayout>
#include <QPainter>
#include <QSet>
#include <QVBoxLayout>

#include <cmath>

namespace brelta::gallery {

using namespace brelta::designsystem;

namespace {

const QColor backgroundTop(71, 38, 92);

// Tokens meant to be drawn on the background (text, borders, glows); the rest are fills under Gray100 text.
bool isForeground(ColorToken token)
{
    static const QSet<ColorToken> foreground = {ColorToken::Gray100,  ColorToken::Gray200,  ColorToken::Gray400,
                                                ColorToken::Gray600,  ColorToken::Info,     ColorToken::Warning,
                                                ColorToken::Negative, ColorToken::BrandPink};
    return foreground.contains(token);
}

QString hex(const QColor &color)
{
    QString text = color.name(QColor::HexRgb).toUpper();
    if (color.alpha() != 255)
        text += QStringLiteral(" · %1%").arg(qRound(color.alphaF() * 100));
    return text;
}

class Swatch : public QWidget
{
public:
    explicit Swatch(ColorToken token) : m_token(token) { setFixedSize(152, 56); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF tile = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const QColor color = Colors::color(m_token);
        painter.setPen(QPen(Colors::overlay20(), 1));
        painter.setBrush(isForeground(m_token) ? QBrush(Qt::NoBrush) : QBrush(color));
        painter.drawRoundedRect(tile, 8, 8);
        painter.setPen(isForeground(m_token) ? color : Colors::gray100());
        painter.setFont(Typography::bodyFont(BodySize::Large, BodyWeight::Bold));
        painter.drawText(tile.adjusted(12, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Aa"));
        const double ratio = isForeground(m_token)
                                 ? contrast::ratio(contrast::composite(color, backgroundTop), backgroundTop)
                                 : contrast::ratio(Colors::gray100(), contrast::composite(color, backgroundTop));
        painter.setFont(Typography::bodyFont(BodySize::Tiny, BodyWeight::Medium));
        painter.setPen(isForeground(m_token) ? Colors::gray400() : Colors::gray100());
        painter.drawText(tile.adjusted(0, 0, -10, 0), Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("%1:1").arg(ratio, 0, 'f', 1));
    }

private:
    ColorToken m_token;
};

QWidget *colourSection()
{
    QList<QWidget *> cells;
    for (ColorToken token : allColorTokens) {
        cells << column({new Swatch(token),
                         new BodyView(Colors::assetName(token), BodySize::Small, BodyWeight::Medium, Colors::gray100()),
                         label(hex(Colors::color(token)), 10)},
                        4);
    }
    return grid(cells, 6, 24, 20);
}

QWidget *fixedBox(int width, int height, QWidget *content)
{
    auto *box = new QWidget;
    box->setFixedSize(width, height);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->addWidget(content, 0, Qt::AlignLeft | Qt::AlignBottom);
    return box;
}

QWidget *gradientSection()
{
    auto *background = new BackgroundGradientContainer(fixedBox(
        504, 132,
        column({new BodyView(QStringLiteral("Background"), BodySize::Medium, BodyWeight::Bold, Colors::gray100()),
                label(QStringLiteral("rgb(71, 38, 92) top-leading → rgb(49, 55, 86) bottom-trailing"), 12, false)},
               2)));
    auto *brand = new BrandGradientContainer(
        fixedBox(504, 132,
                 column({new BodyView(QStringLiteral("Brand"), BodySize::Medium, BodyWeight::Bold, Colors::gray100()),
                         label(QStringLiteral("rgb(142, 69, 249) leading → rgb(165, 84, 246) trailing"), 12, false)},
                        2)));
    return row({background, brand}, 32);
}

QWidget *typographySection()
{
    QList<QWidget *> headings;
    const QList<std::pair<HeadingSize, QString>> headingSizes = {{HeadingSize::H1, QStringLiteral("h1 · 32")},
                                                                 {HeadingSize::H2, QStringLiteral("h2 · 24")},
                                                                 {HeadingSize::H3, QStringLiteral("h3 · 18")}};
    for (const auto &[size, name] : headingSizes) {
        headings << row({new HeadingView(QStringLiteral("Your meeting report is ready"), size, Colors::gray100()),
                         label(name + QStringLiteral(" · AnekBangla-SemiBold · tracking 0.4"), 10)},
                        16, Qt::AlignLeft | Qt::AlignBaseline);
    }

    QList<QWidget *> bodies;
    const QList<std::pair<BodySize, QString>> bodySizes = {{BodySize::Large, QStringLiteral("large · 16")},
                                                           {BodySize::Medium, QStringLiteral("medium · 14")},
                                                           {BodySize::Small, QStringLiteral("small · 12")},
                                                           {BodySize::Tiny, QStringLiteral("tiny · 10")}};
    for (const auto &[size, name] : bodySizes) {
        bodies << label(name, 10);
        for (BodyWeight weight : {BodyWeight::Regular, BodyWeight::Medium, BodyWeight::Bold})
            bodies << new BodyView(Typography::fontName(weight) + QStringLiteral(" — Record, upload, coach"), size,
                                   weight, Colors::gray100());
    }

    auto *paragraph =
        new BodyView(QStringLiteral("Body text wraps at word boundaries with 1 px between lines and 0.35 px tracking. "
                                    "Emoji come from Noto Color Emoji 🎉."),
                     BodySize::Medium, BodyWeight::Regular, Colors::gray200());
    paragraph->setFixedWidth(520);

    auto *bengali = new HeadingView(QStringLiteral("The heading face also sets Bengali: বাংলা লিপি"), HeadingSize::H3,
                                    Colors::gray200());
    return column({column(headings, 10), grid(bodies, 4, 28, 10), paragraph, bengali}, 22);
}

QWidget *iconSection()
{
    QList<QWidget *> cells;
    for (IconName name : Icons::all()) {
        auto *icon = new IconView(name, IconSize::Medium);
        auto *cell = column({icon, label(Icons::rawValue(name), 10)}, 6, Qt::AlignHCenter);
        cell->setFixedWidth(92);
        cells << cell;
    }
    return grid(cells, 10, 8, 18);
}

QWidget *iconSizeSection()
{
    const QList<IconName> sample = {IconName::Mic,       IconName::Calendar,     IconName::Settings,
                                    IconName::Refresh,   IconName::ExternalLink, IconName::Warning,
                                    IconName::UserCheck, IconName::PauseRounded};
    QList<QWidget *> rows;
    const QList<std::pair<IconSize, QString>> sizes = {{IconSize::Tiny, QStringLiteral("tiny · 12")},
                                                       {IconSize::Small, QStringLiteral("small · 16")},
                                                       {IconSize::Medium, QStringLiteral("medium · 24")},
                                                       {IconSize::Large, QStringLiteral("large · 32")}};
    for (const auto &[size, name] : sizes) {
        QList<QWidget *> items;
        auto *caption = label(name, 10);
        caption->setFixedWidth(80);
        items << caption;
        for (IconName icon : sample)
            items << new IconView(icon, size);
        rows << row(items, 20);
    }
    QList<QWidget *> tinted;
    const QList<std::pair<IconName, QColor>> tints = {
        {IconName::Error, Colors::negative()},    {IconName::Check, Colors::positive()},
        {IconName::Warning, Colors::warning()},   {IconName::Info, Colors::info()},
        {IconName::Zap, Colors::brandPink()},     {IconName::Eye, Colors::gray400()},
        {IconName::EyeCrossed, Colors::gray600()}};
    auto *caption = label(QStringLiteral("tinted"), 10);
    caption->setFixedWidth(80);
    tinted << caption;
    for (const auto &[icon, color] : tints) {
        auto *view = new IconView(icon, IconSize::Medium);
        view->setColor(color);
        tinted << view;
    }
    rows << row(tinted, 20);
    return column(rows, 14);
}

QWidget *iconButtonSection()
{
    QList<QWidget *> items;
    const QList<std::pair<QColor, QString>> fills = {{Colors::overlay10(), QStringLiteral("Overlay10")},
                                                     {Colors::overlay20(), QStringLiteral("Overlay20")},
                                                     {Colors::brandPurple(), QStringLiteral("BrandPurple")},
                                                     {Colors::negative40(), QStringLiteral("Negative40")}};
    for (const auto &[fill, name] : fills) {
        items << column({row({new IconButton(IconName::More, IconButton::Size::Large, fill),
                              new IconButton(IconName::Close, IconButton::Size::Medium, fill)},
                             12),
                         label(name + QStringLiteral(" · 40 / 32"), 10)},
                        8);
    }
    return row(items, 40, Qt::AlignLeft | Qt::AlignTop);
}

// A rounded Overlay10 box like the kit's text fields.
class FieldBox : public QWidget
{
public:
    explicit FieldBox(QWidget *content)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(content);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Colors::overlay10());
        painter.drawRoundedRect(QRectF(rect()), 8, 8);
    }
};

// A field-like box that shows a placeholder hint behind its text while the text is empty.
QWidget *placeholderDemo(const QString &text)
{
    auto *value = new BodyView(text, BodySize::Medium, BodyWeight::Regular, Colors::gray100());
    auto *hint =
        new BodyView(QStringLiteral("Email address"), BodySize::Medium, BodyWeight::Regular, Colors::gray400());
    auto *stack = new PlaceholderStack(value, hint, Qt::AlignLeft | Qt::AlignVCenter);
    stack->setHintShown(text.isEmpty());
    return new FieldBox(fixedBox(240, 44, stack));
}

class MeasuredText : public QWidget
{
public:
    MeasuredText(TypographyType type, const QString &text, const QString &fontName, qreal width)
        : m_type(type)
        , m_text(text)
        , m_fontName(fontName)
        , m_width(width)
    {
        const QRectF box = Typography::measureText(type, text, fontName, BodySize::Medium, width, 10000);
        setFixedSize(int(width) + 2, int(std::ceil(box.height())) + 2);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QRectF box = Typography::measureText(m_type, m_text, m_fontName, BodySize::Medium, m_width, 10000);
        painter.setPen(QPen(Colors::overlay40(), 1, Qt::DashLine));
        painter.drawRect(box.translated(0.5, 0.5));
    }

private:
    TypographyType m_type;
    QString m_text;
    QString m_fontName;
    qreal m_width;
};

QWidget *measuredTextDemo()
{
    const QString title = QStringLiteral("Unable to process your recording");
    const QString message = QStringLiteral("Something went wrong. Please try again. If it keeps happening, "
                                           "check your connection and record once more.");
    auto stacked = [](QWidget *outline, QWidget *text) {
        auto *holder = new QWidget;
        auto *layout = new QGridLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(outline, 0, 0, Qt::AlignLeft | Qt::AlignTop);
        layout->addWidget(text, 0, 0, Qt::AlignLeft | Qt::AlignTop);
        return holder;
    };
    auto *titleText = new BodyView(title, BodySize::Medium, BodyWeight::Bold, Colors::gray100());
    titleText->setFixedWidth(240);
    auto *messageText = new BodyView(message, BodySize::Medium, BodyWeight::Regular, Colors::gray100());
    messageText->setFixedWidth(240);
    return row({stacked(new MeasuredText(TypographyType::Heading, title, QStringLiteral("Inter-Bold"), 240), titleText),
                stacked(new MeasuredText(TypographyType::Body, message, QStringLiteral("Inter"), 240), messageText)},
               40, Qt::AlignLeft | Qt::AlignTop);
}

QWidget *helperSection()
{
    auto *measured = new BodyView(QStringLiteral("This line reports its laid-out size"), BodySize::Small,
                                  BodyWeight::Regular, Colors::gray100());
    auto *report = label(QStringLiteral("not shown yet"), 10);
    auto *calculator = new SizeCalculator(measured);
    QObject::connect(calculator, &SizeCalculator::sizeMeasured, report, [report](QSize size) {
        static_cast<BodyView *>(report)->setText(
            QStringLiteral("measured %1 × %2").arg(size.width()).arg(size.height()));
    });
    return column(
        {row({placeholderDemo({}), placeholderDemo(QStringLiteral("ada@example.com"))}, 24),
         label(QStringLiteral("Measured text: dashed boxes are measureText() for Inter-Bold (heading spacing) and "
                              "Inter (body spacing) at 240 px; the text is drawn on top."),
               10),
         measuredTextDemo(), column({measured, report}, 2)},
        16);
}

} // namespace

QList<GallerySection> foundationSections()
{
    return {
        {QStringLiteral("Colours"),
         QStringLiteral(
             "24 tokens. Ratio: the colour on the background's top stop, or Gray100 text on the fill over it "
             "(the success banner draws Positive at 60 %, 5.3:1)."),
         colourSection},
        {QStringLiteral("Gradients"), QStringLiteral("Gradient containers around fixed-size content."),
         gradientSection},
        {QStringLiteral("Typography"), QStringLiteral("Headings in Anek Bangla SemiBold; body text in Inter."),
         typographySection},
        {QStringLiteral("Icons"), QStringLiteral("50 icons on a 24-unit grid, 2-unit strokes, tinted Gray100."),
         iconSection},
        {QStringLiteral("Icon sizes and tints"), {}, iconSizeSection},
        {QStringLiteral("Icon buttons"), QStringLiteral("Large and medium, with a 16 px icon whatever the diameter."),
         iconButtonSection},
        {QStringLiteral("View helpers"), QStringLiteral("Placeholder, text measurement and size calculator."),
         helperSection},
    };
}

} // namespace brelta::gallery
