#include "platform/forms/startup.h"

#include <exception>

#include "platform/forms/form.h"

namespace forms {

int runGuarded(const std::function<int()>& program, const std::function<void(std::string_view)>& show) {
    try {
        return program();
    } catch (const ProgramEnded&) {
        throw;  // already shown and ended, as a handler's fault is
    } catch (const std::exception& e) {
        show(e.what());
    } catch (...) {
        show("unexpected error");
    }
    return kFaultExitCode;
}

}  // namespace forms
