#include "ntfs_bench.h"

#include <sched.h>  // unshare, for mount_support.h
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "bench_report.h"
#include "bench_steps.h"
#include "bench_tree.h"
#include "child_report.h"
#include "mount_support.h"
#include "ntfs_image.h"
#include "process_run.h"

namespace tidwen::bench {

namespace {

// One scan child's report; false after a line saying what failed.
bool RunChild(const std::string& self, const char* mode, const std::string& dir,
              ChildReport& report) {
  const ProcessResult run = RunProcess({self, mode, dir}, Output::kCapture);
  if (run.Ok() && ParseChildReport(run.output, report)) return true;
  std::printf("ntfs scan    %s FAILED (exit %d)\n", mode, run.exitCode);
  return false;
}

double MiB(long kb) { return static_cast<double>(kb) / 1024.0; }

// A megabyte count for an image of files and dirs: a 1 KiB record each,
// index entries of about 200 bytes, index blocks of 4 KiB per directory,
// and half as much again to spare (the image file is sparse).
int ImageMegabytes(std::int64_t files, std::int64_t dirs) {
  const std::int64_t kb = files * 13 / 10 + dirs * 6;
  return static_cast<int>(64 + kb * 3 / 2 / 1024);
}

bool Measure(const BenchOptions& options, std::int64_t files, const std::string& self,
             const std::string& reuse) {
  BenchOptions ntfs = options;
  ntfs.files = files;
  ntfs.dirs = std::max<std::int64_t>(1, files / 10);
  ntfs.specials = files / 2000;
  const bool fresh = reuse.empty();
  TreeGuard work(fresh ? MakeTempRoot(options.tmp, "ntfs") : reuse);
  if (!fresh || options.keep) work.Keep();
  test::NtfsImage image(work.Root());
  std::string error = test::PrivateMounts();
  if (error.empty()) {
    error = fresh ? image.Make({512, 4096}, ImageMegabytes(ntfs.files, ntfs.dirs)) : image.Mount();
  }
  if (!error.empty()) {
    std::printf("ntfs scan    skipped: %s\n", error.c_str());
    return true;
  }
  const std::string& mount = image.MountPoint();
  const std::string ext4 = work.Root() + "/ext4";
  TreeStats stats;
  if (fresh) {
    std::printf("through ntfs-3g:\n");
    const double start = NowSeconds();
    stats = GenerateReportedScanTree(ntfs, mount, true);
    std::printf("             %.0f files a second through ntfs-3g\n",
                static_cast<double>(stats.files + stats.dirs) / (NowSeconds() - start));
    if (::mkdir(ext4.c_str(), 0755) != 0) return false;
    GenerateScanTree(ext4, ntfs.files, ntfs.dirs, ntfs.seed, ntfs.Specials(), true);
  } else {
    std::printf("reusing      %s: the image and the ext4 tree of a kept run\n", reuse.c_str());
  }

  // Untimed passes warm every cache and give the hits to check.
  FloorWalk(ext4);
  ChildReport first, walk, onExt4;
  if (!RunChild(self, "--child-scan", mount, first) ||
      !RunChild(self, "--child-scan-walk", mount, walk) ||
      !RunChild(self, "--child-scan", ext4, onExt4)) {
    return false;
  }
  bool sound = true;
  if (first.Number("indexed") <= 0) {
    std::printf("check        the scan of the NTFS drive did not read its MFT\n");
    sound = false;
  }
  if (first.records != walk.records || first.records != onExt4.records ||
      (fresh && static_cast<std::int64_t>(first.records.size()) != stats.expectedHits)) {
    std::printf("check        hits: MFT %zu, walk of the mount %zu, ext4 %zu, model %lld\n",
                first.records.size(), walk.records.size(), onExt4.records.size(),
                static_cast<long long>(stats.expectedHits));
    sound = false;
  }

  Timings floor, mft, mountWalk, floorCpu, mftCpu;
  PeakMemory mftMemory, walkMemory;
  mountWalk.seconds.push_back(walk.Number("seconds"));
  walkMemory.Add(walk);
  for (int run = 0; run < options.runs; ++run) {
    const double cpu = CpuSeconds();
    floor.seconds.push_back(TimeFloorWalk(ext4));
    floorCpu.seconds.push_back(CpuSeconds() - cpu);
    ChildReport report;
    if (!RunChild(self, "--child-scan", mount, report)) return false;
    mft.seconds.push_back(report.Number("seconds"));
    mftCpu.seconds.push_back(report.Number("cpu_seconds"));
    mftMemory.Add(report);
  }
  std::printf("\n");
  PrintTime("mft scan", mft,
            Count(static_cast<std::int64_t>(first.records.size())) +
                " hits; the NTFS drive's MFT read once");
  PrintTime("ext4 floor", floor, "the floor walking the same tree on ext4, one thread");
  PrintTime("ntfs walk", mountWalk, "the scan walking the ntfs-3g mount, once, for reference");
  PrintRatio("mft/floor", mft, floor, "(target <= 0.3)");
  // On a machine that other work keeps busy, the CPU either takes is the
  // steadier figure.
  PrintRatio("mft cpu/floor cpu", mftCpu, floorCpu, "");
  std::printf(
      "memory       MFT scan peak %.1f MiB, walk of the mount %.1f MiB: %.2fx (target <= 1.5); "
      "the scan on ext4 %.1f MiB\n",
      MiB(mftMemory.peakKb), MiB(walkMemory.peakKb),
      static_cast<double>(mftMemory.peakKb) / static_cast<double>(std::max(walkMemory.peakKb, 1L)),
      MiB(static_cast<long>(onExt4.Number("hwm_kb"))));

  if (!DropCaches()) {
    std::printf("cold         skipped: emptying the page cache needs root\n");
  } else {
    Timings coldFloor, coldMft;
    for (int round = 0; round < std::min(options.runs, 2); ++round) {
      DropCaches();
      coldFloor.seconds.push_back(TimeFloorWalk(ext4));
      DropCaches();
      ChildReport report;
      if (!RunChild(self, "--child-scan", mount, report)) return false;
      coldMft.seconds.push_back(report.Number("seconds"));
    }
    PrintTime("cold mft", coldMft, "the page cache emptied before each run");
    PrintTime("cold floor", coldFloor, "");
    PrintRatio("cold mft/floor", coldMft, coldFloor, "(target <= 0.2)");
  }
  image.Unmount();
  if (fresh && options.keep) {
    std::printf("kept         %s (--ntfs-reuse it to measure again)\n", work.Root().c_str());
  }
  return sound;
}

}  // namespace

bool NtfsBenchmark(const BenchOptions& options, std::int64_t files, const std::string& self,
                   const std::string& reuse) {
  std::printf("\n== NTFS scan benchmark ==\n");
  if (files <= 0) {
    std::printf("ntfs scan    skipped (--ntfs-files 0)\n");
    return true;
  }
  if (::geteuid() != 0) {
    std::printf("ntfs scan    skipped: mounting an NTFS image needs root\n");
    return true;
  }
  // The mounts live in a mount namespace of a child of their own, and go
  // with it.
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    bool sound = false;
    try {
      sound = Measure(options, files, self, reuse);
    } catch (const std::exception& e) {
      std::printf("ntfs scan    FAILED: %s\n", e.what());
    }
    std::fflush(stdout);
    ::_exit(sound ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tidwen::bench
