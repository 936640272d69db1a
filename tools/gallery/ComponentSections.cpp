// Gallery sections for the kit's components, each in every state it has.
#include "GallerySheet.h"

#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/BrandDropdownMenu.h"
#include "designsystem/components/BrandInput.h"
#include "designsystem/components/BrandMenu.h"
#include "designsystem/components/BrandToggle.h"
#include "designsystem/components/HighlightBlurView.h"
#include "designsystem/components/LoaderView.h"
#include "designsystem/components/MediaPill.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/TextView.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

namespace brelta::gallery {

using namespace brelta::designsystem;

namespace {

// The look a control has while it holds focus, without taking the focus from anything.
void showFocus(QWidget *widget, Qt::FocusReason reason = Qt::TabFocusReason)
{
    QFocusEvent focus(QEvent::FocusIn, reason);
    QCoreApplication::sendEvent(widget, &focus);
}

void showHover(QWidget *widget)
{
    const QPointF inside(4, 4);
    QEnterEvent enter(inside, widget->mapToGlobal(inside), widget->mapToGlobal(inside));
    QCoreApplication::sendEvent(widget, &enter);
}

QWidget *captioned(QWidget *item, const QString &caption)
{
    return column({item, label(caption, 10)}, 6);
}

// Rendering a sheet cannot catch another window, so a pop-up panel is opened for real (offscreen, while
// rendering to a PNG) and painted where it would float. In a window the components are live: click them.
class FloatingStage : public QWidget
{
public:
    using Open = std::function<PopupPanel *()>;

    FloatingStage(QWidget *owner, QSize stage, Open open) : m_owner(owner), m_open(std::move(open))
    {
        setFixedSize(stage);
        owner->setParent(this);
        owner->move(0, 0);
        owner->resize(owner->sizeHint().expandedTo(owner->minimumSize()));
    }

    void setOwnerGeometry(const QRect &geometry) { m_owner->setGeometry(geometry); }

protected:
    void showEvent(QShowEvent *) override
    {
        if (QGuiApplication::platformName() != QLatin1String("offscreen") || m_panel)
            return;
        QTimer::singleShot(0, this, [this] {
            m_panel = m_open();
            update();
        });
    }

    void paintEvent(QPaintEvent *) override
    {
        if (!m_panel || !m_panel->isOpen())
            return;
        const bool trailing = qobject_cast<BrandMenu *>(m_panel) != nullptr;
        const QRect place = PopupPanel::placement(m_owner->geometry(), m_panel->size(), trailing, layoutDirection(),
                                                  QRect(-100000, -100000, 200000, 200000));
        QPainter painter(this);
        painter.drawPixmap(place.topLeft(), m_panel->grab());
    }

private:
    QWidget *m_owner;
    Open m_open;
    QPointer<PopupPanel> m_panel;
};

// A fixed-width column whose items take its whole width. A vertical layout asks a widget for its height
// at the layout's width, not the widget's own, so the column sits in a row that hands it its width.
QWidget *stretchedColumn(const QList<QWidget *> &items, int width, int spacing)
{
    auto *box = new QWidget;
    box->setFixedWidth(width);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget *item : items)
        layout->addWidget(item);
    auto *holder = new QWidget;
    auto *row = new QHBoxLayout(holder);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(box);
    row->addStretch();
    return holder;
}

BrandButton *button(const QString &title, std::optional<IconName> icon, BrandButton::Type type,
                    BrandButton::Shape shape, BrandButton::Size size)
{
    return new BrandButton(title, icon, type, shape, size);
}

QWidget *buttonSection()
{
    using Type = BrandButton::Type;
    using Shape = BrandButton::Shape;
    using Size = BrandButton::Size;
    const QList<std::pair<Type, QString>> types = {{Type::Primary, QStringLiteral("primary")},
                                                   {Type::Secondary, QStringLiteral("secondary")},
                                                   {Type::Text, QStringLiteral("text")}};
    const QList<std::pair<Size, QString>> sizes = {{Size::Large, QStringLiteral("large")},
                                                   {Size::Medium, QStringLiteral("medium")},
                                                   {Size::Small, QStringLiteral("small")},
                                                   {Size::Tiny, QStringLiteral("tiny")}};
    QList<QWidget *> rows;
    for (const auto &[type, typeName] : types) {
        for (Shape shape : {Shape::Pill, Shape::Smooth}) {
            QList<QWidget *> items;
            auto *caption =
                label(typeName + (shape == Shape::Pill ? QStringLiteral(" · pill") : QStringLiteral(" · smooth")), 10);
            caption->setFixedWidth(110);
            items << caption;
            for (const auto &[size, sizeName] : sizes)
                items << button(QStringLiteral("Start recording"), std::nullopt, type, shape, size);
            items << button(QStringLiteral("Join"), IconName::ExternalLink, type, shape, Size::Small);
            rows << row(items, 14);
        }
    }

    QList<QWidget *> states;
    auto *loading = button(QStringLiteral("Sign in"), std::nullopt, Type::Primary, Shape::Pill, Size::Medium);
    loading->setLoading(true);
    states << captioned(loading, QStringLiteral("loading · 0.75"));
    auto *loadingSecondary =
        button(QStringLiteral("Save goals"), std::nullopt, Type::Secondary, Shape::Smooth, Size::Medium);
    loadingSecondary->setLoading(true);
    states << captioned(loadingSecondary, QStringLiteral("loading"));
    auto *loadingText = button(QStringLiteral("Resend code"), std::nullopt, Type::Text, Shape::Pill, Size::Small);
    loadingText->setLoading(true);
    states << captioned(loadingText, QStringLiteral("text loading · 0.35"));
    states << captioned(button({}, IconName::Mic, Type::Secondary, Shape::Pill, Size::Medium),
                        QStringLiteral("icon only"));
    auto *focused = button(QStringLiteral("Continue"), std::nullopt, Type::Primary, Shape::Smooth, Size::Small);
    showFocus(focused);
    states << captioned(focused, QStringLiteral("keyboard focus"));
    auto *disabled = button(QStringLiteral("Continue"), std::nullopt, Type::Primary, Shape::Smooth, Size::Small);
    disabled->setEnabled(false);
    states << captioned(disabled, QStringLiteral("disabled"));
    states << captioned(
        button(QStringLiteral("Q&A <b>verbatim</b>"), std::nullopt, Type::Secondary, Shape::Smooth, Size::Small),
        QStringLiteral("text as written"));

    auto *full = button(QStringLiteral("Continue with Google"), IconName::GoogleCalendar, Type::Primary, Shape::Smooth,
                        Size::Large);
    full->setFullSize(true);
    auto *fullBox = stretchedColumn({full, label(QStringLiteral("fullSize: spans the 480 px offered"), 10)}, 480, 6);
    return column({column(rows, 12), row(states, 24, Qt::AlignLeft | Qt::AlignTop), fullBox}, 24);
}

QWidget *toggleSection()
{
    QList<QWidget *> items;
    items << captioned(new BrandToggle({}, false), QStringLiteral("off"));
    items << captioned(new BrandToggle({}, true), QStringLiteral("on"));
    auto *disabledOff = new BrandToggle({}, false);
    disabledOff->setEnabled(false);
    items << captioned(disabledOff, QStringLiteral("disabled off"));
    auto *disabledOn = new BrandToggle({}, true);
    disabledOn->setEnabled(false);
    items << captioned(disabledOn, QStringLiteral("disabled on"));
    auto *focused = new BrandToggle({}, true);
    showFocus(focused);
    items << captioned(focused, QStringLiteral("keyboard focus"));

    auto *privacy = new BrandToggle(QStringLiteral("Only listen to my voice"), true);
    auto *calendar = new BrandToggle(QStringLiteral("Remind me before meetings"), false);
    auto *titled = stretchedColumn({privacy, calendar}, 320, 12);
    return column(
        {row(items, 28, Qt::AlignLeft | Qt::AlignTop),
         column({titled, label(QStringLiteral("With a title: the switch spreads to the width offered; only the "
                                              "track reacts."),
                               10)},
                6)},
        20);
}

QWidget *bannerSection()
{
    return stretchedColumn(
        {new ErrorBanner(QStringLiteral("We could not upload your recording.")),
         new ErrorBanner(QStringLiteral("We could not load your goals."), [] {}),
         new ErrorBanner(QStringLiteral("Something went wrong while we were talking to the server. Check your "
                                        "connection; your recording is safe and will be sent again."),
                         [] {}),
         new SuccessBanner(QStringLiteral("Your goals are saved.")),
         new SuccessBanner(QStringLiteral("<b>Q&A</b> is shown as written, never as markup."))},
        480, 12);
}

QWidget *loaderSection()
{
    return row({captioned(new LoaderView, QStringLiteral("32 px, Gray100")),
                label(QStringLiteral("Spins only while shown; a hidden popover stops it."), 10)},
               24, Qt::AlignLeft | Qt::AlignTop);
}

QWidget *pillSection()
{
    return row({captioned(new MediaPill(QStringLiteral("Play"), IconName::PlayFill), QStringLiteral("brand gradient")),
                captioned(new MediaPill(QStringLiteral("Pause"), IconName::Pause, Colors::overlay20()),
                          QStringLiteral("Overlay20")),
                captioned(new MediaPill(QStringLiteral("Open Meet"), IconName::GoogleMeet, Colors::brandPurple()),
                          QStringLiteral("BrandPurple")),
                captioned(new MediaPill(QStringLiteral("Stop"), IconName::Stop, Colors::negative40()),
                          QStringLiteral("Negative40"))},
               24, Qt::AlignLeft | Qt::AlignTop);
}

QWidget *highlightSection()
{
    // The glow sits behind the heading; the dashed box is the view's own 260 × 64 frame.
    class Stage : public QWidget
    {
    public:
        Stage()
        {
            setFixedSize(480, 170);
            m_glow = new HighlightBlurView(260, 64, this);
            m_glow->move(110, 58);
            auto *heading =
                new HeadingView(QStringLiteral("Your meeting report"), HeadingSize::H2, Colors::gray100(), this);
            heading->adjustSize();
            heading->move(240 - heading->width() / 2, 90 - heading->height() / 2);
        }

    protected:
        void paintEvent(QPaintEvent *) override
        {
            QPainter painter(this);
            painter.setPen(QPen(Colors::overlay40(), 1, Qt::DashLine));
            painter.drawRect(QRectF(m_glow->geometry()).adjusted(0.5, 0.5, -0.5, -0.5));
        }

    private:
        HighlightBlurView *m_glow;
    };
    return new Stage;
}

BrandInput *input(const QString &label, BrandInput::Type type, const QString &text = {})
{
    auto *field = new BrandInput(label, type);
    field->setText(text);
    field->setFixedWidth(300);
    return field;
}

QWidget *inputSection()
{
    using Type = BrandInput::Type;
    auto *focused = input(QStringLiteral("Email address"), Type::Text, QStringLiteral("ada@example"));
    showFocus(focused->field(), Qt::MouseFocusReason);
    auto *error = input(QStringLiteral("Email address"), Type::Text, QStringLiteral("ada@"));
    error->setError(true);
    auto *errorFocused = input(QStringLiteral("Email address"), Type::Text, QStringLiteral("ada@"));
    errorFocused->setError(true);
    showFocus(errorFocused->field(), Qt::MouseFocusReason);
    auto *revealed = input(QStringLiteral("Password"), Type::Password, QStringLiteral("correct horse"));
    revealed->revealButton()->click();
    auto *revealedEmpty = input(QStringLiteral("Password"), Type::Password);
    revealedEmpty->revealButton()->click();
    return grid({captioned(input(QStringLiteral("Email address"), Type::Text), QStringLiteral("empty: the label")),
                 captioned(input(QStringLiteral("Email address"), Type::Text, QStringLiteral("ada@example.com")),
                           QStringLiteral("filled")),
                 captioned(focused, QStringLiteral("focused")), captioned(error, QStringLiteral("error")),
                 captioned(errorFocused, QStringLiteral("error, focused")),
                 captioned(input(QStringLiteral("Password"), Type::Password, QStringLiteral("correct horse")),
                           QStringLiteral("password")),
                 captioned(revealed, QStringLiteral("password revealed")),
                 captioned(revealedEmpty, QStringLiteral("revealed, empty: the label stays"))},
                3, 24, 16);
}

QWidget *menuSection()
{
    auto *closed = new BrandMenuButton;
    closed->addItem(QStringLiteral("Settings"), IconName::Settings, [] {});

    auto *open = new BrandMenuButton;
    open->addItem(QStringLiteral("Open dashboard"), IconName::ExternalLink, [] {});
    open->addItem(QStringLiteral("Settings"), IconName::Settings, [] {});
    open->addItem(QStringLiteral("Help"), std::nullopt, [] {});
    open->addItem(QStringLiteral("Sign out"), IconName::LogOut, [] {});
    // Room on the left for a panel that hangs leftwards from the button's trailing edge.
    auto *stage = new FloatingStage(open, QSize(260, 190), [open] {
        open->setMenuVisible(true);
        return open->menu();
    });
    stage->setOwnerGeometry(QRect(200, 0, 32, 32));
    return row({captioned(closed, QStringLiteral("closed")),
                captioned(stage, QStringLiteral("open: 4 px below, trailing edges aligned"))},
               40, Qt::AlignLeft | Qt::AlignTop);
}

QWidget *dropdownSection()
{
    const QStringList languages = {QStringLiteral("English"), QStringLiteral("Deutsch"), QStringLiteral("Español"),
                                   QStringLiteral("Français"),
                                   QStringLiteral("Português (Brasil) — a very long name that is cut to one line")};
    auto *closed = new BrandDropdownMenu;
    closed->setItemTitles(languages);
    closed->setSelection(0, languages.at(0));
    closed->setFixedWidth(240);

    auto *open = new BrandDropdownMenu;
    open->setItemTitles(languages);
    open->setSelection(1, languages.at(1));
    auto *stage = new FloatingStage(open, QSize(240, 214), [open] {
        open->setExpanded(true);
        showHover(open->list()->rows().at(2));
        return open->list();
    });
    stage->setOwnerGeometry(QRect(0, 0, 240, open->sizeHint().height()));

    auto *focused = new BrandDropdownMenu;
    focused->setItemTitles(languages);
    focused->setSelection(-1, QStringLiteral("Not in the list"));
    focused->setFixedWidth(240);
    showFocus(focused);
    return row({column({captioned(closed, QStringLiteral("closed")),
                        captioned(focused, QStringLiteral("keyboard focus; a value outside the list"))},
                       16),
                captioned(stage, QStringLiteral("open: the list hangs 4 px below, one row hovered"))},
               40, Qt::AlignLeft | Qt::AlignTop);
}

} // namespace

QList<GallerySection> componentSections()
{
    return {
        {QStringLiteral("Brand buttons"),
         QStringLiteral("Three types, two shapes, four sizes; loading keeps the size. Text drawn verbatim."),
         buttonSection},
        {QStringLiteral("Toggles"), QStringLiteral("36 × 20 track, 16 px knob; disabled at 40 %."), toggleSection},
        {QStringLiteral("Banners"), QStringLiteral("Error and success; messages wrap, the banner grows."),
         bannerSection},
        {QStringLiteral("Loader"), {}, loaderSection},
        {QStringLiteral("Media pills"), QStringLiteral("40 px high, round ends."), pillSection},
        {QStringLiteral("Highlight blur"), QStringLiteral("BrandPink at 65 %, spreading 50 px beyond its frame."),
         highlightSection},
        {QStringLiteral("Brand inputs"), QStringLiteral("Text and password fields, 48 px high."), inputSection},
        {QStringLiteral("Menus"), QStringLiteral("The overflow button and its panel."), menuSection},
        {QStringLiteral("Dropdown"), QStringLiteral("A choice of one; the list floats over what follows."),
         dropdownSection},
    };
}

} // namespace brelta::gallery
