#include "model/runtime_error.h"

namespace tidwen {

RuntimeError::RuntimeError(int number)
    : std::runtime_error("runtime error " + std::to_string(number)), number_(number) {}

RuntimeError::RuntimeError(int number, const std::string& what)
    : std::runtime_error(what), number_(number) {}

}  // namespace tidwen
