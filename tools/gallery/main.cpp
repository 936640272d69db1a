// The design kit's gallery: shows every token, text style, icon and component, or writes them to a PNG.
#include "GallerySheet.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLayout>
#include <QScrollArea>

#include <cstdio>

using brelta::gallery::GallerySheet;

namespace {

QList<brelta::gallery::GallerySection> allSections()
{
    return brelta::gallery::foundationSections() + brelta::gallery::componentSections();
}

// Sections whose title contains `filter` (any case); all when it is empty.
QList<brelta::gallery::GallerySection> selectedSections(const QString &filter)
{
    QList<brelta::gallery::GallerySection> selected;
    for (const auto &section : allSections()) {
        if (filter.isEmpty() || section.title.contains(filter, Qt::CaseInsensitive))
            selected << section;
    }
    return selected;
}

// Gives the sheet the full height its width needs (adjustSize() would cap a window at part of the
// screen) and lets queued work (size reports, the relayouts they cause) settle. `animations` more
// milliseconds let opened panels fade in and transitions finish before the sheet is rendered.
void settle(QWidget *sheet, int animations = 0)
{
    for (int round = 0; round < 3; ++round) {
        QApplication::processEvents();
        sheet->layout()->activate();
        sheet->resize(sheet->width(), sheet->layout()->totalHeightForWidth(sheet->width()));
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < animations)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The platform plugin and scale factor are fixed when QApplication starts, so read these first.
void prepareEnvironment(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--png" && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (arg == "--scale" && i + 1 < argc)
            qputenv("QT_SCALE_FACTOR", argv[i + 1]);
    }
}

} // namespace

int main(int argc, char **argv)
{
    prepareEnvironment(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("gallery"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows every token, text style, icon and component of the design kit."));
    parser.addHelpOption();
    const QCommandLineOption pngOption(QStringLiteral("png"),
                                       QStringLiteral("Render the sheet offscreen into <file> and exit."),
                                       QStringLiteral("file"));
    const QCommandLineOption scaleOption(QStringLiteral("scale"),
                                         QStringLiteral("Device pixel ratio of the sheet (default 1)."),
                                         QStringLiteral("factor"), QStringLiteral("1"));
    const QCommandLineOption onlyOption(QStringLiteral("only"),
                                        QStringLiteral("Show only the sections whose title contains <text>."),
                                        QStringLiteral("text"));
    parser.addOption(pngOption);
    parser.addOption(scaleOption);
    parser.addOption(onlyOption);
    parser.process(app);

    const auto sections = selectedSections(parser.value(onlyOption));
    if (sections.isEmpty()) {
        std::fprintf(stderr, "gallery: no section matches \"%s\"\n", qPrintable(parser.value(onlyOption)));
        return 1;
    }
    auto *sheet = new GallerySheet(sections);
    if (parser.isSet(pngOption)) {
        sheet->setAttribute(Qt::WA_DontShowOnScreen);
        sheet->show();
        settle(sheet, 400);
        const QString path = parser.value(pngOption);
        if (!sheet->grab().save(path, "PNG")) {
            std::fprintf(stderr, "gallery: cannot write %s\n", qPrintable(path));
            return 1;
        }
        delete sheet;
        return 0;
    }

    QScrollArea window;
    window.setWindowTitle(QStringLiteral("Design kit gallery"));
    window.setWidget(sheet);
    settle(sheet);
    window.setFrameShape(QFrame::NoFrame);
    window.resize(GallerySheet::sheetWidth + 20, 900);
    window.show();
    return app.exec();
}
