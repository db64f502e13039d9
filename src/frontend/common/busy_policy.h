// What the windows take while one of their commands runs, decided once for
// both front ends: each front end tells the policy what reached which window
// and does what it says.
#pragma once

#include <vector>

namespace tidwen::frontend {

// The windows, as the policy tells them apart.
enum class WindowRole {
  kMain,   // Form1
  kAbout,  // Form2
  kOther,  // anything else: a message box a command shows, a drop-down
};

// The user's input, by what it does.
enum class InputKind {
  kPress,         // a mouse button, the wheel, a touch, a pen, a context menu
  kKey,           // a key or a shortcut
  kPointer,       // the pointer moving over a window, or leaving it
  kHelp,          // a tooltip or a what's-this asked for
  kCloseGesture,  // a click on the close box, Alt+F4
};

enum class Verdict {
  kPass,       // handle it as usual
  kDrop,       // never handle it
  kHoldClose,  // never handle it; close its window once the command has ended
};

// While a command runs, the windows go on painting and answering the system,
// but take nothing from the user: input aimed at them was aimed at windows
// that take none while they work, and must not run commands once the work
// is over, nor ask the platform, which is the worker's, for a tooltip. A
// close (the close box, Alt+F4, the window manager's) is kept and carried
// out when the command ends, so that no window goes away under a command.
// A box the command shows takes its answer as usual. A command asked for
// while another runs is dropped. One window's thread alone uses a policy.
class BusyPolicy {
 public:
  // A command starts; false when one runs already, and the new one must
  // not start.
  bool Begin();
  // The command has ended: the windows whose close was held, each once, in
  // the order the closes came, to be closed now.
  std::vector<WindowRole> End();
  bool Busy() const { return busy_; }

  Verdict OnInput(InputKind kind, WindowRole window);
  // A request to close window, from the window manager, the system menu or
  // a message.
  Verdict OnClose(WindowRole window);

 private:
  Verdict Hold(WindowRole window);

  bool busy_ = false;
  std::vector<WindowRole> held_;
};

}  // namespace tidwen::frontend
