// Taking one release out of an IDE generation's compiler registration.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvex {

// True only when this call deleted the generation's registration key, that
// is, no release is left registered for that IDE generation.
bool unregister_release(const std::string& version_key, const std::string& ide_generation);

// True when the release (a list item) offers the language (1 C/C++,
// 2 Fortran). With narrow set, a release offering both is narrowed to the
// language and loses the other language's help-file value.
bool check_release_language(std::int32_t language, const std::string& release_name,
                            const std::string& generation_key_path, bool narrow);

}  // namespace morvex
