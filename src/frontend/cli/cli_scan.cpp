#include <memory>

#include "engine/walk.h"
#include "frontend/cli/cli_commands.h"
#include "frontend/common/file_system_rows.h"
#include "model/runtime_error.h"

namespace tidwen::cli {

void Io::Complain(const std::string& line) const {
  err.Write("tidwen-cli: " + line + "\n");
  err.Flush();
}

void ProgressLine::Update(const std::function<std::string(double seconds)>& text) {
  if (!io_.progress) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  shown_ = true;
  const std::string line = text(std::chrono::duration<double>(now - start_).count());
  // Spaces wipe what a longer line before left.
  io_.err.Write("\r" + line + std::string(width_ > line.size() ? width_ - line.size() : 0, ' '));
  io_.err.Flush();
  width_ = std::max(width_, line.size());
}

void ProgressLine::Walked(const WalkProgress& p) {
  if ((p.filesTested & 255) != 0) return;
  Update([&](double seconds) {
    const double rate = seconds > 0 ? static_cast<double>(p.filesTested) / seconds : 0;
    return io_.Say(Msg::kProgress, {Grouped(p.filesTested), Grouped(p.hits),
                                    Grouped(static_cast<long long>(rate))});
  });
}

std::optional<int> WalkStartFailed(const WalkResult& walked, std::string_view target,
                                   const Io& io) {
  if (walked.startError != 0) {
    io.Complain(io.Say(Msg::kCannotReach,
                       {std::string(target), std::to_string(walked.startError), std::string()}));
    return kUnreachable;
  }
  if (walked.directoriesSkipped > 0) {
    io.Complain(io.Say(Msg::kUnreadable, {Grouped(walked.directoriesSkipped)}));
  }
  return std::nullopt;
}

std::optional<int> WalkEnded(const WalkResult& walked, bool written, const Io& io) {
  if (!written) {
    io.Complain(io.Say(Msg::kOutputClosed));
    return kNotAllDone;
  }
  if (walked.stopped) {
    io.Complain(
        io.Say(Msg::kScanInterrupted, {Grouped(walked.filesTested), Grouped(walked.directoriesDone),
                                       Grouped(walked.hits)}));
    return kInterrupted;
  }
  if (walked.outOfDescriptors) {
    io.Complain(io.Say(Msg::kOutOfDescriptors, {Grouped(walked.filesTested)}));
    return kNotAllDone;
  }
  return std::nullopt;
}

void ProgressLine::Wipe() {
  if (!shown_) return;
  io_.err.Write("\r" + std::string(width_, ' ') + "\r");
  io_.err.Flush();
  shown_ = false;
}

namespace {

bool IsDriveForm(std::string_view s) {
  const bool letter = !s.empty() && ((s[0] | 0x20) >= 'a' && (s[0] | 0x20) <= 'z');
  return letter && s.size() >= 2 && s[1] == ':' && (s.size() == 2 || s[2] == '\\' || s[2] == '/');
}

}  // namespace

std::variant<Target, std::string> ResolveTarget(Platform& platform, std::string_view given,
                                                const Io& io) {
  std::string path;
  if (IsDriveForm(given)) {
    // "c:", "C:\", "d:\projects\" or "d:/projects": the window's form.
    path.assign(given);
    for (char& c : path) c = c == '/' ? '\\' : c;
    path[0] = static_cast<char>(path[0] | 0x20);
    if (path.size() == 2) path.push_back('\\');
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
  } else {
    std::string why;
    const std::optional<std::string> system = io.resolve(given, why);
    if (!system) return io.Say(Msg::kCannotReach, {given, std::to_string(kPathNotFound), why});
    const std::optional<std::string> drivePath = platform.DrivePathOf(*system);
    if (!drivePath) return io.Say(Msg::kOnNoDrive, {given});
    path = *drivePath;
  }
  const bool systemPath = !IsDriveForm(given);
  bool known = false;
  for (const DriveInfo& drive : platform.Drives()) known = known || drive.letter == path[0];
  if (!known) return io.Say(Msg::kNoSuchDrive, {path.substr(0, 2)});
  try {
    platform.Dir1().SetPath(path);
  } catch (const RuntimeError& error) {
    platform.ReleaseHandles();
    // A path with its links resolved crosses into another filesystem: a
    // mount that is no drive (/proc, a memory filesystem).
    if (systemPath && error.Number() == kPathFileAccess) return io.Say(Msg::kOnNoDrive, {given});
    return io.Say(Msg::kCannotReach, {given, std::to_string(error.Number()), error.what()});
  }
  platform.ReleaseHandles();
  return Target{path, path.size() == 3};
}

int RunDrives(Platform& platform, const Io& io) {
  for (const DriveInfo& drive : platform.Drives()) {
    io.out.Write(frontend::DriveText(drive));
    if (drive.root != drive.label) io.out.Write("\t" + drive.root);
    io.out.Write("\n");
  }
  if (io.out.Flush()) return kDone;
  io.Complain(io.Say(Msg::kOutputClosed));
  return kNotAllDone;
}

namespace {

// Prints each hit as it comes; stops the walk once the output is closed.
class PrintingSink : public WalkSink {
 public:
  PrintingSink(const Platform& platform, const PathArena& arena, HitWriter& writer, Format format,
               const Io& io)
      : platform_(platform), arena_(arena), writer_(writer), format_(format), io_(io) {}

  void Hits(std::span<const Hit> hits) override {
    for (const Hit& hit : hits) {
      path_.clear();
      arena_.AppendPath(hit.dir, path_, hit.name);
      HitRow row{path_, hit.length, std::nullopt,
                 kJunkTypes[static_cast<std::size_t>(hit.type)].label};
      if (format_ != Format::kText) {
        if (const std::optional<FileFacts> facts = platform_.DescribeFile(path_)) {
          row.modified = facts->modified;
        }
      }
      writer_.Row(row);
    }
    // A closed output would leave the rest unseen: no use going on.
    if (io_.out.Failed()) io_.stop.Request();
  }
  void Testing(const WalkProgress& p) override { progress_.Walked(p); }
  void Wipe() { progress_.Wipe(); }

 private:
  const Platform& platform_;
  const PathArena& arena_;
  HitWriter& writer_;
  Format format_;
  const Io& io_;
  ProgressLine progress_{io_};
  std::string path_;
};

}  // namespace

int RunScan(Platform& platform, const Options& options, const Io& io) {
  const std::variant<Target, std::string> resolved = ResolveTarget(platform, options.target, io);
  if (const std::string* why = std::get_if<std::string>(&resolved)) {
    io.Complain(*why);
    return kUnreachable;
  }
  const Target& target = std::get<Target>(resolved);
  HitWriter writer(io.out, options.format);
  writer.Begin();
  PathArena arena;
  PrintingSink sink(platform, arena, writer, options.format, io);
  if (!target.root) platform.SetWalkStart(target.drivePath);
  const WalkResult walked = WalkDrive({platform.Dir1(), platform.File1(), platform.FileLength()},
                                      arena, target.drivePath, options.types, sink, &io.stop);
  platform.SetWalkStart({});
  platform.ReleaseHandles();
  writer.End();
  const bool written = io.out.Flush();
  sink.Wipe();

  if (const std::optional<int> code = WalkStartFailed(walked, options.target, io)) return *code;
  return WalkEnded(walked, written, io).value_or(kDone);
}

}  // namespace tidwen::cli
