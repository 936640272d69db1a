#pragma once

#include "backend/records/ApiPreferences.h"

#include <optional>
#include <vector>

// How the feedback-language menu is filled from a preferences answer. Kept apart from the model so the
// rules can be read, and tested, on their own.
namespace brelta::screens {

// The offered codes in the backend's order, each as the first language entry with that code; codes no
// entry describes are left out.
std::vector<backend::ApiPreferences::LanguageSpecification>
offeredLanguages(const backend::ApiPreferences::GlobalLanguageSpecifications &global);

// The language to show as chosen: the user's choice when the catalogue knows it, else the catalogue's
// default when it knows that, else `previous`. Codes compare exactly.
std::optional<backend::ApiPreferences::LanguageSpecification>
resolveSelectedLanguage(const backend::ApiPreferences::GlobalLanguageSpecifications &global,
                        const backend::ApiPreferences::UserPreferences &user,
                        std::optional<backend::ApiPreferences::LanguageSpecification> previous);

} // namespace brelta::screens
