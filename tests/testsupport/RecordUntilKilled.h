#pragma once

#include <QCoreApplication>
#include <QCoroTask>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <exception>

// The child process of a crash test or benchmark: a recorder records into a file until the parent kills
// it (SIGKILL), and the parent reads what the file kept.
namespace brelta::testsupport {

namespace detail {

// A free coroutine: the recorder lives in the caller's frame until the process is killed.
template<typename Recorder>
QCoro::Task<> startRecording(Recorder *recorder, QString path)
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

} // namespace detail

// Runs the application's event loop with a `Recorder` recording into `path`; prints "recording" once the
// recording runs, so the parent knows when to kill. Returns only when the recording could not start (1).
// The caller makes the application object the recorder needs first.
template<typename Recorder>
int recordUntilKilled(const QString &path)
{
    Recorder recorder;
    QTimer::singleShot(0, QCoreApplication::instance(), [&recorder, path] { detail::startRecording(&recorder, path); });
    return QCoreApplication::exec();
}

} // namespace brelta::testsupport
