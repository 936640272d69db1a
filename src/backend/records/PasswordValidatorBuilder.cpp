#include "backend/records/PasswordValidatorBuilder.h"

#include <QRegularExpression>

namespace brelta::backend {

PasswordValidatorBuilder &PasswordValidatorBuilder::hasLength(int min, const std::optional<QString> &error)
{
    const QString minimum = QString::number(min);
    // A look-ahead at the very start: `.` stops at a line break, so only the first line counts.
    const QString pattern = QStringLiteral("^(?=.{") + minimum + QStringLiteral(",})");
    m_tests.push_back({
        QStringLiteral("hasLength") + minimum,
        [pattern](const QString &password) { return regexTest(password, pattern, QString()); },
        error.value_or(QStringLiteral("The password must be at least ") + minimum
                       + QStringLiteral(" characters long.")),
    });
    return *this;
}

bool PasswordValidatorBuilder::regexTest(const QString &password, const QString &regex, const QString &flags)
{
    Q_UNUSED(flags);
    // Every Unicode line break (CR, LS, NEL, … not only LF) ends a line, as users of other regular
    // expression engines expect of `.`.
    const QRegularExpression expression(QStringLiteral("(*ANY)") + regex);
    if (!expression.isValid())
        return false;
    return expression.match(password).hasMatch();
}

} // namespace brelta::backend
