#pragma once
// Which examination comes next and how many days are left until it begins (June 7).
#include <vector>

namespace tolm {

struct Date {
    int year = 0, month = 0, day = 0;
    constexpr bool operator==(const Date&) const = default;
};

struct Countdown {
    int examYear = 0;
    int days = 0;  // 0 on the day itself, at most 365
};

// June 7 still belongs to this year's examination; from June 8 on the count runs to next year's.
Countdown countdownFor(Date today);

// Days since 1970-01-01 in the proleptic Gregorian calendar.
long daysFromCivil(Date d);

// Decimal digits, most significant first; 0 gives {0}.
std::vector<int> decimalDigits(int n);

}  // namespace tolm
