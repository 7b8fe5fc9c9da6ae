#include <gtest/gtest.h>

#include <chrono>

#include "tolm/countdown/countdown.h"

namespace {

using namespace std::chrono;
using tolm::Countdown;
using tolm::Date;

// An independent count: the standard library's calendar, walking to the next June 7.
Countdown reference(const year_month_day& d) {
    year_month_day exam{d.year(), June, day{7}};
    if (d > exam) exam = year_month_day{d.year() + years{1}, June, day{7}};
    return {static_cast<int>(exam.year()), static_cast<int>((sys_days{exam} - sys_days{d}).count())};
}

TEST(Countdown, MatchesAnIndependentCalendarEveryDayFrom2024To2032) {
    for (sys_days day = sys_days{2024y / January / 1}; day <= sys_days{2032y / December / 31}; day += days{1}) {
        year_month_day ymd{day};
        Date d{static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
               static_cast<int>(static_cast<unsigned>(ymd.day()))};
        Countdown want = reference(ymd), got = tolm::countdownFor(d);
        ASSERT_EQ(got.examYear, want.examYear) << d.year << "-" << d.month << "-" << d.day;
        ASSERT_EQ(got.days, want.days) << d.year << "-" << d.month << "-" << d.day;
        ASSERT_GE(got.days, 0);
        ASSERT_LE(got.days, 365);
    }
}

TEST(Countdown, DaysThatUsersCheckByHand) {
    struct Case {
        Date today;
        int examYear, days;
    } cases[] = {
        {{2027, 6, 7}, 2027, 0},     // the day itself still counts to this year's exam
        {{2027, 6, 6}, 2027, 1},
        {{2027, 6, 8}, 2028, 365},   // next year's exam, February 29 2028 in between
        {{2026, 6, 8}, 2027, 364},
        {{2027, 1, 1}, 2027, 157},
        {{2028, 1, 1}, 2028, 158},   // leap year
        {{2027, 5, 29}, 2027, 9},
        {{2027, 5, 28}, 2027, 10},
        {{2027, 2, 27}, 2027, 100},
        {{2027, 2, 28}, 2027, 99},
        {{2028, 2, 29}, 2028, 99},
        {{2026, 12, 31}, 2027, 158},
        {{2027, 12, 31}, 2028, 159},  // the next year is a leap year
        {{2099, 12, 31}, 2100, 158},  // 2100 is not a leap year
    };
    for (const Case& c : cases) {
        Countdown got = tolm::countdownFor(c.today);
        EXPECT_EQ(got.examYear, c.examYear) << c.today.year << "-" << c.today.month << "-" << c.today.day;
        EXPECT_EQ(got.days, c.days) << c.today.year << "-" << c.today.month << "-" << c.today.day;
    }
}

TEST(Countdown, DecimalDigitsMostSignificantFirst) {
    EXPECT_EQ(tolm::decimalDigits(0), (std::vector<int>{0}));
    EXPECT_EQ(tolm::decimalDigits(9), (std::vector<int>{9}));
    EXPECT_EQ(tolm::decimalDigits(10), (std::vector<int>{1, 0}));
    EXPECT_EQ(tolm::decimalDigits(365), (std::vector<int>{3, 6, 5}));
    EXPECT_EQ(tolm::decimalDigits(2027), (std::vector<int>{2, 0, 2, 7}));
}

}  // namespace
