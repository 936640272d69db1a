#pragma once

#include <QString>

namespace brelta::platform::format {

// True when the whole text is one address of the form name@domain.tld, the top-level part being 2 to 64
// letters. A text with anything before or after the address (a space, a second address) is refused.
bool isValidEmail(const QString &text);

} // namespace brelta::platform::format
