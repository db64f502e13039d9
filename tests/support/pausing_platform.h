// A platform that runs a hook when a walk reaches a path: a window test's
// way into the middle of a scan, on the thread that walks (the window's
// worker), and a latch for that thread to wait on what the window's thread
// does meanwhile.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "latch.h"
#include "platform/platform.h"

namespace tidwen::test {

class PausingPlatform : public Platform {
 public:
  explicit PausingPlatform(std::unique_ptr<Platform> inner)
      : inner_(std::move(inner)), dirs_(*this), lengths_(*this) {}

  // hook runs once, on the walking thread, when Dir1 has opened, or
  // FileLength is about to measure, a path that ends with trigger.
  std::string trigger;
  std::function<void()> hook;

  std::vector<DriveInfo> Drives() const override { return inner_->Drives(); }
  bool RefreshDrives() override { return inner_->RefreshDrives(); }
  DirListControl& Dir1() override { return dirs_; }
  FileListControl& File1() override { return inner_->File1(); }
  FileLengthService& FileLength() override { return lengths_; }
  FileSystemService& FileSystem() override { return inner_->FileSystem(); }
  void ReleaseHandles() noexcept override { inner_->ReleaseHandles(); }
  std::optional<std::string> DrivePathOf(std::string_view path) const override {
    return inner_->DrivePathOf(path);
  }
  std::optional<std::string> SystemPathOf(std::string_view path) const override {
    return inner_->SystemPathOf(path);
  }
  std::optional<FileFacts> DescribeFile(std::string_view path) const override {
    return inner_->DescribeFile(path);
  }

 private:
  void Reached(std::string_view path) {
    if (hook && !trigger.empty() && path.ends_with(trigger)) std::exchange(hook, nullptr)();
  }

  class Dirs : public DirListControl {
   public:
    explicit Dirs(PausingPlatform& p) : p_(p) {}
    void SetVisible(bool visible) override { p_.inner_->Dir1().SetVisible(visible); }
    bool Visible() const override { return p_.inner_->Dir1().Visible(); }
    void SetPath(std::string_view path) override {
      p_.inner_->Dir1().SetPath(path);
      p_.Reached(path);
    }
    std::string Path() const override { return p_.inner_->Dir1().Path(); }
    std::int64_t ListCount() const override { return p_.inner_->Dir1().ListCount(); }
    std::string List(std::int64_t i) const override { return p_.inner_->Dir1().List(i); }

   private:
    PausingPlatform& p_;
  };
  class Lengths : public FileLengthService {
   public:
    explicit Lengths(PausingPlatform& p) : p_(p) {}
    std::int64_t FileLen(std::string_view path) override {
      p_.Reached(path);
      return p_.inner_->FileLength().FileLen(path);
    }
    FileStamp LastStamp() override { return p_.inner_->FileLength().LastStamp(); }

   private:
    PausingPlatform& p_;
  };

  std::unique_ptr<Platform> inner_;
  Dirs dirs_;
  Lengths lengths_;
};

}  // namespace tidwen::test
