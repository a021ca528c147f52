#include "driver/StartupGuard.h"

#include <exception>

#include "common/AppError.h"
#include "common/Strings.h"
#include "driver/DriverTexts.h"
#include "run/ExitStatus.h"

namespace {

// "number/description" as the other error boxes write an error, else what the exception says.
std::string Describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const AppError& e) {
        return std::to_string(e.number()) + "/" + e.description();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        // Neither of the project's errors nor the standard library's: nothing to say but that.
        return driver_text::kUnknownFailure;
    }
}

}  // namespace

std::string StartupFailureText(const std::string& description) {
    return driver_text::kStopped + std::string(kCrLf) + description;
}

int RunGuarded(RunLog& log, const std::function<int()>& program,
               const std::function<void(const std::string& text)>& showError) {
    std::string description;
    try {
        return program();
    } catch (...) {
        description = Describe(std::current_exception());
    }
    log.Write("failure", "the window program failed: " + description);
    try {
        showError(StartupFailureText(description));
    } catch (...) {
        // The box is the last thing the program does; its own failure is already logged above
        // in all that matters (the reason), and must not turn the exit into an abort.
        log.Write("failure", "the error box could not be shown");
    }
    log.Write("end", "exit status " + std::to_string(exit_status::kError));
    return exit_status::kError;
}
