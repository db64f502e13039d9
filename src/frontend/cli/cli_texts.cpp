#include "frontend/cli/cli_texts.h"

#include <array>
#include <cstddef>

namespace tidwen::cli {

namespace {

struct Pair {
  Msg message;
  std::string_view english;
  std::string_view chinese;
};

constexpr std::array kTexts = {
    Pair{Msg::kUsage,
         "usage: tidwen-cli drives\n"
         "       tidwen-cli scan [--types T] [--format text|csv|json] TARGET\n"
         "       tidwen-cli clean [--types T] [--yes] [--dry-run] [--report FILE.csv] TARGET\n"
         "TARGET is a drive (c:) or a folder on one (d:\\projects, or a path such as /home/me).\n"
         "  --types T      the junk types as the window lists them, split by commas,\n"
         "                 e.g. '*.tmp,*.bak,0字节'; every type by default\n"
         "  --format F     text (a path a line, the default), csv or json\n"
         "  --yes          delete without asking\n"
         "  --dry-run      say what would be deleted, and delete nothing\n"
         "  --report FILE  write each file's outcome to FILE as CSV\n"
         "Exit status: 0 done; 1 some files were not deleted, or the run was cut short;\n"
         "2 bad usage; 3 the target cannot be reached; 130 interrupted.\n",
         "用法: tidwen-cli drives\n"
         "      tidwen-cli scan [--types 类型] [--format text|csv|json] 目标\n"
         "      tidwen-cli clean [--types 类型] [--yes] [--dry-run] [--report 文件.csv] 目标\n"
         "目标是一个驱动器 (c:) 或驱动器上的文件夹 (d:\\projects，或 /home/me 这样的路径)。\n"
         "  --types 类型    要找的垃圾类型，写法同窗口中的列表，以逗号分隔，\n"
         "                 例如 '*.tmp,*.bak,0字节'；默认为全部类型\n"
         "  --format 格式   text (每行一个路径，默认)、csv 或 json\n"
         "  --yes          不询问，直接删除\n"
         "  --dry-run      只列出将要删除的文件，不删除\n"
         "  --report 文件   把每个文件的结果以 CSV 格式写入该文件\n"
         "退出码: 0 完成；1 有文件未能删除，或运行中途停止；\n"
         "2 用法错误；3 无法访问目标；130 被中断。\n"},
    Pair{Msg::kUnknownCommand, "unknown command: {}", "未知的命令: {}"},
    Pair{Msg::kUnknownOption, "unknown option: {}", "未知的选项: {}"},
    Pair{Msg::kMissingValue, "{} needs a value", "{} 需要一个值"},
    Pair{Msg::kOptionNotForCommand, "{} does not go with {}", "{} 不能用于 {}"},
    Pair{Msg::kMissingTarget, "{} needs a TARGET, a drive or a folder",
         "{} 需要一个目标: 驱动器或文件夹"},
    Pair{Msg::kExtraArgument, "one TARGET only: {}", "只能有一个目标: {}"},
    Pair{Msg::kUnknownType,
         "unknown junk type: {} (the types are {}; quote them so the shell leaves the * alone)",
         "未知的垃圾类型: {} (可用的类型: {}；请加引号，以免 shell 展开 *)"},
    Pair{Msg::kNoTypes, "--types names no type", "--types 没有给出任何类型"},
    Pair{Msg::kUnknownFormat, "unknown format: {} (text, csv or json)",
         "未知的格式: {} (text、csv 或 json)"},
    Pair{Msg::kNoSuchDrive, "no such drive: {}", "没有这个驱动器: {}"},
    Pair{Msg::kOnNoDrive, "{} lies on no drive that Tidwen scans",
         "{} 不在 Tidwen 可以扫描的任何驱动器上"},
    Pair{Msg::kCannotReach, "cannot reach {}: error {} ({})", "无法访问 {}: 发生错误{} ({})"},
    Pair{Msg::kCannotWriteReport, "cannot write the report {}: {}", "无法写入报告 {}: {}"},
    Pair{Msg::kProgress, "{} files tested, {} hits, {} files/s",
         "已检查 {} 个文件，找到 {} 个，每秒 {} 个"},
    Pair{Msg::kDeleting, "{} of {} files dealt with", "已处理 {} 个文件，共 {} 个"},
    Pair{Msg::kUnreadable, "{} directories could not be read and were skipped",
         "{} 个目录无法读取，已跳过"},
    Pair{Msg::kOutOfDescriptors,
         "the system ran out of file descriptors (error 67): the scan ended early, after {} files",
         "系统的文件描述符已用完 (发生错误67): 扫描提前结束，已检查 {} 个文件"},
    Pair{Msg::kScanInterrupted, "interrupted: {} files tested in {} directories, {} hits so far",
         "已中断: 已检查 {} 个文件 (在 {} 个目录中)，已找到 {} 个"},
    Pair{Msg::kOutputClosed, "standard output is closed: stopped", "标准输出已关闭，已停止"},
    Pair{Msg::kSummary, "{} files, {} bytes", "共 {} 个文件，{} 字节"},
    Pair{Msg::kNothingToDelete, "nothing to delete", "没有要删除的文件"},
    Pair{Msg::kQuestion, "Delete these {} files ({} bytes)? [y/N] ",
         "确实要删除这 {} 个文件 ({} 字节) 吗？[y/N] "},
    Pair{Msg::kDeclined, "nothing deleted", "未删除任何文件"},
    Pair{Msg::kDryRun, "dry run: {} files ({} bytes) would be deleted; nothing was deleted",
         "试运行: 将删除 {} 个文件 ({} 字节)；未删除任何文件"},
    Pair{Msg::kDeleted, "deleted {}", "已删除 {}"},
    Pair{Msg::kAlreadyDeleted, "deleted {} (listed twice)", "已删除 {} (列出了两次)"},
    Pair{Msg::kRefused, "not deleted {}: error {} ({})", "不能删除文件 {}: 发生错误{} ({})"},
    Pair{Msg::kGone, "gone {}: error 53", "文件已不存在 {}: 发生错误53"},
    Pair{Msg::kCleanDone, "{} files deleted ({} bytes), {} not deleted",
         "已删除 {} 个文件 ({} 字节)，{} 个未能删除"},
    Pair{Msg::kCleanInterrupted, "interrupted: {} files deleted, {} not tried",
         "已中断: 已删除 {} 个文件，{} 个未处理"},
    Pair{Msg::kCleanShortage,
         "the system ran out of file descriptors (error 67): stopped, {} files not tried",
         "系统的文件描述符已用完 (发生错误67): 已停止，{} 个文件未处理"},
};

}  // namespace

std::string_view Text(Language language, Msg message) {
  for (const Pair& pair : kTexts) {
    if (pair.message == message) {
      return language == Language::kChinese ? pair.chinese : pair.english;
    }
  }
  return {};
}

std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  const std::string_view* next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '{' && i + 1 < pattern.size() && pattern[i + 1] == '}' &&
        next != args.end()) {
      out.append(*next++);
      ++i;
    } else {
      out.push_back(pattern[i]);
    }
  }
  return out;
}

std::string Grouped(long long number) {
  std::string digits = std::to_string(number < 0 ? -number : number);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return number < 0 ? "-" + out : out;
}

}  // namespace tidwen::cli
