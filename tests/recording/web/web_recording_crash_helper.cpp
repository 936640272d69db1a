// Records through the web-view recorder into the file named by the first argument until it is killed; prints
// "recording" once the recording runs. The recovery test kills it with SIGKILL and completes what it left.
#include "recording/web/WebViewAudioRecorder.h"
#include "testsupport/RecordUntilKilled.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: web_recording_crash_helper <file.m4a>\n", stderr);
        return 2;
    }
    return brelta::testsupport::recordUntilKilled<brelta::recording::WebViewAudioRecorder>(
        QString::fromLocal8Bit(argv[1]));
}
