#include "screens/settings/LanguageResolution.h"

#include <algorithm>

namespace brelta::screens {

using backend::ApiPreferences::GlobalLanguageSpecifications;
using backend::ApiPreferences::LanguageSpecification;
using backend::ApiPreferences::UserPreferences;

namespace {

std::optional<LanguageSpecification> firstWithCode(const std::vector<LanguageSpecification> &specifications,
                                                   const QString &code)
{
    const auto found = std::find_if(specifications.begin(), specifications.end(),
                                    [&](const LanguageSpecification &entry) { return entry.language == code; });
    if (found == specifications.end())
        return std::nullopt;
    return *found;
}

} // namespace

std::vector<LanguageSpecification> offeredLanguages(const GlobalLanguageSpecifications &global)
{
    std::vector<LanguageSpecification> offered;
    for (const QString &code : global.availableFeebackLanguages) {
        if (auto entry = firstWithCode(global.languageSpecifications, code))
            offered.push_back(std::move(*entry));
    }
    return offered;
}

std::optional<LanguageSpecification> resolveSelectedLanguage(const GlobalLanguageSpecifications &global,
                                                             const UserPreferences &user,
                                                             std::optional<LanguageSpecification> previous)
{
    const std::optional<QString> chosen =
        user.languagePreferences ? user.languagePreferences->feedbackLanguage : std::nullopt;
    if (chosen) {
        if (auto entry = firstWithCode(global.languageSpecifications, *chosen))
            return entry;
    }
    if (auto entry = firstWithCode(global.languageSpecifications, global.defaultFeedbackLanguage))
        return entry;
    return previous;
}

} // namespace brelta::screens
