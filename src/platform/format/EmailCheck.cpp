#include "platform/format/EmailCheck.h"

#include <QRegularExpression>

namespace brelta::platform::format {

bool isValidEmail(const QString &text)
{
    // Anchored: an unanchored search would accept "x a@b.cd y".
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,64}")));
    return pattern.match(text).hasMatch();
}

} // namespace brelta::platform::format
