#include "frontend/common/window_description.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

// Each entry names only what differs from a control's defaults; GCC would
// warn of every member a designated initializer leaves to its default.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif

namespace tidwen::frontend {

namespace {

using K = ControlKind;

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kYellow{255, 255, 0};

// The two tables keep one control to an entry, as they are read.
// clang-format off

// Form1, lowest first: the two headings lie on the window's surface beneath
// the lists, and the logo's labels on the logo.
constexpr std::array kForm1Controls = {
    ControlDescription{.name = "Label3", .kind = K::kLabel, .rect = {4080, 240, 2535, 255},
                .caption = "  当前文件夹的所有文件", .fill = Fill::kColour,
                .background = kWindowColour, .tabIndex = 6,
                .accessibleName = "当前文件夹的所有文件"},
    ControlDescription{.name = "Label4", .kind = K::kLabel, .rect = {6720, 240, 2415, 255},
                .caption = "  请选择扫描的文件类型", .fill = Fill::kColour,
                .background = kWindowColour, .tabIndex = 7,
                .accessibleName = "请选择扫描的文件类型"},
    ControlDescription{.name = "Drive1", .kind = K::kDriveList, .rect = {2160, 240, 1815, 300},
                .fill = Fill::kColour, .background = kWindowColour, .tabIndex = 0,
                .takesFocus = true, .accessibleName = "驱动器"},
    ControlDescription{.name = "Dir1", .kind = K::kDirList, .rect = {2160, 600, 1815, 2820},
                .fill = Fill::kColour, .background = kFileListColour, .tabIndex = 1,
                .takesFocus = true, .accessibleName = "文件夹"},
    ControlDescription{.name = "File1", .kind = K::kFileList, .rect = {4080, 600, 2415, 2730},
                .fill = Fill::kColour, .background = kFileListColour, .tabIndex = 2,
                .takesFocus = true, .accessibleName = "文件"},
    ControlDescription{.name = "Frame1", .kind = K::kFrame, .rect = {360, 3480, 8655, 735},
                .fill = Fill::kColour, .background = kWindowColour, .tabIndex = 3,
                .accessibleName = "状态栏"},
    ControlDescription{.name = "Label1", .kind = K::kLabel, .container = "Frame1",
                .rect = {120, 120, 8295, 375}, .fill = Fill::kColour,
                .background = kWindowColour, .tabIndex = 4},
    ControlDescription{.name = "List2", .kind = K::kCheckList, .rect = {6600, 600, 2415, 2790},
                .fill = Fill::kColour, .background = kFileListColour, .tabIndex = 5,
                .takesFocus = true, .accessibleName = "扫描的文件类型"},
    ControlDescription{.name = "List1", .kind = K::kCheckList, .rect = {2160, 240, 6855, 3210},
                .fill = Fill::kColour, .background = kResultListColour,
                .textColour = kActiveTitleBarColour, .tabIndex = 8, .takesFocus = true,
                .accessibleName = "找到的垃圾文件"},
    ControlDescription{.name = "List3", .kind = K::kPlainList, .rect = {6720, 240, 2295, 2760},
                .tabIndex = 9, .accessibleName = "待扫描的文件夹"},
    ControlDescription{.name = "Picture1", .kind = K::kPicture, .rect = {360, 240, 1695, 1095},
                .tabIndex = 10, .takesFocus = true, .picture = Picture::kLogo,
                .accessibleName = "Tidwen 标志"},
    ControlDescription{.name = "Label2", .kind = K::kLabel, .container = "Picture1",
                .rect = {120, 120, 1335, 375}, .caption = "Tidwen", .fill = Fill::kTransparent,
                .textColour = kRed, .font = FontSpec{kHuawenZhongsong, 14.25, true, true},
                .tabIndex = 11, .accessibleName = "Tidwen"},
    ControlDescription{.name = "Command5", .kind = K::kButton, .rect = {360, 2400, 1695, 375},
                .caption = "全       选", .fill = Fill::kColour, .background = kButtonColour,
                .tabIndex = 12, .takesFocus = true, .accessibleName = "全选"},
    ControlDescription{.name = "Command4", .kind = K::kButton, .rect = {360, 3120, 1695, 375},
                .caption = "退       出", .fill = Fill::kColour, .background = kButtonColour,
                .tabIndex = 13, .takesFocus = true, .accessibleName = "退出"},
    ControlDescription{.name = "Command3", .kind = K::kButton, .rect = {360, 2040, 1695, 375},
                .caption = "选择扫描类型", .fill = Fill::kColour, .background = kButtonColour,
                .tabIndex = 14, .takesFocus = true, .accessibleName = "选择扫描类型"},
    ControlDescription{.name = "Command2", .kind = K::kButton, .rect = {360, 1680, 1695, 375},
                .caption = "删       除", .fill = Fill::kColour, .background = kButtonColour,
                .tabIndex = 15, .takesFocus = true, .accessibleName = "删除"},
    ControlDescription{.name = "Command1", .kind = K::kButton, .rect = {360, 1320, 1695, 375},
                .caption = "扫      描", .fill = Fill::kColour, .background = kButtonColour,
                .font = FontSpec{kSongTi, 10.5}, .tabIndex = 16, .takesFocus = true,
                .accessibleName = "扫描"},
    ControlDescription{.name = "Label5", .kind = K::kLabel, .container = "Picture1",
                .rect = {120, 480, 1455, 255}, .caption = "Orvanta", .fill = Fill::kTransparent,
                .textColour = kYellow, .font = FontSpec{kSongTi, 9, false, true},
                .tabIndex = 17, .accessibleName = "Orvanta"},
    ControlDescription{.name = "Label6", .kind = K::kLabel, .container = "Picture1",
                .rect = {0, 720, 1455, 255}, .caption = "orv@example.com",
                .fill = Fill::kTransparent, .textColour = kYellow,
                .font = FontSpec{kSongTi, 9, false, true}, .tabIndex = 18,
                .accessibleName = "orv@example.com"},
    ControlDescription{.name = "Command6", .kind = K::kButton, .rect = {360, 2760, 1695, 375},
                .caption = "关       于", .fill = Fill::kColour, .background = kButtonColour,
                .tabIndex = 19, .takesFocus = true, .accessibleName = "关于"},
};

// Form2, lowest first. Its labels that are not transparent are filled with
// the window's colour, the platform's own. The line is drawn on the
// window's surface, and the large italic initial lies on top, leaning into
// the rest of the name without hiding anything, being transparent.
constexpr std::array kForm2Controls = {
    ControlDescription{.name = "Line1", .kind = K::kLine, .rect = {240, 2040, 4320, 0},
                .textColour = kRed},
    ControlDescription{.name = "Picture1", .kind = K::kPicture, .rect = {0, 0, 615, 975},
                .tabIndex = 0, .takesFocus = true, .picture = Picture::kIcon,
                .accessibleName = "Tidwen 图标"},
    ControlDescription{.name = "Label1", .kind = K::kLabel, .rect = {1320, 120, 1875, 450},
                .caption = "Tidwen", .fill = Fill::kTransparent, .textColour = Rgb{128, 64, 0},
                .font = FontSpec{kFangzhengShuti, 21.75}, .tabIndex = 1, .sizedToText = true,
                .accessibleName = "Tidwen"},
    ControlDescription{.name = "Label3", .kind = K::kLabel, .rect = {600, 1680, 3900, 285},
                .caption = "rvanta ", .textColour = kRed,
                .font = FontSpec{kSongTi, 14.25, false, true}, .tabIndex = 3,
                .sizedToText = true, .accessibleName = "rvanta"},
    ControlDescription{.name = "Label4", .kind = K::kLabel, .rect = {1080, 1320, 2325, 315},
                .caption = "Orvanta", .textColour = kYellow,
                .font = FontSpec{kSongTi, 15.75, true, true}, .tabIndex = 4,
                .sizedToText = true, .accessibleName = "Orvanta"},
    ControlDescription{.name = "Frame1", .index = 0, .kind = K::kRule, .rect = {840, 600, 3135, 135},
                .tabIndex = 5, .accessibleName = "分隔线"},
    ControlDescription{.name = "Label5", .kind = K::kLabel, .rect = {2040, 840, 435, 435},
                .caption = "★", .textColour = kRed,
                .font = FontSpec{kSongTi, 21.75}, .tabIndex = 6, .sizedToText = true,
                .accessibleName = "★"},
    ControlDescription{.name = "Label6", .kind = K::kLabel, .rect = {240, 2160, 4455, 255},
                .caption = "作者：Orvanta  邮箱：orv@example.com",
                .textColour = Rgb{255, 0, 255}, .tabIndex = 7,
                .accessibleName = "作者：Orvanta  邮箱：orv@example.com"},
    ControlDescription{.name = "Frame1", .index = 1, .kind = K::kRule, .rect = {120, 2640, 4455, 135},
                .tabIndex = 8, .accessibleName = "分隔线"},
    ControlDescription{.name = "Label2", .kind = K::kLabel, .rect = {120, 1560, 360, 720},
                .caption = "O", .fill = Fill::kTransparent, .textColour = kRed,
                .font = FontSpec{kSongTi, 36, false, true}, .tabIndex = 2, .sizedToText = true,
                .accessibleName = "O"},
};

// clang-format on

}  // namespace

const WindowDescription& Form1Description() {
  static const WindowDescription form{"Form1",       9405,          4290,
                                      Fill::kColour, kWindowColour, kForm1Controls};
  return form;
}

const WindowDescription& Form2Description() {
  static const WindowDescription form{"Form2", 4680, 3195, Fill::kPlatform, Rgb{}, kForm2Controls};
  return form;
}

const ControlDescription& ControlOf(const WindowDescription& window, std::string_view name,
                                    int index) {
  for (const ControlDescription& control : window.controls) {
    if (control.name == name && control.index == index) return control;
  }
  throw std::out_of_range(std::string(window.name) + " has no control " + std::string(name));
}

std::vector<const ControlDescription*> TabOrder(const WindowDescription& window) {
  std::vector<const ControlDescription*> order;
  for (const ControlDescription& control : window.controls) {
    if (control.takesFocus) order.push_back(&control);
  }
  std::sort(order.begin(), order.end(),
            [](const ControlDescription* a, const ControlDescription* b) {
              return a->tabIndex < b->tabIndex;
            });
  return order;
}

}  // namespace tidwen::frontend
