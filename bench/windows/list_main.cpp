// tidwen-bench for Windows: lists the scan's hits of a directory shown as
// drive c:, one per line, byte for byte as the Linux build's --list prints
// them for the same tree (in the file system's order rather than by name).
//
//   tidwen-bench --list DIR
//   tidwen-bench --list-one-thread DIR   the same with nothing read ahead
//   tidwen-bench --list-walk DIR         the same, never from a volume's index
//
// When the scan took listings from a volume's Master File Table, standard
// error says how many.
//
// The timed benchmarks run on Linux only.
#include "platform/windows/win32.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "model/form1_context.h"
#include "model/plain_controls.h"
#include "model/runtime_error.h"
#include "platform/tunable_platform.h"
#include "platform/wtf8.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"

namespace {

// A scan shows no message box: one that comes ends the list.
class NoMessageBox final : public tidwen::MessageBoxService {
 public:
  int MsgBox(std::string_view text, tidwen::MsgBoxButtons, tidwen::MsgBoxIcon,
             std::string_view) override {
    throw tidwen::RuntimeError(tidwen::kInternalError,
                               "a scan showed a message box: " + std::string(text));
  }
};

// The scan of dir shown as c: with every junk type selected: each ResultList
// entry in the order found.
std::vector<std::string> ListHits(const std::string& dir, bool oneThread, bool walk,
                                  std::int64_t& indexed) {
  const std::unique_ptr<tidwen::TunablePlatform> platform = tidwen::MakeTunablePlatform(dir);
  if (oneThread) platform->SetReadAhead(0);
  platform->SetVolumeIndex(!walk);
  tidwen::PlainListControl list1, list2, list3;
  tidwen::PlainLabel label1;
  tidwen::PlainDriveList drive1{"c:"};
  NoMessageBox box;
  tidwen::Form1Context form =
      tidwen::MakeForm1Context({list1, list2, list3, label1, drive1}, platform->Services(), box);
  tidwen::Form_Load(form);
  tidwen::Command1_Click(form);
  std::vector<std::string> hits;
  for (std::int64_t i = 0; i < list1.ListCount(); ++i) hits.emplace_back(list1.List(i));
  indexed = platform->IndexedListings();
  return hits;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring_view mode = argv != nullptr && argc == 3 ? argv[1] : L"";
  const bool oneThread = mode == L"--list-one-thread";
  const bool walk = mode == L"--list-walk";
  if (!oneThread && !walk && mode != L"--list") {
    std::fprintf(stderr,
                 "usage: tidwen-bench --list DIR\n       tidwen-bench --list-one-thread DIR\n"
                 "       tidwen-bench --list-walk DIR\n");
    return 2;
  }
  const std::string dir = tidwen::ToWtf8(std::wstring_view(argv[2]));
  LocalFree(argv);
  // Entries are bytes, lines end in "\n" alone.
  _setmode(_fileno(stdout), _O_BINARY);
  try {
    std::int64_t indexed = 0;
    for (const std::string& hit : ListHits(dir, oneThread, walk, indexed)) {
      std::fwrite(hit.data(), 1, hit.size(), stdout);
      std::fputc('\n', stdout);
    }
    if (indexed > 0) {
      std::fprintf(stderr, "tidwen-bench: %lld listings from the Master File Table\n",
                   static_cast<long long>(indexed));
    }
  } catch (const tidwen::RuntimeError& e) {
    std::fprintf(stderr, "tidwen-bench: %s\n", e.what());
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
