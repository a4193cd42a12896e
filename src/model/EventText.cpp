#include "model/EventText.h"

#include <cstdio>

namespace sondrel {

namespace {
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int Wrap(int value, int modulus) { return ((value % modulus) + modulus) % modulus; }
}  // namespace

std::string FormatTimeStamp(const std::tm& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %d\n", kDays[Wrap(t.tm_wday, 7)],
                  kMonths[Wrap(t.tm_mon, 12)], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  t.tm_year + 1900);
    return buf;
}

}  // namespace sondrel
