// The one description of Tidwen's two windows: every control's name, kind,
// place in twips, caption, colours, font, tab index and whether it takes
// the focus, with the colours, faces and caption the windows share. Both
// front ends build their windows from it and know nothing of the layout
// themselves; what differs between them is only how a kind is drawn.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tidwen::frontend {

// Twips: 1440 to an inch, so 15 to a pixel at 96 DPI. The front ends turn
// them into pixels at the window's DPI.
struct TwipsRect {
  int left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

struct Rgb {
  std::uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The colours the layout names.
inline constexpr Rgb kWindowColour{255, 192, 128};
inline constexpr Rgb kFileListColour{192, 255, 192};
inline constexpr Rgb kResultListColour{255, 255, 192};
inline constexpr Rgb kButtonColour{192, 64, 0};
// The results' text: the active title bar's colour of the classic desktop
// scheme. Today's systems give that role a pale blue that cannot be read on
// the list's pale yellow, so the classic navy is written out.
inline constexpr Rgb kActiveTitleBarColour{0, 0, 128};

// The Simplified-Chinese faces the windows ask for, with character set
// GB2312; each front end stands a font of the same style in for a missing
// one.
inline constexpr std::string_view kSongTi = "宋体";
inline constexpr std::string_view kHuawenZhongsong = "华文中宋";
inline constexpr std::string_view kFangzhengShuti = "方正舒体";

struct FontSpec {
  std::string_view face;  // UTF-8
  double points = 9;
  bool bold = false;
  bool italic = false;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};
// The windows' default user-interface font. Every control has a fixed size
// in twips, so it is 9 pt whatever the desktop's own size.
inline constexpr FontSpec kDefaultFont{kSongTi, 9};

// The caption of both windows.
inline constexpr std::string_view kCaption = "Tidwenv1.1";

enum class ControlKind {
  kDriveList,  // Drive1: a drop-down list of the drives
  kDirList,    // Dir1: the directories above and below the current one
  kFileList,   // File1: the files of the current directory
  kCheckList,  // List1, List2: a list with a check box in front of each entry
  kPlainList,  // List3: a list that is never shown
  kFrame,      // a box without a caption, around other controls
  kRule,       // a frame so low that it shows as an engraved bar
  kLabel,
  kPicture,  // a box that shows a picture and holds labels
  kButton,
  kLine,  // a straight line drawn on the window's surface
};

// What fills a control's background.
enum class Fill {
  kPlatform,     // the platform's own colour for the kind
  kColour,       // ControlDescription::background
  kTransparent,  // what lies beneath shows around the text
};

// What a picture box shows.
enum class Picture { kNone, kLogo, kIcon };

struct ControlDescription {
  std::string_view name;  // "Command1"
  int index = -1;         // the index within a control array (Frame1(0)); -1 for none
  ControlKind kind = ControlKind::kLabel;
  // The control that holds it ("Picture1", "Frame1"); empty for the window.
  std::string_view container;
  // Where it stands in its container. A line runs from (left, top) to
  // (left + width, top + height).
  TwipsRect rect;
  std::string_view caption;  // UTF-8; the exact text, blanks included
  Fill fill = Fill::kPlatform;
  Rgb background;
  std::optional<Rgb> textColour;  // nullopt: the platform's
  std::optional<FontSpec> font;   // nullopt: kDefaultFont
  int tabIndex = -1;              // the order among controls that take the focus
  bool takesFocus = false;
  // A label sized to its text takes the size of its text in the font that
  // stands in, so a wider substitute never clips it.
  bool sizedToText = false;
  Picture picture = Picture::kNone;
  // What a screen reader says for it.
  std::string_view accessibleName;
};

struct WindowDescription {
  std::string_view name;      // "Form1"
  int width = 0, height = 0;  // the client area, in twips
  Fill fill = Fill::kPlatform;
  Rgb background;
  // In the order they are made, which is the order they stack: lowest first.
  std::span<const ControlDescription> controls;
};

const WindowDescription& Form1Description();
const WindowDescription& Form2Description();

// The control of a window by name and index; throws std::out_of_range for
// none, so a misspelt name fails where it is used.
const ControlDescription& ControlOf(const WindowDescription& window, std::string_view name,
                                    int index = -1);

// The controls that take the focus, in tab order.
std::vector<const ControlDescription*> TabOrder(const WindowDescription& window);

}  // namespace tidwen::frontend
