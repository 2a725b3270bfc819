// The report file of the batch command: checked before the run touches
// anything, and written whole or not at all, so that no report path can
// destroy the files the run works on or leave half a report behind.
#pragma once

#include <string>
#include <vector>

#include "app/batch/BatchOptions.h"

// The local files a run reads: the source (as the Access reader finds it,
// letter case ignored), the target when it names a file on this machine
// (a plain path, or a server path on localhost), and the command's own
// programs. A target on another host is no local file.
struct TRunFile {
  std::string role;  // what the file is to the run: "the source", ...
  std::string path;
};
std::vector<TRunFile> FilesTheRunReads(const TBatchOptions& options);

// Raises EBatchUsage when `report` cannot take the run's report: it is a
// folder, its folder is missing or takes no new file, or it is (by device
// and inode, through symbolic and hard links, or by its path) one of
// `runFiles`. An existing device or pipe (/dev/stdout) is written as it is.
void CheckReportFile(const std::string& report, const std::vector<TRunFile>& runFiles);

// Writes `text` to a new file beside `report` and renames it over `report`
// (a symbolic link's destination, where `report` is one): readers see the
// old file or the whole new one, never a part. A device or pipe is written
// straight. Empty when it went fine, else why not (the temporary file then
// is gone again).
std::string WriteFileWhole(const std::string& report, const std::string& text);
