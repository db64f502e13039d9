#include "platform/wtf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tidwen {
namespace {

struct Case {
  const char* what;
  std::u16string units;
  std::string bytes;
};

// Each row both ways: units to bytes, and the bytes back to the same units.
const std::vector<Case> kRoundTrips = {
    {"empty", u"", ""},
    {"ASCII", u"a.tmp", "a.tmp"},
    {"two-byte", u"\u00e9", "\xc3\xa9"},
    {"Chinese", u"\u5783\u573e", "\xe5\x9e\x83\xe5\x9c\xbe"},
    {"last of the BMP", u"\uffff", "\xef\xbf\xbf"},
    {"pair", u"\xd83d\xde00", "\xf0\x9f\x98\x80"},
    {"highest pair", u"\xdbff\xdfff", "\xf4\x8f\xbf\xbf"},
    {"lone lead", u"a\xd800z", "a\xed\xa0\x80z"},
    {"lone trail", u"\xdc00", "\xed\xb0\x80"},
    {"lead at the end", u"x\xdbff", "x\xed\xaf\xbf"},
    {"trail then lead", u"\xdc00\xd800", "\xed\xb0\x80\xed\xa0\x80"},
    {"two leads then a trail", u"\xd800\xd800\xdc00", "\xed\xa0\x80\xf0\x90\x80\x80"},
};

TEST(Wtf8, UnitsAndBytesRoundTripExactly) {
  for (const Case& c : kRoundTrips) {
    EXPECT_EQ(ToWtf8(std::u16string_view(c.units)), c.bytes) << c.what;
    std::u16string back;
    EXPECT_TRUE(AppendFromWtf8(c.bytes, back)) << c.what;
    EXPECT_EQ(back, c.units) << c.what;
  }
}

TEST(Wtf8, EveryUnpairedUnitSurvivesTheRoundTrip) {
  for (char16_t u = 0xD800; u <= 0xDFFF && u >= 0xD800; ++u) {
    const std::u16string units{u'a', u, u'b'};
    std::u16string back;
    ASSERT_TRUE(AppendFromWtf8(ToWtf8(std::u16string_view(units)), back)) << int(u);
    EXPECT_EQ(back, units) << int(u);
  }
}

TEST(Wtf8, BytesThatAreNoWtf8AreRefused) {
  const std::vector<std::pair<const char*, std::string>> bad = {
      {"stray continuation", "\x80"},
      {"missing continuation", "\xe5\x9e"},
      {"continuation replaced", "\xe5\x9e\x41"},
      {"overlong two-byte", "\xc0\xaf"},
      {"overlong three-byte", "\xe0\x80\xaf"},
      {"overlong four-byte", "\xf0\x80\x80\xaf"},
      {"past U+10FFFF", "\xf4\x90\x80\x80"},
      {"five-byte lead", "\xf8\x88\x80\x80\x80"},
      {"pair spelt as two lone halves", "\xed\xa0\x80\xed\xb0\x80"},
  };
  for (const auto& [what, bytes] : bad) {
    std::u16string out;
    EXPECT_FALSE(AppendFromWtf8(bytes, out)) << what;
  }
}

}  // namespace
}  // namespace tidwen
