#include "tolm/countdown/countdown.h"

namespace tolm {

long daysFromCivil(Date d) {
    // Counts in eras of 400 years, with the year starting in March so that the leap day is last.
    long y = d.year - (d.month <= 2 ? 1 : 0);
    long era = (y >= 0 ? y : y - 399) / 400;
    long yoe = y - era * 400;
    long mp = (d.month + 9) % 12;
    long doy = (153 * mp + 2) / 5 + d.day - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Countdown countdownFor(Date today) {
    int exam = today.year;
    if (today.month > 6 || (today.month == 6 && today.day > 7)) exam = today.year + 1;
    return {exam, static_cast<int>(daysFromCivil({exam, 6, 7}) - daysFromCivil(today))};
}

std::vector<int> decimalDigits(int n) {
    std::vector<int> out;
    do {
        out.insert(out.begin(), n % 10);
        n /= 10;
    } while (n > 0);
    return out;
}

}  // namespace tolm
