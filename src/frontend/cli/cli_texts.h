// What the command line says, in Simplified Chinese where the user's
// locale is Chinese and in English otherwise. Paths, type names and error
// numbers are filled into the texts' "{}" places.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tidwen::cli {

enum class Language { kEnglish, kChinese };

enum class Msg {
  kUsage,
  kUnknownCommand,
  kUnknownOption,
  kMissingValue,
  kOptionNotForCommand,
  kMissingTarget,
  kExtraArgument,
  kUnknownType,
  kNoTypes,
  kUnknownFormat,
  kNoSuchDrive,
  kOnNoDrive,
  kCannotReach,
  kCannotWriteReport,
  kProgress,
  kDeleting,
  kUnreadable,
  kOutOfDescriptors,
  kScanInterrupted,
  kOutputClosed,
  kSummary,
  kNothingToDelete,
  kQuestion,
  kDeclined,
  kDryRun,
  kDeleted,
  kAlreadyDeleted,
  kRefused,
  kGone,
  kCleanDone,
  kCleanInterrupted,
  kCleanShortage,
};

std::string_view Text(Language language, Msg message);

// pattern with each "{}" in turn replaced by the next of args.
std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> args);

// 1234567 as "1,234,567".
std::string Grouped(long long number);

}  // namespace tidwen::cli
