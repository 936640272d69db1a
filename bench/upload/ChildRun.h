#pragma once

// Runs a program to its end and reads the kernel's own accounting of that one child (wait4): wall time,
// CPU time and peak resident memory. Shared by the upload benchmarks; header-only.

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

namespace brelta::bench {

struct ChildRun
{
    bool ok = false; // started and exited with status 0
    double wallSeconds = 0;
    double cpuSeconds = 0; // user + system
    double peakRssMiB = 0;
};

inline ChildRun runChild(const QStringList &command)
{
    std::vector<std::string> storage;
    for (const QString &argument : command)
        storage.push_back(QFile::encodeName(argument).toStdString());
    std::vector<char *> argv;
    for (std::string &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    ChildRun run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.wallSeconds = double(timer.nsecsElapsed()) / 1e9;
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                     + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakRssMiB = double(usage.ru_maxrss) / 1024; // kilobytes on Linux
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

} // namespace brelta::bench
