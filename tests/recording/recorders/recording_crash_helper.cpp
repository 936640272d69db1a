// Records the microphone into the file named by the first argument until it is killed; prints "recording"
// once the recording runs. The crash test kills it with SIGKILL and reads what the file kept.
#include "recording/recorders/SimpleAudioRecorder.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

using brelta::recording::SimpleAudioRecorder;

namespace {

QCoro::Task<> record(SimpleAudioRecorder *recorder, QString path)
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
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: recording_crash_helper <file.m4a>\n", stderr);
        return 2;
    }
    SimpleAudioRecorder recorder;
    QTimer::singleShot(0, &app, [&recorder, path = QString::fromLocal8Bit(argv[1])] { record(&recorder, path); });
    return app.exec();
}
