#include "frontend/win32/form1.h"

#include <ole2.h>
#include <olectl.h>

#include <exception>
#include <new>
#include <optional>
#include <string>

#include "clean/cleaner.h"
#include "model/runtime_error.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"
#include "frontend/win32/form2.h"
#include "frontend/common/command_failure.h"
#include "frontend/common/form1_commands.h"

namespace tidwen::win32 {

namespace {

constexpr DWORD kFixedWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

bool IsCommand(int id) { return id >= kCommand5 && id <= kCommand6 && id != kLabel5 && id != kLabel6; }

// Messages the user's input makes: dropped while a scan runs.
bool IsInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCMBUTTONDBLCLK) ||
         (message >= WM_NCXBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK) ||
         message == WM_INPUT || message == WM_MOUSEHOVER || message == WM_MOUSELEAVE ||
         message == WM_NCMOUSEHOVER || message == WM_NCMOUSELEAVE;
}

// The logo: a JPEG among the executable's resources, decoded by the
// system's picture loader.
HBITMAP LoadLogo() {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, L"LOGO", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return nullptr;
  const DWORD size = SizeofResource(module, found);
  const void* bytes = LockResource(LoadResource(module, found));
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!bytes || !memory) return nullptr;
  CopyMemory(GlobalLock(memory), bytes, size);
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  HBITMAP result = nullptr;
  if (SUCCEEDED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    IPicture* picture = nullptr;
    if (SUCCEEDED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                 reinterpret_cast<void**>(&picture)))) {
      OLE_HANDLE handle = 0;
      if (SUCCEEDED(picture->get_Handle(&handle)))
        result = static_cast<HBITMAP>(CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)),
                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
      picture->Release();
    }
    stream->Release();
  } else {
    GlobalFree(memory);
  }
  return result;
}

}  // namespace

Form1::Form1(Platform& platform) : platform_(platform), quitHook_([] { PostQuitMessage(0); }) {
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

  CreateWindowExW(0, kForm1Class, Wide(frontend::kCaption).c_str(), kFixedWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100,
                  100, nullptr, nullptr, GetModuleHandleW(nullptr), this);
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
  SetFocus(drive1_->Hwnd());
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
  SetFocus(drive1_->Hwnd());
}

void Form1::BuildControls() {
  using frontend::ControlKind;
  const frontend::WindowSpec& spec = frontend::Form1Spec();
  Pictures pictures;
  pictures.logo = logo_;
  // The lists and the status line are the window's own objects.
  controls_ = std::make_unique<WindowControls>(
      hwnd_, spec, pictures, [this](const frontend::ControlSpec& c, HWND parent, int id) -> HWND {
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
            list->SetColors(c.fill == frontend::Fill::kColour ? ToColorRef(c.background)
                                                              : GetSysColor(COLOR_WINDOW),
                            c.textColour ? ToColorRef(*c.textColour)
                                         : GetSysColor(COLOR_WINDOWTEXT));
            return list->Hwnd();
          }
          default:
            if (c.name != "Label1") return nullptr;
            label1_ = std::make_unique<StatusLabel>(parent, id, pacer_);
            return label1_->Hwnd();
        }
      });
  const frontend::ControlSpec& drive = frontend::ControlOf(spec, "Drive1");
  drive1_->SetBackground(ToColorRef(drive.background));
  resultTip_ = std::make_unique<ResultToolTip>(hwnd_, *list1_, platform_);
}

void Form1::Layout(UINT dpi) {
  controls_->Layout(dpi, kFixedWindowStyle);
  for (CheckListBox* list : {list1_.get(), list2_.get(), list3_.get()}) list->UpdateItemHeight();
  // The drive list's field and entries: the height of its font.
  const int field = Twips(frontend::ControlOf(frontend::Form1Spec(), "Drive1").rect.height, dpi) - 6;
  SendMessageW(drive1_->Hwnd(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  SendMessageW(drive1_->Hwnd(), CB_SETITEMHEIGHT, 0, field);
}

std::string Form1::WorkingDirectory() {
  wchar_t cwd[MAX_PATH * 4] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH * 4, cwd);
  return length > 0 && length < MAX_PATH * 4 ? Narrow(cwd) : std::string();
}

void Form1::RefreshDrives() {
  if (platform_.RefreshDrives()) drive1_->Reload(platform_.Drives());
}

void Form1::Guarded(void (Form1::*handler)()) {
  // Handlers never nest (input is dropped while one runs), but a box shown
  // by one must not start a second guard that would let closes through.
  if (inHandler_) {
    RunShowingErrors(handler);
    return;
  }
  inHandler_ = true;
  RunShowingErrors(handler);
  // The lists' final state reaches the screen, however the pacer spaced
  // their repaints.
  if (list1_) {
    list1_->Sync();
    list2_->Sync();
    list3_->Sync();
  }
  // Whatever the handler opened on a drive is closed when it returns.
  platform_.ReleaseHandles();
  inHandler_ = false;
  // Close requests kept meanwhile are carried out now.
  if (aboutCloseHeld_) {
    aboutCloseHeld_ = false;
    if (form2_ && form2_->Hwnd()) PostMessageW(form2_->Hwnd(), WM_CLOSE, 0, 0);
  }
  if (closeHeld_) {
    closeHeld_ = false;
    if (hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  }
}

void Form1::RunShowingErrors(void (Form1::*handler)()) {
  try {
    (this->*handler)();
  } catch (...) {
    messageBox_.MsgBox(frontend::FailedCommandText(std::current_exception()),
                       MsgBoxButtons::kOkOnly, MsgBoxIcon::kNone, "");
  }
}

void Form1::PumpNonInput() {
  // Bounded, so that a message that keeps coming cannot hold the scan up.
  MSG message;
  for (int i = 0; i < 1000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (message.message == WM_QUIT) {
      // Not ours to take: the message loop ends once the scan is over.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (IsInput(message.message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Form1::Form_Load() { ::tidwen::Form_Load(*context_); }

void Form1::Command1_Click() {
  // Drives that came or went since the list was last read count now; a
  // chosen drive that is gone scans as empty.
  RefreshDrives();
  scanning_ = true;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  // At each round of repaints the system's other messages are handled too:
  // an uncovered window is painted and the system sees it is alive. Input is
  // dropped: it was aimed at a window that takes none while it scans.
  pacer_.SetAfterRound([this] { PumpNonInput(); });
  struct Restore {
    Form1& form;
    ~Restore() {
      form.pacer_.SetAfterRound({});
      form.scanning_ = false;
      POINT at;
      GetCursorPos(&at);
      SetCursorPos(at.x, at.y);  // the cursor shape of what lies under it
    }
  } restore{*this};
  ::tidwen::Command1_Click(*context_);
  list1_->Sync();
  label1_->PaintNow();
  // Drops the input that queued up during the scan.
  PumpNonInput();
}

void Form1::Command2_Click() { ::tidwen::Command2_Click(*context_); }

void Form1::Command3_Click() { ::tidwen::Command3_Click(*context_); }

void Form1::Command4_Click() {
  // Both windows go at once; nothing is asked and no other handler runs.
  if (form2_ && form2_->Hwnd()) DestroyWindow(form2_->Hwnd());
  if (hwnd_) DestroyWindow(hwnd_);
}

void Form1::Command5_Click() { ::tidwen::Command5_Click(*context_); }

void Form1::Command6_Click() {
  if (!form2_) {
    form2_ = std::make_unique<Form2>([this] { QuitIfLast(); });
    form2_->SetCloseHook([this] {
      if (!inHandler_) return false;
      aboutCloseHeld_ = true;
      return true;
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

bool Form1::PreTranslate(MSG& message) {
  if (controls_ && controls_->HandleTab(message)) return true;
  if (form2_ && form2_->HandleTab(message)) return true;
  if (hwnd_ && (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd)))
    return IsDialogMessageW(hwnd_, &message) != FALSE;
  if (form2_ && form2_->Hwnd() &&
      (message.hwnd == form2_->Hwnd() || IsChild(form2_->Hwnd(), message.hwnd)))
    return IsDialogMessageW(form2_->Hwnd(), &message) != FALSE;
  return false;
}

LRESULT CALLBACK Form1::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Form1* self = WindowObject<Form1>(hwnd, message, lParam);
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCCREATE) self->hwnd_ = hwnd;
  return self->Handle(message, wParam, lParam);
}

LRESULT Form1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = hwnd_;
  switch (message) {
    case WM_ERASEBKGND:
      if (controls_ && controls_->EraseWindow(reinterpret_cast<HDC>(wParam))) return 1;
      break;
    case WM_CTLCOLORSTATIC:
      if (controls_)
        return controls_->ColourStatic(reinterpret_cast<HDC>(wParam),
                                       reinterpret_cast<HWND>(lParam));
      break;
    case WM_CTLCOLORLISTBOX: {
      if (!controls_) break;
      HDC dc = reinterpret_cast<HDC>(wParam);
      if (const LRESULT brush = controls_->ColourList(dc, reinterpret_cast<HWND>(lParam)))
        return brush;
      // The drive list's drop-down, which is no control of the window.
      return controls_->ColourList(dc, drive1_->Hwnd());
    }
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      item->itemHeight = Twips(300, DpiOf(hwnd)) - 6;
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      switch (item.CtlID) {
        case kDrive1:
          drive1_->DrawItem(item);
          break;
        case kList1:
          list1_->DrawItem(item);
          break;
        case kList2:
          list2_->DrawItem(item);
          break;
        case kList3:
          list3_->DrawItem(item);
          break;
        default:
          if (IsCommand(static_cast<int>(item.CtlID)) && controls_) controls_->DrawButton(item);
          break;
      }
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == IDOK && lParam == 0) {
        // Enter: presses the focused button, opens the chosen directory.
        const HWND focus = GetFocus();
        const int focused = focus ? GetDlgCtrlID(focus) : 0;
        if (focus && GetParent(focus) == hwnd && IsCommand(focused)) {
          SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(focused, BN_CLICKED),
                       reinterpret_cast<LPARAM>(focus));
        } else if (focus == dir1_->Hwnd()) {
          dir1_->OpenSelected();
          platform_.ReleaseHandles();
        }
        return 0;
      }
      if (id == kDrive1 && code == CBN_DROPDOWN) {
        RefreshDrives();
        return 0;
      }
      if (id == kDir1 && code == LBN_DBLCLK) {
        dir1_->OpenSelected();
        // Browsing leaves nothing open on the drive.
        platform_.ReleaseHandles();
        return 0;
      }
      if (code == BN_CLICKED && IsCommand(id)) {
        switch (id) {
          case kCommand1:
            Guarded(&Form1::Command1_Click);
            break;
          case kCommand2:
            Guarded(&Form1::Command2_Click);
            break;
          case kCommand3:
            Guarded(&Form1::Command3_Click);
            break;
          case kCommand4:
            Guarded(&Form1::Command4_Click);
            break;
          case kCommand5:
            Guarded(&Form1::Command5_Click);
            break;
          case kCommand6:
            Guarded(&Form1::Command6_Click);
            break;
          default:
            break;
        }
        return 0;
      }
      break;
    }
    case WM_NOTIFY:
      if (resultTip_ && resultTip_->Notify(*reinterpret_cast<const NMHDR*>(lParam), lParam))
        return 0;
      break;
    case WM_SETCURSOR:
      if (scanning_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_DPICHANGED: {
      Layout(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      if (inHandler_) {
        // Kept until the handler has returned: a window never goes away
        // under a handler.
        closeHeld_ = true;
        return 0;
      }
      DestroyWindow(hwnd);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      resultTip_.reset();
      controls_.reset();
      messageBox_.SetOwner(nullptr);
      QuitIfLast();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace tidwen::win32
