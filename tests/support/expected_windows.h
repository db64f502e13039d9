// What the layout of both windows must be, written out from the design
// document by hand and kept apart from src/frontend/common's description:
// the layout tests of both front ends compare the windows they build with
// this table, so a wrong entry in the description fails them.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tidwen::test {

struct ExpectedControl {
  std::string_view window;  // "Form1", "Form2"
  std::string_view name;
  int index;                     // Frame1(0), Frame1(1) of Form2; -1 otherwise
  std::string_view container;    // "" for the window
  int left, top, width, height;  // twips; the given size of a label sized to its text
  std::string_view caption;
  int r, g, b;            // the text colour; -1 for the platform's
  std::string_view face;  // "" for the default font
  double points;          // 0 for the default font
  bool bold, italic;
  bool takesFocus;
  int tabIndex;
};

inline constexpr int kForm1Width = 9405, kForm1Height = 4290;
inline constexpr int kForm2Width = 4680, kForm2Height = 3195;

// One control to a line, as the tables are read.
// clang-format off
inline constexpr std::array<ExpectedControl, 20> kExpectedForm1 = {{
    {"Form1", "Drive1", -1, "", 2160, 240, 1815, 300, "", -1, -1, -1, "", 0, false, false, true, 0},
    {"Form1", "Dir1", -1, "", 2160, 600, 1815, 2820, "", -1, -1, -1, "", 0, false, false, true, 1},
    {"Form1", "File1", -1, "", 4080, 600, 2415, 2730, "", -1, -1, -1, "", 0, false, false, true, 2},
    {"Form1", "Frame1", -1, "", 360, 3480, 8655, 735, "", -1, -1, -1, "", 0, false, false, false, 3},
    {"Form1", "Label1", -1, "Frame1", 120, 120, 8295, 375, "", -1, -1, -1, "", 0, false, false, false, 4},
    {"Form1", "List2", -1, "", 6600, 600, 2415, 2790, "", -1, -1, -1, "", 0, false, false, true, 5},
    {"Form1", "Label3", -1, "", 4080, 240, 2535, 255, "  当前文件夹的所有文件", -1, -1, -1, "", 0, false, false, false, 6},
    {"Form1", "Label4", -1, "", 6720, 240, 2415, 255, "  请选择扫描的文件类型", -1, -1, -1, "", 0, false, false, false, 7},
    {"Form1", "List1", -1, "", 2160, 240, 6855, 3210, "", 0, 0, 128, "", 0, false, false, true, 8},
    {"Form1", "List3", -1, "", 6720, 240, 2295, 2760, "", -1, -1, -1, "", 0, false, false, false, 9},
    {"Form1", "Picture1", -1, "", 360, 240, 1695, 1095, "", -1, -1, -1, "", 0, false, false, true, 10},
    {"Form1", "Label2", -1, "Picture1", 120, 120, 1335, 375, "Tidwen", 255, 0, 0, "华文中宋", 14.25, true, true, false, 11},
    {"Form1", "Command5", -1, "", 360, 2400, 1695, 375, "全       选", -1, -1, -1, "", 0, false, false, true, 12},
    {"Form1", "Command4", -1, "", 360, 3120, 1695, 375, "退       出", -1, -1, -1, "", 0, false, false, true, 13},
    {"Form1", "Command3", -1, "", 360, 2040, 1695, 375, "选择扫描类型", -1, -1, -1, "", 0, false, false, true, 14},
    {"Form1", "Command2", -1, "", 360, 1680, 1695, 375, "删       除", -1, -1, -1, "", 0, false, false, true, 15},
    {"Form1", "Command1", -1, "", 360, 1320, 1695, 375, "扫      描", -1, -1, -1, "宋体", 10.5, false, false, true, 16},
    {"Form1", "Label5", -1, "Picture1", 120, 480, 1455, 255, "Orvanta", 255, 255, 0, "宋体", 9, false, true, false, 17},
    {"Form1", "Label6", -1, "Picture1", 0, 720, 1455, 255, "orv@example.com", 255, 255, 0, "宋体", 9, false, true, false, 18},
    {"Form1", "Command6", -1, "", 360, 2760, 1695, 375, "关       于", -1, -1, -1, "", 0, false, false, true, 19},
}};

inline constexpr std::array<ExpectedControl, 9> kExpectedForm2 = {{
    {"Form2", "Picture1", -1, "", 0, 0, 615, 975, "", -1, -1, -1, "", 0, false, false, true, 0},
    {"Form2", "Label1", -1, "", 1320, 120, 1875, 450, "Tidwen", 128, 64, 0, "方正舒体", 21.75, false, false, false, 1},
    {"Form2", "Label2", -1, "", 120, 1560, 360, 720, "O", 255, 0, 0, "宋体", 36, false, true, false, 2},
    {"Form2", "Label3", -1, "", 600, 1680, 3900, 285, "rvanta ", 255, 0, 0, "宋体", 14.25, false, true, false, 3},
    {"Form2", "Label4", -1, "", 1080, 1320, 2325, 315, "Orvanta", 255, 255, 0, "宋体", 15.75, true, true, false, 4},
    {"Form2", "Frame1", 0, "", 840, 600, 3135, 135, "", -1, -1, -1, "", 0, false, false, false, 5},
    {"Form2", "Label5", -1, "", 2040, 840, 435, 435, "★", 255, 0, 0, "宋体", 21.75, false, false, false, 6},
    {"Form2", "Label6", -1, "", 240, 2160, 4455, 255, "作者：Orvanta  邮箱：orv@example.com", 255, 0, 255, "", 0, false, false, false, 7},
    {"Form2", "Frame1", 1, "", 120, 2640, 4455, 135, "", -1, -1, -1, "", 0, false, false, false, 8},
}};

// clang-format on

// Line1 of Form2: red, from (240, 2040) to (4560, 2040).
inline constexpr int kExpectedLine1[4] = {240, 2040, 4560, 2040};

}  // namespace tidwen::test
