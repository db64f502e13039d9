// Control objects that answer for their own windows: the messages a parent
// gets about a child (WM_DRAWITEM, WM_MEASUREITEM, WM_CTLCOLOR*) are passed
// on to the object that owns the child, so that each kind of control draws,
// measures and colours itself and the window knows none of it.
#pragma once

#include "platform/windows/win32.h"

#include <optional>
#include <vector>

namespace tidwen::win32 {

class OwnedControl {
 public:
  virtual ~OwnedControl();
  // The answer to a message about one of the object's windows; nullopt
  // leaves it to the parent's default.
  virtual std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // The colours the description gives the control, or the platform's for
  // its kind.
  virtual void SetColours(COLORREF background, COLORREF text) {
    (void)background;
    (void)text;
  }

 protected:
  // Makes this object the owner of window, until it goes or the object does.
  void Own(HWND window);

 private:
  std::vector<HWND> owned_;
};

// A solid fill of one colour, for the colour messages; owns its brush.
class SolidFill {
 public:
  SolidFill() = default;
  ~SolidFill() { Set(CLR_INVALID); }
  SolidFill(const SolidFill&) = delete;
  SolidFill& operator=(const SolidFill&) = delete;
  void Set(COLORREF colour);
  COLORREF Colour() const { return colour_; }
  // Sets dc's background and text colours and answers with the brush.
  LRESULT Answer(HDC dc, COLORREF text) const;

 private:
  COLORREF colour_ = CLR_INVALID;
  HBRUSH brush_ = nullptr;
};

// A control of one colour behind its text, which answers the colour
// message of its kind (WM_CTLCOLORSTATIC, WM_CTLCOLORLISTBOX).
class OneColourControl : public OwnedControl {
 public:
  explicit OneColourControl(UINT colourMessage) : colourMessage_(colourMessage) {}
  void SetColours(COLORREF background, COLORREF text) override;
  std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  SolidFill fill_;
  COLORREF text_ = CLR_INVALID;

 private:
  UINT colourMessage_;
};

// The object that owns a window; null for none.
OwnedControl* OwnerOf(HWND window);

// Passes a message a parent got about its child to the child's owner:
// true with the answer in result when the owner answered.
bool ReflectToOwner(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

}  // namespace tidwen::win32
