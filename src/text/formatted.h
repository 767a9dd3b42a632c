// printf into a string, for lines that must go out in one write.
#pragma once

#include <cstdarg>
#include <string>

namespace morvex {

#if defined(__clang__)
#define MORVEX_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))
#elif defined(__GNUC__)
#define MORVEX_PRINTF(fmt_index, first_arg) \
  __attribute__((format(gnu_printf, fmt_index, first_arg)))
#else
#define MORVEX_PRINTF(fmt_index, first_arg)
#endif

std::string formatted(const char* format, ...) MORVEX_PRINTF(1, 2);
std::string formatted_list(const char* format, va_list args);

}  // namespace morvex
