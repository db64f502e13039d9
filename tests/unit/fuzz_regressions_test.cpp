// Replays the fuzz seeds and every crash the fuzzers kept through the same
// invariant checks as the fuzz targets, and pins the faults they found.
#include <gtest/gtest.h>

#include <string>

#include "model/display_text.h"
#include "support/fuzz_checks.h"
#include "support/mft_checks.h"

namespace tidwen {
namespace {

using test::KeptInput;

std::vector<KeptInput> InputsOf(std::string_view target) {
  std::vector<KeptInput> inputs = test::KeptInputs(test::FuzzSourceDir(), target);
  // A moved or missing folder must not pass as "nothing to replay".
  EXPECT_FALSE(inputs.empty()) << "no seed in " << test::FuzzSourceDir() << "/corpus/" << target;
  return inputs;
}

TEST(FuzzRegressions, DrivePathInputsKeepEveryMappingInvariant) {
  for (const KeptInput& input : InputsOf("drive_path")) {
    EXPECT_EQ(test::CheckDrivePathMapping(input.bytes), "") << input.file;
  }
}

TEST(FuzzRegressions, DisplayTextInputsKeepEveryDisplayInvariant) {
  for (const KeptInput& input : InputsOf("display_text")) {
    EXPECT_EQ(test::CheckDisplayText(input.bytes), "") << input.file;
  }
  // Names are text too: every name the file-system target kept shows cleanly.
  for (const KeptInput& input : test::KeptInputs(test::FuzzSourceDir(), "file_name")) {
    EXPECT_EQ(test::CheckDisplayText(input.bytes), "") << input.file;
  }
}

TEST(FuzzRegressions, MftImagesKeepEveryIndexInvariant) {
  for (const KeptInput& input : InputsOf("ntfs_mft")) {
    EXPECT_EQ(test::CheckMftImage(std::as_bytes(std::span(input.bytes))), "") << input.file;
  }
  // The volume the inputs are laid over is sound: a damaged one proves
  // nothing.
  EXPECT_TRUE(test::MftImageGivesIndex(test::SoundMftBytes()));
}

TEST(FuzzRegressions, PosixPathsWithDoubledSlashOrNulMapAsTheirPlainSpelling) {
  const DriveTable table = test::FuzzDriveTable();
  EXPECT_EQ(table.ToDrivePath("//mnt//data/x/"), "d:\\x");
  EXPECT_EQ(table.ToDrivePath("/mnt/data//inner"), "f:\\");
  EXPECT_EQ(table.ToDrivePath(std::string_view("/a\0b", 4)), std::nullopt);
  EXPECT_EQ(table.ToDrivePath(std::string_view("/mnt/data/\0", 11)), std::nullopt);
}

TEST(FuzzRegressions, LineBreakingCharactersWithoutPicturesAreReplaced) {
  EXPECT_EQ(DisplayText("a\xC2\x85"
                        "b"),
            "a\uFFFD"
            "b");                                              // NEL
  EXPECT_EQ(DisplayText("\xC2\x80\xC2\x9F"), "\uFFFD\uFFFD");  // first and last C1
  EXPECT_EQ(DisplayText("a\xE2\x80\xA8"
                        "b\xE2\x80\xA9"),
            "a\uFFFD"
            "b\uFFFD");
  // Their neighbours are ordinary text.
  EXPECT_EQ(DisplayText("\xC2\xA0\xE2\x80\xA7\xE2\x80\xAA"), "\xC2\xA0\xE2\x80\xA7\xE2\x80\xAA");
}

// The oracle behind the display checks: a validator that let bad text through
// would make every display check pass.
TEST(FuzzRegressions, Utf8ValidatorRejectsWhatIsNotStrictUtf8) {
  EXPECT_TRUE(test::IsValidUtf8(""));
  EXPECT_TRUE(test::IsValidUtf8("a\xC2\x80\xE4\xB8\xAD\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"));
  for (const std::string_view bad :
       {"\x80", "\xC3", "\xC0\xAF", "\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF",
        "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF",
        "\xE4\xB8"
        "a"}) {
    EXPECT_FALSE(test::IsValidUtf8(bad)) << test::Quoted(bad);
  }
}

}  // namespace
}  // namespace tidwen
