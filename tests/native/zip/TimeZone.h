// A time zone for the length of a test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace zorvi::test {

/// Runs the test in one time zone and gives the process its own back afterwards.
class TTimeZone {
public:
    explicit TTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TTimeZone() {
        if (old_) {
            setenv("TZ", old_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    TTimeZone(const TTimeZone&) = delete;
    TTimeZone& operator=(const TTimeZone&) = delete;

    /// Seconds east of UTC at the moment `when`: a zone the system lacks reads as UTC.
    static long OffsetAt(std::time_t when) {
        std::tm local{};
        localtime_r(&when, &local);
        return local.tm_gmtoff;
    }

private:
    std::optional<std::string> old_;
};

} // namespace zorvi::test
