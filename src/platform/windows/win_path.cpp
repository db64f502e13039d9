#include "platform/windows/win_path.h"

#include "platform/windows/win32.h"
#include "platform/wtf8.h"

namespace tidwen {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsPlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

}  // namespace

std::optional<WinDrivePath> ParseWinDrivePath(std::string_view drivePath) {
  if (drivePath.size() < 3 || !IsLetter(drivePath[0]) || drivePath[1] != ':' ||
      drivePath[2] != '\\') {
    return std::nullopt;
  }
  std::string_view rest = drivePath.substr(3);
  if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);

  WinDrivePath out;
  out.path.reserve(drivePath.size());
  out.path.push_back(Lower(drivePath[0]));
  out.path.append(":\\");
  out.longPath.reserve(drivePath.size() + 4);
  out.longPath.append(L"\\\\?\\");
  out.longPath.push_back(static_cast<wchar_t>(out.path[0]));
  out.longPath.append(L":\\");
  bool first = true;
  while (!rest.empty()) {
    const std::size_t cut = rest.find('\\');
    const std::string_view name = rest.substr(0, cut);
    if (!IsPlainName(name)) return std::nullopt;
    if (!first) {
      out.path.push_back('\\');
      out.longPath.push_back(L'\\');
    }
    first = false;
    out.path.append(name);
    if (!AppendFromWtf8(name, out.longPath)) return std::nullopt;
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
    // A doubled "\" or a second trailing one leaves an empty name.
    if (rest.empty()) return std::nullopt;
  }
  // The long form holds at most 32767 units, its terminator included.
  if (out.longPath.size() > 32766) return std::nullopt;
  return out;
}

WinParentAndName SplitWinPath(std::string_view path) {
  const std::size_t cut = path.rfind('\\');
  if (cut == std::string_view::npos) return {std::string_view(), path};
  // The parent of "c:\x" is the root "c:\", which keeps its "\".
  const std::size_t parentLength = cut == 2 ? 3 : cut;
  return {path.substr(0, parentLength), path.substr(cut + 1)};
}

bool SameWinPath(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a.empty()) return a.size() == b.size();
  return Lower(a[0]) == Lower(b[0]) && a.substr(1) == b.substr(1);
}

std::wstring SearchPattern(const WinDrivePath& dir) {
  std::wstring pattern = dir.longPath;
  if (pattern.back() != L'\\') pattern.push_back(L'\\');
  pattern.push_back(L'*');
  return pattern;
}

std::optional<std::wstring> FinalPathOf(void* handle) {
  std::wstring final(MAX_PATH + 1, L'\0');
  for (int tries = 0;; ++tries) {
    const DWORD length = GetFinalPathNameByHandleW(static_cast<HANDLE>(handle), final.data(),
                                                   static_cast<DWORD>(final.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::nullopt;
    if (length < final.size()) {
      final.resize(length);
      break;
    }
    if (tries == 2) return std::nullopt;  // the path keeps growing
    final.resize(length);  // too small: length is the size needed, terminator included
  }
  constexpr std::wstring_view kLong = L"\\\\?\\";
  constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
  if (final.starts_with(kUnc)) return L"\\\\" + final.substr(kUnc.size());
  if (final.starts_with(kLong)) return final.substr(kLong.size());
  return final;
}

}  // namespace tidwen
