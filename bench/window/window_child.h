// The parts of the window benchmark that run the real main window, each in a
// child process of its own on Qt's offscreen platform, so that the memory
// they report is the window's and nothing else's. Each writes a report (see
// child_report.h) on standard output and returns the exit code.
#pragma once

#include <cstdint>
#include <string>

namespace tidwen::bench {

// --child-window-scan DIR [--list-entries N]: opens Form1 with drive c:
// mapped to DIR and every junk type selected, clicks the scan command and
// reports its time, the paints of Label1 and List1 meanwhile, its peak
// memory and the bytes each list entry costs, and the select-all time. With
// N greater than the scan's entries, List1 is then filled up to N entries
// and the time to paint its first, middle and last pages and to scroll it
// from top to bottom is reported too. The records are the scan's entries.
// Without records the report has none.
int RunWindowScanChild(const std::string& dir, std::int64_t listEntries, bool records = true);

// --child-window-delete DIR: opens Form1 on DIR, scans, clicks select-all,
// then the delete command, answering its question Yes; reports the
// select-all and deletion times and every failure box, without records.
int RunWindowDeleteChild(const std::string& dir);

}  // namespace tidwen::bench
