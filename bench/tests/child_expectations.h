// What a benchmark child must report whichever benchmark runs it, headless or
// through the window, so that both are held to the same figures.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "bench_model.h"
#include "bench_tree.h"
#include "child_report.h"

namespace tidwen::bench {

// A scan child's report of a generated scan tree: every expected hit as a
// record, the directories it queued (all but the root), the caption it left,
// its time and a peak memory no lower than where it started.
inline void ExpectScanReport(const ChildReport& report, const TreeStats& stats) {
  EXPECT_EQ(static_cast<std::int64_t>(report.records.size()), stats.expectedHits);
  EXPECT_EQ(report.Number("entries"), static_cast<double>(stats.expectedHits));
  EXPECT_EQ(report.Number("queued_dirs"), static_cast<double>(stats.dirs - 1));
  EXPECT_EQ(report.Number("caption_ok"), 1);
  EXPECT_GT(report.Number("seconds"), 0);
  EXPECT_GT(report.Number("hwm_kb"), 0);
  EXPECT_GE(report.Number("hwm_kb"), report.Number("rss_before_kb"));
}

// A deletion child's report of a generated deletion tree of `junk` junk
// files under root, and what it left there: one question about them all,
// no failure box, every junk file gone and every other file kept.
inline void ExpectCleanDeletion(const ChildReport& report, std::int64_t junk,
                                const std::string& root, const TreeStats& stats) {
  EXPECT_EQ(report.Number("entries_before"), static_cast<double>(junk));
  EXPECT_EQ(report.Number("entries_after"), 0);
  EXPECT_EQ(report.Number("questions"), 1);
  EXPECT_EQ(report.Number("question_ok"), 1);
  EXPECT_EQ(report.Number("failures"), 0) << report.Text("first_failure");
  EXPECT_EQ(report.Number("caption_ok"), 1);

  DeleteLeftovers left = CountLeftovers(root);
  EXPECT_EQ(left.junkLeft, 0) << Printable(left.firstJunkLeft);
  EXPECT_EQ(left.keptLeft, stats.keptFiles);
}

}  // namespace tidwen::bench
