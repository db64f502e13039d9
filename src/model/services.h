// Runtime services other than the controls: file length, message boxes and
// the file-system object that deletes files. Every operation may throw
// RuntimeError unless it says otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "model/file_stamp.h"

namespace tidwen {

class FileLengthService {
 public:
  virtual ~FileLengthService() = default;
  // The length in bytes of the file at a drive path. Throws RuntimeError
  // (kFileNotFound for a file that is gone).
  virtual std::int64_t FileLen(std::string_view path) = 0;
  // Which file the last successful FileLen call measured; an unknown stamp
  // when the service does not track files.
  virtual FileStamp LastStamp() { return {}; }
};

enum class MsgBoxButtons { kOkOnly, kYesNo };
enum class MsgBoxIcon { kNone, kExclamation };

// Results as the message box reports them.
enum MsgBoxResult : int { kMsgBoxOk = 1, kMsgBoxYes = 6, kMsgBoxNo = 7 };

// The application title, shown by a box without a title of its own.
inline constexpr std::string_view kApplicationTitle = "Tidwen";

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Shows a modal box and returns when the user closes it. The first button
  // is the default. An empty title shows kApplicationTitle.
  virtual int MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
                     std::string_view title) = 0;
};

// A file looked up by FileSystemObject::GetFile.
class FileObject {
 public:
  virtual ~FileObject() = default;
  // Deletes the file, never forced: a file without write permission is
  // refused with kPermissionDenied and left as it is.
  virtual void Delete() = 0;
};

// Looks up files by drive path. Lives for one deletion.
class FileSystemObject {
 public:
  virtual ~FileSystemObject() = default;
  // The file at a drive path. Throws kFileNotFound when there is no regular
  // file there. A known stamp that does not match the file found there now
  // (another file, or the same file changed since it was stamped: written,
  // renamed, its mode or links changed) makes the look-up fail with
  // kPermissionDenied.
  virtual std::unique_ptr<FileObject> GetFile(std::string_view path, const FileStamp& expected) = 0;
};

// Makes file-system objects. It may keep directories open between objects
// while a batch of deletions runs (see DeletionBatch), so that deleting many
// files of one directory does not resolve its path every time.
class FileSystemService {
 public:
  virtual ~FileSystemService() = default;
  virtual std::unique_ptr<FileSystemObject> CreateFileSystemObject() = 0;
  // Starts and ends a batch. Outside a batch nothing is kept between objects.
  virtual void BeginBatch() {}
  virtual void EndBatch() noexcept {}
  // Closes what the batch keeps, which is then looked up afresh: called
  // before a message box, since the user may take minutes over it and the
  // directories kept may be moved meanwhile.
  virtual void ReleaseKept() noexcept {}
};

// Scope of a batch of deletions.
class DeletionBatch {
 public:
  explicit DeletionBatch(FileSystemService& fs) : fs_(fs) { fs_.BeginBatch(); }
  ~DeletionBatch() { fs_.EndBatch(); }
  DeletionBatch(const DeletionBatch&) = delete;
  DeletionBatch& operator=(const DeletionBatch&) = delete;

 private:
  FileSystemService& fs_;
};

}  // namespace tidwen
