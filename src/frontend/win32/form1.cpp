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
#include "frontend/common/form1_commands.h"

namespace tidwen::win32 {

namespace {

constexpr DWORD kFixedWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

const FontSpec kCommand1Font{kSongTi, 10.5};
const FontSpec kLabel2Font{kHuawenZhongsong, 14.25, true, true};
const FontSpec kMakerFont{kSongTi, 9, false, true};

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

HWND MakeButton(HWND parent, int id, const wchar_t* caption) {
  return CreateWindowExW(0, L"BUTTON", caption,
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_OWNERDRAW, 0, 0,
                         0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

HWND MakeStatic(HWND parent, int id, const wchar_t* text) {
  return CreateWindowExW(0, L"STATIC", text,
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX, 0, 0, 0,
                         0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

// A command button in the layout's colour inside the classic bevel.
void DrawButton(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  HBRUSH brush = CreateSolidBrush(kButtonColor);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  DrawEdge(dc, &rect, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  wchar_t caption[64] = {};
  const int length = GetWindowTextW(item.hwndItem, caption, 64);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  RECT text = rect;
  if (pressed) OffsetRect(&text, 1, 1);
  DrawTextW(dc, caption, length, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) {
    InflateRect(&rect, -3, -3);
    DrawFocusRect(dc, &rect);
  }
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
  windowBrush_ = CreateSolidBrush(kWindowColor);
  fileListBrush_ = CreateSolidBrush(kFileListColor);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  logo_ = LoadLogo();

  CreateWindowExW(0, kForm1Class, kCaption, kFixedWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100,
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
  for (auto& [wanted, font] : fonts_) DeleteObject(font);
  if (logo_) DeleteObject(logo_);
  DeleteObject(windowBrush_);
  DeleteObject(fileListBrush_);
}

void Form1::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  SetFocus(drive1_->Hwnd());
}

void Form1::BuildControls() {
  const HWND w = hwnd_;
  // Made in tab order, which the keyboard follows.
  drive1_ = std::make_unique<DriveComboBox>(w, kDrive1, platform_.Drives());
  Place(drive1_->Hwnd(), {2160, 240, 1815, 300});
  dir1_ = std::make_unique<DirListBox>(w, kDir1, platform_.Dir1());
  Place(dir1_->Hwnd(), {2160, 600, 1815, 2820});
  file1_ = std::make_unique<FileListBox>(w, kFile1, platform_.File1());
  Place(file1_->Hwnd(), {4080, 600, 2415, 2730});

  ContainerArt frameArt;
  frameArt.background = kWindowColor;
  frameArt.sunkenEdge = true;
  frame1_ = MakeContainer(w, kFrame1, frameArt, false);
  Place(frame1_, {360, 3480, 8655, 735});
  label1_ = std::make_unique<StatusLabel>(frame1_, kLabel1, pacer_);
  Place(label1_->Hwnd(), {120, 120, 8295, 375});

  list2_ = std::make_unique<CheckListBox>(w, kList2, true, pacer_);
  list2_->SetColors(kFileListColor, GetSysColor(COLOR_WINDOWTEXT));
  Place(list2_->Hwnd(), {6600, 600, 2415, 2790});
  const HWND label3 = MakeStatic(w, kLabel3, L"  当前文件夹的所有文件");
  Place(label3, {4080, 240, 2535, 255});
  const HWND label4 = MakeStatic(w, kLabel4, L"  请选择扫描的文件类型");
  Place(label4, {6720, 240, 2415, 255});

  list1_ = std::make_unique<CheckListBox>(w, kList1, true, pacer_);
  list1_->SetColors(kResultListColor, kActiveTitleBarColor);
  Place(list1_->Hwnd(), {2160, 240, 6855, 3210});
  list3_ = std::make_unique<CheckListBox>(w, kList3, false, pacer_);
  SetWindowLongW(list3_->Hwnd(), GWL_STYLE,
                 GetWindowLongW(list3_->Hwnd(), GWL_STYLE) & ~WS_TABSTOP);
  Place(list3_->Hwnd(), {6720, 240, 2295, 2760});

  ContainerArt pictureArt;
  pictureArt.bitmap = logo_;
  picture1_ = MakeContainer(w, kPicture1, pictureArt, true);
  Place(picture1_, {360, 240, 1695, 1095});
  Place(MakeStatic(picture1_, kLabel2, L"Tidwen"), {120, 120, 1335, 375}, &kLabel2Font);

  Place(MakeButton(w, kCommand5, L"全       选"), {360, 2400, 1695, 375});
  Place(MakeButton(w, kCommand4, L"退       出"), {360, 3120, 1695, 375});
  Place(MakeButton(w, kCommand3, L"选择扫描类型"), {360, 2040, 1695, 375});
  Place(MakeButton(w, kCommand2, L"删       除"), {360, 1680, 1695, 375});
  Place(MakeButton(w, kCommand1, L"扫      描"), {360, 1320, 1695, 375}, &kCommand1Font);
  Place(MakeStatic(picture1_, kLabel5, L"Orvanta"), {120, 480, 1455, 255}, &kMakerFont);
  Place(MakeStatic(picture1_, kLabel6, L"orv@example.com"), {0, 720, 1455, 255}, &kMakerFont);
  Place(MakeButton(w, kCommand6, L"关       于"), {360, 2760, 1695, 375});

  // The headings lie on the window's surface, beneath any list shown.
  for (HWND heading : {label3, label4})
    SetWindowPos(heading, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Form1::Place(HWND control, TwipsRect rect, const FontSpec* font) {
  placed_.push_back({control, rect, font});
}

void Form1::Layout(UINT dpi) {
  std::vector<std::pair<const FontSpec*, HFONT>> fonts;
  auto fontFor = [&](const FontSpec* wanted) {
    for (auto& [s, f] : fonts)
      if (s == wanted) return f;
    HFONT f = MakeFont(*wanted, dpi);
    fonts.emplace_back(wanted, f);
    return f;
  };
  for (const Placed& p : placed_) {
    SetWindowPos(p.hwnd, nullptr, Twips(p.rect.left, dpi), Twips(p.rect.top, dpi),
                 Twips(p.rect.width, dpi), Twips(p.rect.height, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(p.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(p.font)), FALSE);
  }
  for (auto& [wanted, font] : fonts_) DeleteObject(font);
  fonts_ = std::move(fonts);
  for (CheckListBox* list : {list1_.get(), list2_.get(), list3_.get()}) list->UpdateItemHeight();
  // The drive list's field and entries: the height of its font.
  const int field = Twips(300, dpi) - 6;
  SendMessageW(drive1_->Hwnd(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  SendMessageW(drive1_->Hwnd(), CB_SETITEMHEIGHT, 0, field);
  RECT frame{0, 0, Twips(9405, dpi), Twips(4290, dpi)};
  AdjustWindowRectExForDpi(&frame, kFixedWindowStyle, FALSE, 0, dpi);
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(hwnd_, nullptr, TRUE);
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
  } catch (const RuntimeError& error) {
    messageBox_.MsgBox("发生错误" + std::to_string(error.Number()), MsgBoxButtons::kOkOnly,
                       MsgBoxIcon::kNone, "");
  } catch (const std::bad_alloc&) {
    messageBox_.MsgBox("发生错误" + std::to_string(kOutOfMemory), MsgBoxButtons::kOkOnly,
                       MsgBoxIcon::kNone, "");
  } catch (const std::exception&) {
    messageBox_.MsgBox("发生错误" + std::to_string(kInternalError), MsgBoxButtons::kOkOnly,
                       MsgBoxIcon::kNone, "");
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
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(hwnd, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, windowBrush_);
      return 1;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id == kLabel2 || id == kLabel5 || id == kLabel6) {
        // Over the logo: it shows through around the text.
        SetTextColor(dc, id == kLabel2 ? RGB(255, 0, 0) : RGB(255, 255, 0));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, kWindowColor);
      return reinterpret_cast<LRESULT>(windowBrush_);
    }
    case WM_CTLCOLORLISTBOX: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      const HWND list = reinterpret_cast<HWND>(lParam);
      if (list == dir1_->Hwnd() || list == file1_->Hwnd()) {
        SetBkColor(dc, kFileListColor);
        return reinterpret_cast<LRESULT>(fileListBrush_);
      }
      // The drive list's drop-down.
      SetBkColor(dc, kWindowColor);
      return reinterpret_cast<LRESULT>(windowBrush_);
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
          if (IsCommand(static_cast<int>(item.CtlID))) DrawButton(item);
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
      messageBox_.SetOwner(nullptr);
      QuitIfLast();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace tidwen::win32
