#include "frontend/win32/form1.h"

#include <ole2.h>

#include <string>

#include "frontend/common/form1_commands.h"
#include "frontend/common/window_description.h"
#include "frontend/common/worker_commands.h"
#include "frontend/win32/form2.h"
#include "rules/junk_rules.h"

namespace tidwen::win32 {

namespace {

// Fixed size, a close box and no other; its children clipped from its paint.
constexpr DWORD kFixedWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

}  // namespace

Form1::Form1(Platform& platform) : platform_(platform), quitHook_([] { PostQuitMessage(0); }) {
  loop_.SetRunner(&runner_);
  RegisterWindowClasses();
  static bool registered = false;
  if (!registered) {
    registered = true;
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &Form1::Proc;
    form.hInstance = GetModuleHandleW(nullptr);
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hIcon = LoadProgramIcon(GetSystemMetrics(SM_CXICON));
    form.hIconSm = LoadProgramIcon(GetSystemMetrics(SM_CXSMICON));
    form.lpszClassName = kForm1Class;
    RegisterClassExW(&form);
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  logo_ = LoadLogo();

  CreateWindowExW(0, kForm1Class, Wide(frontend::kCaption).c_str(), kFixedWindowStyle,
                  CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr,
                  GetModuleHandleW(nullptr), this);
  messageBox_.SetOwner(hwnd_);
  BuildControls();
  Layout(DpiOf(hwnd_));

  // The window's directory and file lists stand in front of the platform's
  // listers, so that they show what the listers list.
  context_ = std::make_unique<Form1Context>(
      MakeForm1Context({*list1_, *list2_, *list3_, *label1_, *drive1_},
                       {*dir1_, *file1_, platform.FileLength(), platform.FileSystem()},
                       messageBox_));
  if (const char letter = ::tidwen::OpenStartDirectory(*context_, platform_, WorkingDirectory())) {
    drive1_->ChooseDrive(letter);
  }
  platform_.ReleaseHandles();
  Guarded(&Form1::Form_Load);
  // The focus starts on the first control in tab order.
  SetFocus(controls_->NextTabStop(nullptr, false));
}

Form1::~Form1() {
  quitHook_ = nullptr;
  if (form2_) form2_.reset();
  context_.reset();
  if (hwnd_) DestroyWindow(hwnd_);
  controls_.reset();
  if (logo_) DeleteObject(logo_);
}

void Form1::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  SetFocus(controls_->NextTabStop(nullptr, false));
}

void Form1::BuildControls() {
  using frontend::ControlKind;
  const frontend::WindowDescription& layout = frontend::Form1Description();
  Pictures pictures;
  pictures.logo = logo_;
  // The lists and the status line are the window's own objects.
  controls_ = std::make_unique<WindowControls>(
      hwnd_, layout, pictures,
      [this](const frontend::ControlDescription& c, HWND parent, int id) -> HWND {
        switch (c.kind) {
          case ControlKind::kDriveList:
            drive1_ = std::make_unique<DriveComboBox>(parent, id, platform_.Drives());
            return drive1_->Hwnd();
          case ControlKind::kDirList:
            dir1_ = std::make_unique<DirListBox>(parent, id, platform_.Dir1());
            return dir1_->Hwnd();
          case ControlKind::kFileList:
            file1_ = std::make_unique<FileListBox>(parent, id, platform_.File1());
            return file1_->Hwnd();
          case ControlKind::kCheckList:
          case ControlKind::kPlainList: {
            auto& list = c.name == "List1" ? list1_ : c.name == "List2" ? list2_ : list3_;
            list = std::make_unique<CheckListBox>(parent, id, c.kind == ControlKind::kCheckList,
                                                  pacer_);
            return list->Hwnd();
          }
          default:
            if (c.name != "Label1") return nullptr;
            label1_ = std::make_unique<StatusLabel>(parent, id, pacer_);
            return label1_->Hwnd();
        }
      });
  resultTip_ = std::make_unique<ResultToolTip>(hwnd_, *list1_, platform_);
}

void Form1::Layout(UINT dpi) {
  controls_->Layout(dpi, kFixedWindowStyle);
  for (CheckListBox* list : {list1_.get(), list2_.get(), list3_.get()}) list->UpdateItemHeight();
  // The drive list's field and entries fill its height, less the edge.
  drive1_->SetItemHeight(
      Twips(frontend::ControlOf(frontend::Form1Description(), "Drive1").rect.height, dpi) - 6);
}

std::string Form1::WorkingDirectory() {
  wchar_t cwd[MAX_PATH * 4] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH * 4, cwd);
  return length > 0 && length < MAX_PATH * 4 ? Narrow(cwd) : std::string();
}

void Form1::RefreshDrives() {
  if (platform_.RefreshDrives()) drive1_->Reload(platform_.Drives());
}

// Form_Load: fills the junk types, all checked, and opens the types view.
void Form1::Form_Load() { ::tidwen::Form_Load(*context_); }

// Scan: the results view, then the chosen drive breadth-first, walked on a
// worker while the window stays painted.
void Form1::Command1_Click() {
  // Drives that came or went since the list was last read count now; a
  // chosen drive that is gone scans as empty.
  RefreshDrives();
  scanning_ = true;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  struct Restore {
    Form1& form;
    ~Restore() {
      form.scanning_ = false;
      POINT at;
      GetCursorPos(&at);
      SetCursorPos(at.x, at.y);  // the cursor shape of what lies under it
    }
  } restore{*this};
  frontend::Command1_Click(*context_,
                           {platform_.Dir1(), platform_.File1(), platform_.FileLength(),
                            platform_.FileSystem()},
                           runner_);
}

// Delete: after a confirmation, the files of the checked results, deleted
// on a worker; each failure's box is shown here.
void Form1::Command2_Click() { frontend::Command2_Click(*context_, runner_); }

// Choose types: back to the types view, the results emptied.
void Form1::Command3_Click() { ::tidwen::Command3_Click(*context_); }

// Exit: both windows go at once.
void Form1::Command4_Click() {
  // Both windows go at once; nothing is asked and no other handler runs.
  if (form2_ && form2_->Hwnd()) DestroyWindow(form2_->Hwnd());
  if (hwnd_) DestroyWindow(hwnd_);
}

// Select all: every result and junk types 0 to 14 checked.
void Form1::Command5_Click() { ::tidwen::Command5_Click(*context_); }

// About: the one about window, made on first use, shown modelessly.
void Form1::Command6_Click() {
  if (!form2_) {
    form2_ = std::make_unique<Form2>([this] { QuitIfLast(); });
    form2_->SetCloseHook([this] {
      return policy_.OnClose(frontend::WindowRole::kAbout) == frontend::Verdict::kHoldClose;
    });
  }
  form2_->Show();
}

void Form1::QuitIfLast() {
  if (hwnd_ || (form2_ && form2_->Hwnd())) return;
  if (quitHook_) {
    auto hook = std::move(quitHook_);
    quitHook_ = nullptr;
    hook();
  }
}

// Drive1 drops down: the drives read afresh.
void Form1::Drive1_DropDown() { RefreshDrives(); }

// Dir1 double-clicked: opens the chosen directory; browsing leaves nothing
// open on the drive.
void Form1::Dir1_DblClick() {
  dir1_->OpenSelected();
  platform_.ReleaseHandles();
}

// Enter: presses the focused button, or opens the directory chosen in Dir1.
void Form1::Form_Enter() {
  const HWND focus = GetFocus();
  if (focus && GetParent(focus) == hwnd_ && RouteOf(GetDlgCtrlID(focus), BN_CLICKED)) {
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                 reinterpret_cast<LPARAM>(focus));
  } else if (focus == dir1_->Hwnd()) {
    Dir1_DblClick();
  }
}

}  // namespace tidwen::win32
