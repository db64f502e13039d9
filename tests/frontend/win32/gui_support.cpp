#include "gui_support.h"

namespace tidwen::test {

namespace {
BoxAnswerer* current = nullptr;
}

std::string TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return Narrow(text);
}

RECT RectInParent(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void Pump(Form1& form, int milliseconds) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;
      if (form.PreTranslate(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (milliseconds > 0) Sleep(5);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

BoxAnswerer::BoxAnswerer(std::vector<int> answers) : answers_(std::move(answers)) {
  current = this;
  timer_ = SetTimer(nullptr, 0, 30, &BoxAnswerer::Tick);
}

BoxAnswerer::~BoxAnswerer() {
  KillTimer(nullptr, timer_);
  current = nullptr;
}

void CALLBACK BoxAnswerer::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (current) EnumThreadWindows(GetCurrentThreadId(), &BoxAnswerer::Visit, 0);
}

BOOL CALLBACK BoxAnswerer::Visit(HWND window, LPARAM) {
  BoxAnswerer& self = *current;
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  for (HWND done : self.answered_)
    if (done == window) return TRUE;
  SeenBox box;
  box.title = TextOf(window);
  const HICON warning = LoadIconW(nullptr, IDI_WARNING);
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t childClass[32] = {};
    GetClassNameW(child, childClass, 32);
    const std::wstring kind = childClass;
    if (_wcsicmp(kind.c_str(), L"Button") == 0) {
      if (!IsWindowVisible(child)) continue;
      box.buttons.emplace_back(GetDlgCtrlID(child), TextOf(child));
      // The default button, which Enter presses.
      if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        box.defaultButton = GetDlgCtrlID(child);
    } else if (_wcsicmp(kind.c_str(), L"Static") == 0) {
      if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        if (icon && icon == warning) box.warningIcon = true;
      } else if (GetWindowTextLengthW(child) > 0) {
        box.text = TextOf(child);
      }
    }
  }
  int answer = box.defaultButton ? box.defaultButton : IDOK;
  if (self.seen_.size() < self.answers_.size()) {
    answer = self.answers_[self.seen_.size()];
  } else {
    ++self.unexpected_;
  }
  self.seen_.push_back(box);
  self.answered_.push_back(window);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, answer)));
  return TRUE;
}

void WindowTest::SetUp() {}

void WindowTest::Open() {
  SetCurrentDirectoryW(Wide(tree_.Root()).c_str());
  platform_ = MakePlatform();
  form_ = std::make_unique<Form1>(*platform_);
  form_->SetQuitHook([this] { ++quits_; });
  SetWindowPos(form_->Hwnd(), nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  form_->Show(SW_SHOWNORMAL);
  Pump(*form_, 50);
}

std::unique_ptr<Platform> WindowTest::MakePlatform() { return MakeDirectoryPlatform(tree_.Root()); }

void WindowTest::TearDown() {
  form_.reset();
  platform_.reset();
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  SetCurrentDirectoryW(temp);
}

void WindowTest::Click(int id) {
  SendMessageW(form_->Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(Item(id)));
}

}  // namespace tidwen::test
