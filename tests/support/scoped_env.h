// Scoped changes of process-wide state a test needs (the C locale, an environment variable),
// put back as they were when the scope ends, so that tests never leak into one another.
#pragma once

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

namespace varnook::test {

// Switches LC_ALL to `name`; Active() is false when the system lacks that locale.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name)
    {
        if (const char* current = std::setlocale(LC_ALL, nullptr)) previous_ = current;
        active_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    bool Active() const { return active_; }

private:
    std::string previous_ = "C";
    bool active_ = false;
};

// The comma locale the comma tests run under.
inline constexpr const char* kCommaLocale = "de_DE.UTF-8";

// Sets (or, with nullopt, unsets) one environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) previous_ = old;
        Set(value);
    }
    ~ScopedEnv() { Set(previous_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const std::optional<std::string>& value) const
    {
        value ? ::setenv(name_.c_str(), value->c_str(), 1) : ::unsetenv(name_.c_str());
    }

    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace varnook::test
