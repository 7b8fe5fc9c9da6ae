#include <windows.h>

#include "platform/clock.h"

namespace platform {

namespace {
class SystemClock final : public Clock {
public:
    LocalTime now() const override {
        SYSTEMTIME st;
        GetLocalTime(&st);
        return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    }
};
}  // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace platform
