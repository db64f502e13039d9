// The parts of the benchmark that run the program's own logic. Each runs in
// a process of its own (the benchmark starts itself again), so that the
// memory it reports is the scan's and nothing else's.
#pragma once

#include <cstdint>
#include <string>

#include "model/controls.h"

namespace tidwen::bench {

// The canonical path of an existing directory, or empty after a message on
// standard error.
std::string ResolveDirectory(const std::string& dir);

// Writes the bytes of the first `count` entries of list (no more than it
// holds) to standard output in list order, each followed by `end`.
void WriteEntries(const ListControl& list, std::int64_t count, char end);

// Ends a report whose records are the first `count` entries of list: the
// empty line, the NUL-terminated entries, then FlushOutput's exit code.
int EndReportWithEntries(const ListControl& list, std::int64_t count);

// --list DIR: scans DIR as drive c: with every type selected and writes each
// ResultList entry's bytes, one per line, in the order they were added; on
// standard error, how many listings came from the Master File Table, when
// any did. With walk (--list-walk), every directory is read, never the
// volume's index. Returns the exit code.
int RunListMode(const std::string& dir, bool walk = false);

// --child-scan DIR: scans DIR and writes a report (see child_report.h) whose
// records are the ResultList entries, with how many listings came from a
// volume's Master File Table (indexed). With oneThread the platform reads
// nothing ahead of the walk; with walk it reads every directory, never a
// volume's index; without records the report has none (a deep chain's
// would be gigabytes).
int RunScanChild(const std::string& dir, bool oneThread = false, bool walk = false,
                 bool records = true);

// --child-delete DIR: scans DIR, selects every entry, deletes with every
// question answered Yes, and writes a report without records.
int RunDeleteChild(const std::string& dir);

}  // namespace tidwen::bench
