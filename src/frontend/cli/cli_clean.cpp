#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/deletion.h"
#include "engine/walk.h"
#include "frontend/cli/cli_commands.h"
#include "model/check_list.h"

namespace tidwen::cli {

namespace {

// Drive paths, the letter in either case, the rest byte for byte.
bool SameDrivePath(std::string_view a, std::string_view b) {
  return a.size() == b.size() && !a.empty() && (a[0] | 0x20) == (b[0] | 0x20) &&
         a.substr(1) == b.substr(1);
}

// What a clean-up found: every hit, compact as the window's list keeps
// them, with what the report says of each.
struct Found {
  CheckList entries;  // paths and stamps
  std::vector<std::int64_t> sizes;
  std::vector<std::uint8_t> types;
  std::vector<std::int64_t> modified;  // for the report; kUnknown when not known
  DeletedFiles distinct;               // each file once, for the counts
  std::int64_t files = 0;
  std::int64_t bytes = 0;
  static constexpr std::int64_t kUnknown = INT64_MIN;

  HitRow Row(std::int64_t i, std::string_view path) const {
    const auto at = static_cast<std::size_t>(i);
    HitRow row{path, sizes[at], std::nullopt, kJunkTypes[types[at]].label};
    if (at < modified.size() && modified[at] != kUnknown) row.modified = modified[at];
    return row;
  }
};

// Lists each hit as the scan finds it (what may be deleted is always said
// first), and keeps it.
class CollectingSink : public WalkSink {
 public:
  // report: the drive path of the report being written, which is never
  // offered; empty for none.
  CollectingSink(const Platform& platform, std::shared_ptr<const PathArena> arena, Found& found,
                 std::string report, const Io& io)
      : platform_(platform),
        arena_(std::move(arena)),
        found_(found),
        report_(std::move(report)),
        io_(io) {}

  void Hits(std::span<const Hit> hits) override {
    for (const Hit& hit : hits) {
      path_.clear();
      arena_->AppendPath(hit.dir, path_, hit.name);
      if (!report_.empty() && SameDrivePath(path_, report_)) continue;
      io_.out.Write(path_);
      io_.out.Write("\n");
      found_.entries.AppendPath({arena_, hit.dir, hit.name}, hit.stamp);
      found_.sizes.push_back(hit.length);
      found_.types.push_back(static_cast<std::uint8_t>(hit.type));
      if (!report_.empty()) {
        const std::optional<FileFacts> facts = platform_.DescribeFile(path_);
        found_.modified.push_back(facts ? facts->modified : Found::kUnknown);
      }
      if (!found_.distinct.Contains(path_, hit.stamp)) {
        found_.distinct.Add(path_, hit.stamp);
        ++found_.files;
        found_.bytes += hit.length;
      }
    }
    if (io_.out.Failed()) io_.stop.Request();
  }
  void Testing(const WalkProgress& p) override { progress_.Walked(p); }
  void Wipe() { progress_.Wipe(); }

 private:
  const Platform& platform_;
  std::shared_ptr<const PathArena> arena_;
  Found& found_;
  std::string report_;
  const Io& io_;
  ProgressLine progress_{io_};
  std::string path_;
};

class FoundTargets : public DeletionTargets {
 public:
  explicit FoundTargets(const Found& found) : found_(found) {}
  std::int64_t Count() const override { return found_.entries.Count(); }
  std::string_view Path(std::int64_t i) const override { return found_.entries.Text(i); }
  FileStamp Stamp(std::int64_t i) const override { return found_.entries.Stamp(i); }

 private:
  const Found& found_;
};

// Says what became of each file, on standard output and in the report;
// stops the deletion once either cannot be written, so that nothing is
// deleted that was not listed.
class Reporter : public DeletionObserver {
 public:
  Reporter(const Found& found, ReportWriter* report, Stream* reportStream, const Io& io)
      : found_(found), report_(report), reportStream_(reportStream), io_(io) {}

  void Done(std::int64_t i, std::string_view path, const DeletionOutcome& outcome) override {
    const std::string number = std::to_string(outcome.number);
    std::string_view word;
    switch (outcome.result) {
      case DeletionResult::kDeleted:
        io_.out.Write(io_.Say(Msg::kDeleted, {path}) + "\n");
        deletedBytes += found_.sizes[static_cast<std::size_t>(i)];
        word = "deleted";
        break;
      case DeletionResult::kAlreadyDeleted:
        io_.out.Write(io_.Say(Msg::kAlreadyDeleted, {path}) + "\n");
        word = "deleted";
        break;
      case DeletionResult::kGone:
        io_.out.Write(io_.Say(Msg::kGone, {path}) + "\n");
        word = "gone";
        break;
      case DeletionResult::kRefused:
        io_.out.Write(io_.Say(Msg::kRefused, {path, number, outcome.reason}) + "\n");
        word = "refused";
        ++refused;
        break;
    }
    if (report_ != nullptr) {
      report_->Row(found_.Row(i, path), word, outcome.number, outcome.reason);
      if (!reportStream_->Flush()) reportFailed = true;
    }
    if (!io_.out.Flush()) outputFailed = true;
    if (outputFailed || reportFailed) io_.stop.Request();
    done = i + 1;
    progress_.Update([&](double) {
      return io_.Say(Msg::kDeleting, {Grouped(done), Grouped(found_.entries.Count())});
    });
  }
  void Wipe() { progress_.Wipe(); }

  std::int64_t done = 0;
  std::int64_t refused = 0;
  std::int64_t deletedBytes = 0;
  bool outputFailed = false;
  bool reportFailed = false;

 private:
  const Found& found_;
  ReportWriter* report_;
  Stream* reportStream_;
  const Io& io_;
  ProgressLine progress_{io_};
};

bool SaysYes(const std::optional<std::string>& answer) {
  return answer && (*answer == "y" || *answer == "Y" || *answer == "yes" || *answer == "Yes");
}

}  // namespace

int RunClean(Platform& platform, const Options& options, const Io& io) {
  // The report file first: a run that cannot report must not start.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> reportFile(nullptr, &std::fclose);
  if (options.report) {
    reportFile.reset(std::fopen(options.report->c_str(), "wb"));
    if (!reportFile) {
      io.Complain(io.Say(Msg::kCannotWriteReport, {*options.report, std::strerror(errno)}));
      io.err.Write(Text(io.language, Msg::kUsage));
      io.err.Flush();
      return kBadUsage;
    }
  }
  const std::variant<Target, std::string> resolved = ResolveTarget(platform, options.target, io);
  if (const std::string* why = std::get_if<std::string>(&resolved)) {
    io.Complain(*why);
    return kUnreachable;
  }
  const Target& target = std::get<Target>(resolved);

  // The report is made before the scan, empty: it must not be found.
  std::string reportPath;
  if (options.report) {
    std::string why;
    const std::optional<std::string> system = io.resolve(*options.report, why);
    reportPath = system ? platform.DrivePathOf(*system).value_or(std::string()) : std::string();
    // On no drive: nothing to leave out. One char, not "?": GCC 12 warns
    // falsely (-Wrestrict) on assigning a string literal here.
    if (reportPath.empty()) reportPath.assign(1, '?');
  }
  Found found;
  auto arena = std::make_shared<PathArena>();
  CollectingSink sink(platform, arena, found, reportPath, io);
  if (!target.root) platform.SetWalkStart(target.drivePath);
  const WalkResult walked = WalkDrive({platform.Dir1(), platform.File1(), platform.FileLength()},
                                      *arena, target.drivePath, options.types, sink, &io.stop);
  platform.SetWalkStart({});
  platform.ReleaseHandles();
  sink.Wipe();
  if (const std::optional<int> code = WalkStartFailed(walked, options.target, io)) return *code;
  io.out.Write(io.Say(Msg::kSummary, {Grouped(found.files), Grouped(found.bytes)}) + "\n");
  if (const std::optional<int> code = WalkEnded(walked, io.out.Flush(), io)) return *code;

  Stream reportStream(reportFile.get());
  ReportWriter report(reportStream);
  if (reportFile) report.Begin();
  const std::int64_t count = found.entries.Count();
  if (count == 0 || options.dryRun) {
    if (options.dryRun) {
      for (std::int64_t i = 0; i < count && reportFile; ++i) {
        report.Row(found.Row(i, found.entries.Text(i)), "would delete", 0, {});
      }
      io.out.Write(io.Say(Msg::kDryRun, {Grouped(found.files), Grouped(found.bytes)}) + "\n");
    } else {
      io.out.Write(io.Say(Msg::kNothingToDelete) + "\n");
    }
    const bool reported = !reportFile || reportStream.Flush();
    if (!reported) {
      io.Complain(io.Say(Msg::kCannotWriteReport, {*options.report, std::strerror(errno)}));
    }
    return io.out.Flush() && reported ? kDone : kNotAllDone;
  }

  if (!options.yes) {
    io.err.Write(io.Say(Msg::kQuestion, {Grouped(found.files), Grouped(found.bytes)}));
    io.err.Flush();
    const std::optional<std::string> answer = io.readAnswer();
    if (io.stop.Requested()) {
      io.err.Write("\n");
      io.Complain(io.Say(Msg::kCleanInterrupted, {"0", Grouped(found.files)}));
      return kInterrupted;
    }
    if (!SaysYes(answer)) {
      io.out.Write(io.Say(Msg::kDeclined) + "\n");
      return io.out.Flush() ? kDone : kNotAllDone;
    }
  }

  FoundTargets targets(found);
  Reporter reporter(found, reportFile ? &report : nullptr, &reportStream, io);
  DeletedFiles deleted;
  const DeletionSummary summary =
      DeleteFiles(platform.FileSystem(), targets, deleted, reporter, &io.stop);
  platform.ReleaseHandles();
  reporter.Wipe();
  for (std::int64_t i = reporter.done; i < count && reportFile; ++i) {
    report.Row(found.Row(i, found.entries.Text(i)), "not tried", 0, {});
  }
  if (reportFile && !reportStream.Flush()) reporter.reportFailed = true;

  io.out.Write(io.Say(Msg::kCleanDone, {Grouped(summary.deleted), Grouped(reporter.deletedBytes),
                                        Grouped(summary.refused)}) +
               "\n");
  const bool written = io.out.Flush() && !reporter.outputFailed;
  if (!written) io.Complain(io.Say(Msg::kOutputClosed));
  if (reporter.reportFailed) {
    io.Complain(io.Say(Msg::kCannotWriteReport, {*options.report, std::strerror(errno)}));
  }
  if (summary.stopped && written && !reporter.reportFailed) {
    io.Complain(
        io.Say(Msg::kCleanInterrupted, {Grouped(summary.deleted), Grouped(summary.notTried)}));
    return kInterrupted;
  }
  if (summary.outOfDescriptors) {
    io.Complain(io.Say(Msg::kCleanShortage, {Grouped(summary.notTried)}));
  }
  return !written || reporter.reportFailed || summary.refused > 0 || summary.outOfDescriptors
             ? kNotAllDone
             : kDone;
}

}  // namespace tidwen::cli
