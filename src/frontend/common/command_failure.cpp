#include "frontend/common/command_failure.h"

#include <new>

#include "model/runtime_error.h"

namespace tidwen::frontend {

int ErrorNumberOf(const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const RuntimeError& failure) {
    return failure.Number();
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  } catch (...) {
    return kInternalError;
  }
  return kInternalError;
}

std::string FailedCommandText(const std::exception_ptr& error) {
  return "发生错误" + std::to_string(ErrorNumberOf(error));
}

void RunShowingFailure(MessageBoxService& messageBox, const std::function<void()>& command) {
  try {
    command();
  } catch (...) {
    messageBox.MsgBox(FailedCommandText(std::current_exception()), MsgBoxButtons::kOkOnly,
                      MsgBoxIcon::kNone, "");
  }
}

}  // namespace tidwen::frontend
