// Records through the web-view recorder into the file named by the first argument until it is killed; prints
// "recording" once the recording runs. The recovery test kills it with SIGKILL and completes what it left.
#include "recording/web/WebViewAudioRecorder.h"

#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

using brelta::recording::WebViewAudioRecorder;

namespace {

QCoro::Task<> record(WebViewAudioRecorder *recorder, QString path)
{
    try {
        QCoro::Task<> started = recorder->start(QUrl::fromLocalFile(path));
        co_await std::move(started);
        std::puts("recording");
        std::fflush(stdout);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "cannot record: %s\n", error.what());
        QCoreApplication::exit(1);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: web_recording_crash_helper <file.m4a>\n", stderr);
        return 2;
    }
    WebViewAudioRecorder recorder;
    QTimer::singleShot(0, &app, [&recorder, path = QString::fromLocal8Bit(argv[1])] { record(&recorder, path); });
    return app.exec();
}
