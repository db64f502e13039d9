// A Win32 window's controls as the common description has them: made,
// stacked, placed in twips at the window's DPI, in their fonts and colours,
// and tabbed in the description's order. The window's own objects make the
// controls whose kind needs more than a plain window; the plain ones
// (labels, buttons, frames, pictures, rules) this object owns and draws.
#pragma once

#include "platform/windows/win32.h"

#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "frontend/common/window_description.h"
#include "frontend/win32/owned_control.h"

namespace tidwen::win32 {

// Makes the window for an entry whose kind needs more than a plain window
// (the lists, the status line); returns null to have the plain window of
// the entry's kind made.
using ControlMaker = std::function<HWND(const frontend::ControlDescription&, HWND parent, int id)>;

// What the picture boxes show.
struct Pictures {
  HBITMAP logo = nullptr;  // drawn at its size from the top left, clipped
  HICON icon = nullptr;    // drawn at 32 by 32 from the top left
};

class WindowControls : public OwnedControl {
 public:
  // Makes every control of layout on window and stacks them in the
  // description's order, lowest first; a see-through label goes beneath
  // its siblings, since a sibling above clips what would show through it.
  // A control the maker made gets its colours from the description through
  // its owner object. Layout() places them.
  WindowControls(HWND window, const frontend::WindowDescription& layout, Pictures pictures,
                 const ControlMaker& make = {});
  ~WindowControls() override;
  WindowControls(const WindowControls&) = delete;
  WindowControls& operator=(const WindowControls&) = delete;

  // The control of an entry; null for none, or for a line (drawn, not a
  // window).
  HWND Find(std::string_view name, int index = -1) const;
  // The entry of a control; null for a window that is none of them.
  const frontend::ControlDescription* SpecOf(HWND control) const;

  // Places every control at the DPI, makes the fonts for it, sizes the
  // labels sized to their text in the font that stands in, and gives the
  // window (of this style) its client area.
  void Layout(UINT dpi, DWORD windowStyle);

  // The plain controls' drawing and colours: buttons drawn flat in their
  // colour in the classic bevel, labels in their colours or see-through.
  std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM lParam) override;

  // A solid brush of the colour, kept as long as the controls.
  HBRUSH Brush(frontend::Rgb colour);
  // Fills the window's client area for WM_ERASEBKGND when the description
  // gives its colour; false when the class's platform brush is to.
  bool EraseWindow(HDC dc);
  // The lines, drawn on the window's surface.
  void PaintLines(HDC dc) const;

  // Tab and Shift+Tab move the focus along the description's tab order to
  // the next control that is shown and enabled; true when the message was
  // such a key and was used.
  bool HandleTab(const MSG& message);
  // The control after (or before) from in tab order that can take the
  // focus now; null when none can.
  HWND NextTabStop(HWND from, bool backwards) const;

 private:
  struct Placed {
    const frontend::ControlDescription* layout;
    HWND hwnd;
  };
  HFONT FontFor(const frontend::FontSpec& wanted);
  LRESULT ColourStatic(HDC dc, HWND control);
  void DrawButton(const DRAWITEMSTRUCT& item);
  void DrawLabel(const DRAWITEMSTRUCT& item);

  HWND window_;
  const frontend::WindowDescription& layout_;
  std::vector<Placed> placed_;
  std::vector<std::pair<frontend::FontSpec, HFONT>> fonts_;
  std::vector<std::pair<frontend::Rgb, HBRUSH>> brushes_;
  UINT dpi_ = 96;
};

// The class of the picture boxes and of Form1's frame: a container that
// paints a picture or a sunken edge and passes its children's
// notifications to the window.
void RegisterWindowClasses();
inline constexpr const wchar_t* kContainerClass = L"TidwenBox";

}  // namespace tidwen::win32
