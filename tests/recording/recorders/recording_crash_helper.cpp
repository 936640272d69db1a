// Records the microphone into the file named by the first argument until it is killed; prints "recording"
// once the recording runs. The crash test kills it with SIGKILL and reads what the file kept.
#include "recording/recorders/SimpleAudioRecorder.h"
#include "testsupport/RecordUntilKilled.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: recording_crash_helper <file.m4a>\n", stderr);
        return 2;
    }
    return brelta::testsupport::recordUntilKilled<brelta::recording::SimpleAudioRecorder>(
        QString::fromLocal8Bit(argv[1]));
}
