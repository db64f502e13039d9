// The message box text of a command that failed, the same in both front
// ends: "发生错误" and the error's number.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "model/services.h"

namespace tidwen::frontend {

// The number of what a command threw: a RuntimeError's own number, the
// out-of-memory number for std::bad_alloc, the internal-error number for
// anything else.
int ErrorNumberOf(const std::exception_ptr& error);

// "发生错误" followed by ErrorNumberOf(error), e.g. "发生错误53".
std::string FailedCommandText(const std::exception_ptr& error);

// Runs a command; whatever escapes it is shown in one box with
// FailedCommandText, rather than left to end the program.
void RunShowingFailure(MessageBoxService& messageBox, const std::function<void()>& command);

}  // namespace tidwen::frontend
