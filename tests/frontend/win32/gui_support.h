// The window tests' fixture: the main window over a temporary directory
// shown as drive c:, driven in-process by messages, with the message boxes
// it shows answered from a timer.
#pragma once

#include "platform/windows/win32.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frontend/win32/form1.h"
#include "frontend/win32/win32_ui.h"
#include "platform/platform.h"
#include "win_test_support.h"

namespace tidwen::test {

using namespace tidwen::win32;

// Text of a window as UTF-8.
std::string TextOf(HWND window);

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);

// Runs the message loop as the program does (the windows' keyboard
// interface first) until nothing is left, or for at least `milliseconds`.
void Pump(Form1& form, int milliseconds = 0);

// One message box as it was shown.
struct SeenBox {
  std::string title;
  std::string text;
  std::vector<std::pair<int, std::string>> buttons;  // id and caption
  int defaultButton = 0;
  bool warningIcon = false;
};

// Answers the message boxes of this thread from a timer, in order, with the
// given button ids; a box beyond the script is answered with its default
// button and counted as unexpected, so that no test can hang on a box.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::vector<int> answers);
  ~BoxAnswerer();
  const std::vector<SeenBox>& Seen() const { return seen_; }
  int Unexpected() const { return unexpected_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  static BOOL CALLBACK Visit(HWND, LPARAM);
  std::vector<int> answers_;
  std::vector<SeenBox> seen_;
  std::vector<HWND> answered_;
  int unexpected_ = 0;
  UINT_PTR timer_ = 0;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes the window over the tree as it stands now.
  void Open();
  // The platform the window is made over: the tree as drive c:.
  virtual std::unique_ptr<Platform> MakePlatform();
  // Presses a command button as a click does.
  void Click(int id);
  HWND Item(int id) const { return GetDlgItem(form_->Hwnd(), id); }
  HWND PictureItem(int id) const { return GetDlgItem(Item(kPicture1), id); }
  bool IsShown(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
  std::string Status() const { return TextOf(GetDlgItem(Item(kFrame1), kLabel1)); }
  UINT Dpi() const { return DpiOf(form_->Hwnd()); }
  int Px(int twips) const { return Twips(twips, Dpi()); }

  WinTempTree tree_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<Form1> form_;
  int quits_ = 0;
};

}  // namespace tidwen::test
