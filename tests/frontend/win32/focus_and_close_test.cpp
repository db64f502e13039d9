// The windows' manners towards the user: the focus comes back to the
// control that had it, and every way of closing a window waits for a
// running command.
#include "frontend/win32/form2.h"
#include "gui_support.h"

#include <commctrl.h>
#include <atomic>
#include <functional>
#include <optional>
#include <utility>

#include "latch.h"

namespace tidwen::test {
namespace {

// Runs a function on the thread that made it, the window's, from the
// walking thread (the window's worker): by a message sent to a message-only
// window, which the window's thread takes only while it handles messages.
class WindowThreadCall {
 public:
  WindowThreadCall() {
    WNDCLASSW call{};
    call.lpfnWndProc = &Proc;
    call.hInstance = GetModuleHandleW(nullptr);
    call.lpszClassName = L"TidwenTestCall";
    RegisterClassW(&call);
    hwnd_ = CreateWindowExW(0, L"TidwenTestCall", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  }
  ~WindowThreadCall() { DestroyWindow(hwnd_); }
  WindowThreadCall(const WindowThreadCall&) = delete;
  WindowThreadCall& operator=(const WindowThreadCall&) = delete;

  // Whether f ran; the bound is against hanging, never a measure of time.
  bool Run(const std::function<void()>& f) const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(hwnd_, WM_APP, 0, reinterpret_cast<LPARAM>(&f), SMTO_NORMAL, 20000,
                               &result) != 0 &&
           result == 1;
  }

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP) return DefWindowProcW(w, message, wParam, lParam);
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 1;
  }
  HWND hwnd_ = nullptr;
};

// The tree's directory lister, but for hooks it runs when the scan opens
// the directory named trigger: the test's way into the middle of a scan.
// The walk runs on the window's worker: held runs there, while the walk
// waits; hook runs on the window's thread, which must be free to take it.
class PausingDirs : public DirListControl {
 public:
  explicit PausingDirs(DirListControl& inner) : inner_(inner) {}
  void SetVisible(bool visible) override { inner_.SetVisible(visible); }
  bool Visible() const override { return inner_.Visible(); }
  void SetPath(std::string_view path) override {
    inner_.SetPath(path);
    if (!path.ends_with(trigger)) return;
    if (held) std::exchange(held, nullptr)();
    if (hook) hookRan = windowThread.Run(std::exchange(hook, nullptr));
  }
  std::string Path() const override { return inner_.Path(); }
  std::int64_t ListCount() const override { return inner_.ListCount(); }
  std::string List(std::int64_t i) const override { return inner_.List(i); }

  std::string trigger;
  std::function<void()> held;
  std::function<void()> hook;
  bool hookRan = false;

 private:
  DirListControl& inner_;
  const WindowThreadCall windowThread;
};

class PausingPlatform : public Platform {
 public:
  explicit PausingPlatform(std::unique_ptr<Platform> inner)
      : inner_(std::move(inner)), dirs_(inner_->Dir1()) {}
  PausingDirs& Dirs() { return dirs_; }
  std::vector<DriveInfo> Drives() const override { return inner_->Drives(); }
  bool RefreshDrives() override { return inner_->RefreshDrives(); }
  DirListControl& Dir1() override { return dirs_; }
  FileListControl& File1() override { return inner_->File1(); }
  FileLengthService& FileLength() override { return inner_->FileLength(); }
  FileSystemService& FileSystem() override { return inner_->FileSystem(); }
  void ReleaseHandles() noexcept override { inner_->ReleaseHandles(); }
  std::optional<std::string> DrivePathOf(std::string_view path) const override {
    return inner_->DrivePathOf(path);
  }
  std::optional<std::string> SystemPathOf(std::string_view path) const override {
    return inner_->SystemPathOf(path);
  }
  std::optional<FileFacts> DescribeFile(std::string_view path) const override {
    return inner_->DescribeFile(path);
  }

 private:
  std::unique_ptr<Platform> inner_;
  PausingDirs dirs_;
};

// The middle of a window's close box on the screen, found by asking the
// window what lies under each point of its title bar.
std::optional<POINT> CloseBoxOf(HWND window) {
  RECT frame;
  GetWindowRect(window, &frame);
  for (int y = frame.top; y < frame.top + 60; ++y) {
    for (int x = frame.right - 1; x > frame.left; --x) {
      if (SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) != HTCLOSE) continue;
      int left = x;
      while (SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(left - 1, y)) == HTCLOSE) --left;
      return POINT{(left + x) / 2, y + 3};
    }
  }
  return std::nullopt;
}

void Send(std::vector<INPUT> inputs) {
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

INPUT Mouse(DWORD flags, POINT at) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  return input;
}

INPUT Key(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

// Waits, boundedly, until input of the kinds has reached the thread's queue.
bool InputQueued(UINT kinds) {
  for (int i = 0; i < 400; ++i) {
    if (HIWORD(GetQueueStatus(kinds)) != 0) return true;
    Sleep(5);
  }
  return false;
}

class FocusAndCloseTest : public WindowTest {
 protected:
  std::unique_ptr<Platform> MakePlatform() override {
    auto platform = std::make_unique<PausingPlatform>(WindowTest::MakePlatform());
    dirs_ = &platform->Dirs();
    return platform;
  }
  void SetUp() override {
    tree_.File("a.tmp");
    tree_.File("keep.txt");
    tree_.Dir("pause");
    tree_.Dir("pause\\later");
    tree_.File("pause\\later\\b.tmp");
    tree_.Dir("z");
    tree_.File("z\\c.bak");
    Open();
    SetForegroundWindow(form_->Hwnd());
    Pump(*form_, 50);
  }
  PausingDirs* dirs_ = nullptr;
};

TEST_F(FocusAndCloseTest, TheFocusedControlHasTheFocusAgainWhenTheWindowIsActivated) {
  struct Case {
    const char* name;
    std::function<void()> away;
  };
  const Case cases[] = {
      {"a message box",
       [this] {
         // Nothing is checked: the box asks for a choice, and is closed.
         BoxAnswerer boxes({IDOK});
         Click(kCommand2);
         EXPECT_EQ(boxes.Seen().size(), 1u);
       }},
      {"minimise and restore",
       [this] {
         ShowWindow(form_->Hwnd(), SW_MINIMIZE);
         Pump(*form_, 50);
         ShowWindow(form_->Hwnd(), SW_RESTORE);
       }},
      {"the about window, then the main window again",
       [this] {
         Click(kCommand6);
         Pump(*form_, 50);
         SetForegroundWindow(form_->Hwnd());
       }},
  };
  Click(kCommand1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetForegroundWindow(form_->Hwnd());
    SetFocus(Item(kCommand2));
    Pump(*form_, 20);
    ASSERT_EQ(GetFocus(), Item(kCommand2));
    c.away();
    Pump(*form_, 50);
    EXPECT_EQ(GetActiveWindow(), form_->Hwnd());
    EXPECT_EQ(GetFocus(), Item(kCommand2));
  }
}

TEST_F(FocusAndCloseTest, TheAboutWindowOpensWithTheFocusOnItsIcon) {
  Click(kCommand6);
  Pump(*form_, 50);
  const HWND about = form_->AboutWindow()->Hwnd();
  EXPECT_EQ(GetFocus(), GetDlgItem(about, kPicture1));
}

// The close box, Alt+F4 and the system menu's close during a scan: held as
// a posted close is, so the window stays until the scan has ended with its
// full result, then closes.
TEST_F(FocusAndCloseTest, ACloseBoxOrAltF4DuringAScanClosesTheWindowWhenTheScanHasEnded) {
  enum class Gesture { kCloseBox, kAltF4, kSystemClose };
  struct Case {
    const char* name;
    bool about;  // aimed at the about window rather than the main window
    Gesture gesture;
  };
  for (const Case& c : {Case{"main window, close box", false, Gesture::kCloseBox},
                        Case{"main window, Alt+F4", false, Gesture::kAltF4},
                        Case{"main window, the system menu's close", false, Gesture::kSystemClose},
                        Case{"about window, close box", true, Gesture::kCloseBox},
                        Case{"about window, Alt+F4", true, Gesture::kAltF4}}) {
    SCOPED_TRACE(c.name);
    if (!form_) Open();
    if (c.about) Click(kCommand6);
    const HWND target = c.about ? form_->AboutWindow()->Hwnd() : form_->Hwnd();
    // Clear of the main window, so that the click can land nowhere else.
    if (c.about) SetWindowPos(target, HWND_TOP, 720, 40, 0, 0, SWP_NOSIZE);
    SetForegroundWindow(target);
    Pump(*form_, 50);
    bool queued = false;
    dirs_->trigger = "\\pause";
    dirs_->hook = [&] {
      if (c.gesture == Gesture::kAltF4) {
        Send({Key(VK_MENU, false), Key(VK_F4, false), Key(VK_F4, true), Key(VK_MENU, true)});
        queued = InputQueued(QS_KEY);
      } else if (c.gesture == Gesture::kSystemClose) {
        // What the system menu and the taskbar send.
        queued = PostMessageW(target, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
      } else {
        const std::optional<POINT> box = CloseBoxOf(target);
        ASSERT_TRUE(box) << "no close box found";
        // Each event carries the place, so that none lands where the
        // pointer was before.
        SetCursorPos(box->x, box->y);
        constexpr DWORD kAt = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        Send({Mouse(kAt, *box), Mouse(kAt | MOUSEEVENTF_LEFTDOWN, *box),
              Mouse(kAt | MOUSEEVENTF_LEFTUP, *box)});
        queued = InputQueued(QS_MOUSEBUTTON);
      }
    };
    Click(kCommand1);
    ASSERT_TRUE(dirs_->hookRan) << "the window's thread took no message mid-scan";
    ASSERT_TRUE(queued) << "the injected input never reached the window's queue";
    // The input was pumped during the scan, which ran to its end.
    EXPECT_TRUE(IsWindow(target));
    EXPECT_EQ(Status(), "共找到 3个垃圾文件");
    Pump(*form_, 100);
    EXPECT_FALSE(IsWindow(target));
    EXPECT_EQ(form_->Open(), c.about);
    EXPECT_EQ(quits_, c.about ? 0 : 1);
    form_.reset();
    quits_ = 0;
  }
}

// The window's thread is free while the walk runs on its worker: with the
// walk held in a directory until the window has painted, a region of the
// window made invalid then is painted before the scan goes on.
int paintsSeen = 0;
std::atomic<bool> paintAwaited = false;
Latch* painted = nullptr;
LRESULT CALLBACK SeePaint(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_PAINT && paintAwaited) {
    ++paintsSeen;
    painted->Open();
  }
  return DefSubclassProc(w, message, wParam, lParam);
}

TEST_F(FocusAndCloseTest, TheWindowPaintsWhileTheWalkIsHeldMidScan) {
  Latch latch;
  painted = &latch;
  paintsSeen = 0;
  ASSERT_TRUE(SetWindowSubclass(form_->Hwnd(), SeePaint, 1, 0));
  bool paintedWhileHeld = false;
  dirs_->trigger = "\\pause";
  dirs_->held = [&] {
    paintAwaited = true;
    InvalidateRect(form_->Hwnd(), nullptr, FALSE);
    paintedWhileHeld = latch.Wait();
    paintAwaited = false;
  };
  Click(kCommand1);
  RemoveWindowSubclass(form_->Hwnd(), SeePaint, 1);
  EXPECT_TRUE(paintedWhileHeld) << "the window painted nothing while the walk was held";
  EXPECT_GE(paintsSeen, 1);
  EXPECT_EQ(Status(), "共找到 3个垃圾文件");
}

}  // namespace
}  // namespace tidwen::test
