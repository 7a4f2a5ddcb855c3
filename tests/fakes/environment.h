// The process environment in tests, the same on Linux and Windows: setting
// and clearing variables, and TZ for the length of a test.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace keldar::test {

inline void set_env(const char* name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name, value.c_str());
#else
  ::setenv(name, value.c_str(), 1);
#endif
}

inline void unset_env(const char* name) {
#ifdef _WIN32
  ::_putenv_s(name, "");  // an empty value removes the variable
#else
  ::unsetenv(name);
#endif
}

// Makes the C library read TZ again.
inline void reread_time_zone() {
#ifdef _WIN32
  ::_tzset();
#else
  ::tzset();
#endif
}

// Sets a variable (or clears it, for nullopt) and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value) {
      set_env(name, *value);
    } else {
      unset_env(name);
    }
  }
  ~ScopedEnv() {
    if (saved_) {
      set_env(name_, *saved_);
    } else {
      unset_env(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

// Sets TZ (a POSIX rule such as "MSK-3") and puts the old value back. The
// Windows C library takes the name and offset of such a rule, and applies
// its own dates of daylight saving time.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) : tz_("TZ", std::string(tz)) { reread_time_zone(); }
  ~ScopedTimeZone() { reread_time_zone(); }

 private:
  ScopedEnv tz_;
};

}  // namespace keldar::test
