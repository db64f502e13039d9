#include "frontend/win32/owned_control.h"

namespace tidwen::win32 {

namespace {

constexpr const wchar_t* kOwnerProperty = L"Tidwen.Owner";

// The child a message is about.
HWND ChildOf(HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DRAWITEM:
      return reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
    case WM_MEASUREITEM:
      // Sent while the child is being made: it may have no owner yet.
      return GetDlgItem(parent, static_cast<int>(
                                    reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlID));
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
      return reinterpret_cast<HWND>(lParam);
    default:
      (void)wParam;
      return nullptr;
  }
}

}  // namespace

OwnedControl::~OwnedControl() {
  for (HWND window : owned_) {
    if (IsWindow(window) && GetPropW(window, kOwnerProperty) == this)
      RemovePropW(window, kOwnerProperty);
  }
}

void OwnedControl::Own(HWND window) {
  if (!window) return;
  SetPropW(window, kOwnerProperty, this);
  owned_.push_back(window);
}

void SolidFill::Set(COLORREF colour) {
  if (brush_) DeleteObject(brush_);
  colour_ = colour;
  brush_ = colour == CLR_INVALID ? nullptr : CreateSolidBrush(colour);
}

LRESULT SolidFill::Answer(HDC dc, COLORREF text) const {
  SetBkColor(dc, colour_);
  if (text != CLR_INVALID) SetTextColor(dc, text);
  return reinterpret_cast<LRESULT>(brush_);
}

void OneColourControl::SetColours(COLORREF background, COLORREF text) {
  fill_.Set(background);
  text_ = text;
}

std::optional<LRESULT> OneColourControl::Reflected(UINT message, WPARAM wParam, LPARAM) {
  if (message != colourMessage_ || fill_.Colour() == CLR_INVALID) return std::nullopt;
  return fill_.Answer(reinterpret_cast<HDC>(wParam), text_);
}

OwnedControl* OwnerOf(HWND window) {
  return window ? static_cast<OwnedControl*>(GetPropW(window, kOwnerProperty)) : nullptr;
}

bool ReflectToOwner(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  OwnedControl* owner = OwnerOf(ChildOf(parent, message, wParam, lParam));
  if (!owner) return false;
  const std::optional<LRESULT> answer = owner->Reflected(message, wParam, lParam);
  if (!answer) return false;
  result = *answer;
  return true;
}

}  // namespace tidwen::win32
