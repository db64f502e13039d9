// The trees where the operating system keeps its own files. Files in them
// are the system's, like the files the platform's file list marks as system
// files: never listed, so never offered for deletion.
#pragma once

#include <array>
#include <string_view>

namespace tidwen {

inline constexpr std::array<std::string_view, 12> kSystemTrees = {
    "/usr", "/etc", "/boot", "/opt", "/var/lib", "/bin", "/sbin",
    "/lib", "/lib32", "/lib64", "/libx32", "/snap"};

// Whether an absolute POSIX path (without "." or ".." and without a
// trailing "/") is one of the system trees or lies below one.
bool InSystemTree(std::string_view posixPath);

// Whether a system tree lies directly below the directory at posixPath, so
// that its subdirectories need checking one by one.
bool HoldsSystemTree(std::string_view posixPath);

}  // namespace tidwen
