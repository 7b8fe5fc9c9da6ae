#pragma once
// The local clock, behind an interface so that nothing depends on today's date in tests.
namespace platform {

struct LocalTime {
    int year = 0, month = 0, day = 0;  // local calendar date
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
};

// The system's local clock (Windows builds only).
Clock& systemClock();

}  // namespace platform
