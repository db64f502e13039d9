#include "model/display_text.h"

#include <gtest/gtest.h>

namespace tidwen {
namespace {

TEST(DisplayTextTest, KeepsValidTextAndShowsControlCharactersAsPictures) {
  EXPECT_EQ(DisplayText("c:\\数据\\a.tmp"), "c:\\数据\\a.tmp");
  EXPECT_EQ(DisplayText("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");  // 4-byte sequence
  EXPECT_EQ(DisplayText("a\nb"), "a\u240Ab");
  EXPECT_EQ(DisplayText(std::string_view("a\0b", 3)), "a\u2400b");
  EXPECT_EQ(DisplayText("\x7F"), "\u2421");
  EXPECT_EQ(DisplayText(""), "");
}

TEST(DisplayTextTest, ReplacesEachByteOfAnInvalidSequence) {
  EXPECT_EQ(DisplayText("a\xFF"
                        "b"),
            "a\uFFFDb");
  EXPECT_EQ(DisplayText("\xC3"), "\uFFFD");                                // truncated
  EXPECT_EQ(DisplayText("\xC0\xAF"), "\uFFFD\uFFFD");                      // overlong "/"
  EXPECT_EQ(DisplayText("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");            // surrogate
  EXPECT_EQ(DisplayText("\xF4\x90\x80\x80"), "\uFFFD\uFFFD\uFFFD\uFFFD");  // past U+10FFFF
  EXPECT_EQ(DisplayText("\xE6\x95"
                        "x"),
            "\uFFFD\uFFFDx");  // cut short by ASCII
}

}  // namespace
}  // namespace tidwen
