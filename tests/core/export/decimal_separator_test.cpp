#include "core/export/decimal_separator.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "core/export/number_format.hpp"

#ifndef _WIN32
#include <locale.h>
#endif

namespace ar4 {
namespace {

#ifndef _WIN32
/// Sets the locale variables for one test and puts the old values back.
class LocaleEnvironment {
 public:
  explicit LocaleEnvironment(const char* lc_all) {
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
      const char* value = std::getenv(name);
      saved_[Index(name)] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
      unsetenv(name);
    }
    if (lc_all != nullptr) setenv("LC_ALL", lc_all, 1);
  }
  LocaleEnvironment(const LocaleEnvironment&) = delete;
  LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;
  ~LocaleEnvironment() {
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
      const auto& value = saved_[Index(name)];
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }

 private:
  static int Index(const std::string& name) { return name == "LC_ALL" ? 0 : name == "LC_NUMERIC" ? 1 : 2; }
  std::optional<std::string> saved_[3];
};

bool LocaleInstalled(const char* name) {
  locale_t locale = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return false;
  freelocale(locale);
  return true;
}

TEST(UserDecimalSeparator, RussianSettingsGiveAComma) {
  if (!LocaleInstalled("ru_RU.UTF-8")) GTEST_SKIP() << "ru_RU.UTF-8 is not installed";
  LocaleEnvironment environment("ru_RU.UTF-8");
  const char separator = UserDecimalSeparator();
  EXPECT_EQ(separator, ',');
  char out[kMaxFixedLength];
  EXPECT_EQ(std::string(out, FormatFixed(out, 23.5, 6, separator)), "23,500000");
}

TEST(UserDecimalSeparator, PointWhenNothingOrAMissingLocaleIsNamed) {
  {
    LocaleEnvironment environment(nullptr);
    EXPECT_EQ(UserDecimalSeparator(), '.');
  }
  {
    LocaleEnvironment environment("C");
    EXPECT_EQ(UserDecimalSeparator(), '.');
  }
  {
    LocaleEnvironment environment("xx_YY.UTF-8");  // not installed: no crash, a point
    EXPECT_EQ(UserDecimalSeparator(), '.');
  }
}

TEST(UserDecimalSeparator, LcNumericCountsWhenLcAllIsUnset) {
  if (!LocaleInstalled("ru_RU.UTF-8")) GTEST_SKIP() << "ru_RU.UTF-8 is not installed";
  LocaleEnvironment environment(nullptr);
  setenv("LANG", "C", 1);
  setenv("LC_NUMERIC", "ru_RU.UTF-8", 1);
  EXPECT_EQ(UserDecimalSeparator(), ',');
}
#endif

}  // namespace
}  // namespace ar4
