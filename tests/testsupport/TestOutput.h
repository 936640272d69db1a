#pragma once

#include <QDir>
#include <QString>

namespace brelta::testsupport {

// Where a test leaves its screenshots for people to look at: BRELTA_TEST_OUTPUT_DIR (a test's CMake entry
// names a folder under build/<preset>/test-output), else the temporary folder.
inline QString outputFolder()
{
    const QString folder = qEnvironmentVariable("BRELTA_TEST_OUTPUT_DIR", QDir::tempPath());
    QDir().mkpath(folder);
    return folder;
}

} // namespace brelta::testsupport
