#include "testsupport/CheckedWait.h"

#include <stdexcept>

namespace brelta::testsupport {

QString describeException(const std::exception_ptr &error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("a non-standard exception");
    }
}

} // namespace brelta::testsupport
