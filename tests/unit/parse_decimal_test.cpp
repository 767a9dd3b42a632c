#include <gtest/gtest.h>

#include "text/decimal.h"

namespace morvex {
namespace {

TEST(ParseDecimal, ReadsTheIdeValueLikeTheInstallerWroteIt) {
  const struct {
    const char* text;
    std::int32_t expected;
  } rows[] = {
      {"3", 3},          {" 2", 2},   {"\t\n\v\f\r4", 4}, {"1x", 1},    {"04", 4},
      {"x1", 0},         {"-1", -1},  {"+2", 2},          {"", 0},      {"- 1", 0},
      {"--1", 0},        {"2 3", 2},  {"2147483647", 2147483647},       {"-2147483648", INT32_MIN},
      {"99999999999", INT32_MAX},     {"-99999999999", INT32_MIN},      {"4294967298", INT32_MAX},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string("text \"") + row.text + "\"");
    EXPECT_EQ(parse_decimal(row.text), row.expected);
  }
}

}  // namespace
}  // namespace morvex
