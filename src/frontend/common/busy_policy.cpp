#include "frontend/common/busy_policy.h"

#include <algorithm>
#include <utility>

namespace tidwen::frontend {

bool BusyPolicy::Begin() {
  if (busy_) return false;
  busy_ = true;
  held_.clear();
  return true;
}

std::vector<WindowRole> BusyPolicy::End() {
  busy_ = false;
  return std::exchange(held_, {});
}

Verdict BusyPolicy::OnInput(InputKind kind, WindowRole window) {
  if (!busy_ || window == WindowRole::kOther) return Verdict::kPass;
  return kind == InputKind::kCloseGesture ? Hold(window) : Verdict::kDrop;
}

Verdict BusyPolicy::OnClose(WindowRole window) {
  if (!busy_ || window == WindowRole::kOther) return Verdict::kPass;
  return Hold(window);
}

Verdict BusyPolicy::Hold(WindowRole window) {
  if (std::find(held_.begin(), held_.end(), window) == held_.end()) held_.push_back(window);
  return Verdict::kHoldClose;
}

}  // namespace tidwen::frontend
