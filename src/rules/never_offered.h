// What a scan never offers, on any platform, whatever types are checked:
// files whose emptiness is their meaning, and the trees whose files belong
// to a tool rather than to the user (version control, package managers, a
// language toolchain's store, a Python installation's own library). An
// empty __init__.py, a lock file in .git or a cached module is part of a
// working installation or repository: select-all and delete would break it.
//
// Each entry says whether it is matched by a file's name, wherever it
// lies, or as a tree: a directory of that name whose parents end in the
// entry's leading names. Trees are never listed nor walked; each backend
// leaves them out where it builds a listing, so that reading ahead never
// enters them either. Names are compared byte for byte, or ignoring the
// case of ASCII letters on file systems that ignore case (Windows').
#pragma once

#include <array>
#include <string_view>

namespace tidwen {

enum class OfferMatch : unsigned char {
  kFileName,  // a file of this name, in any directory
  kTree,      // a directory, and everything below it
};

struct NeverOffered {
  // Names joined by "/". For a tree, the last is the directory's own name
  // and those before it the names of its parents, nearest last. "#" stands
  // for one or more decimal digits.
  std::string_view names;
  OfferMatch match;
  std::string_view reason;  // for the read-me, the manual page and tests
};

inline constexpr std::array<NeverOffered, 26> kNeverOffered = {{
    // Empty by design: the file's presence is what it says.
    {"__init__.py", OfferMatch::kFileName, "marks a directory as a Python package"},
    {"__init__.pyi", OfferMatch::kFileName, "marks a directory of Python type stubs"},
    {"py.typed", OfferMatch::kFileName, "says a Python package ships its types"},
    {".gitkeep", OfferMatch::kFileName, "keeps an otherwise empty folder in a Git repository"},
    {".keep", OfferMatch::kFileName, "keeps an otherwise empty folder in a repository"},
    {".nojekyll", OfferMatch::kFileName, "tells GitHub Pages to publish a site as it stands"},
    // Version control: the repository itself.
    {".git", OfferMatch::kTree, "Git's repository"},
    {".hg", OfferMatch::kTree, "Mercurial's repository"},
    {".svn", OfferMatch::kTree, "Subversion's working-copy data"},
    {".bzr", OfferMatch::kTree, "Bazaar's repository"},
    // Package managers: installed packages.
    {"site-packages", OfferMatch::kTree, "Python's installed packages"},
    {"dist-packages", OfferMatch::kTree, "Python's packages installed by the system"},
    {"node_modules", OfferMatch::kTree, "npm's installed packages"},
    // A Python installation's own library (its site-packages is kept out
    // above as well).
    {"lib/python#.#", OfferMatch::kTree, "a Python installation's standard library"},
    {"Python#/Lib", OfferMatch::kTree, "a Python installation's standard library (Windows)"},
    // Language toolchains and their package stores.
    {"go/pkg/mod", OfferMatch::kTree, "Go's module cache"},
    {".cargo/registry", OfferMatch::kTree, "Cargo's downloaded crates"},
    {".rustup", OfferMatch::kTree, "Rust's installed toolchains"},
    {".m2/repository", OfferMatch::kTree, "Maven's local repository"},
    {".gradle/caches", OfferMatch::kTree, "Gradle's caches of builds and dependencies"},
    {".pyenv/versions", OfferMatch::kTree, "pyenv's Python installations"},
    {".nvm/versions", OfferMatch::kTree, "nvm's Node.js installations"},
    {"anaconda#/pkgs", OfferMatch::kTree, "conda's package cache"},
    {"miniconda#/pkgs", OfferMatch::kTree, "conda's package cache"},
    {"miniforge#/pkgs", OfferMatch::kTree, "conda's package cache"},
    {".conda/pkgs", OfferMatch::kTree, "conda's package cache"},
}};

// Whether a file of this bare name is never offered, however empty.
bool IsNeverOfferedFile(std::string_view name, bool ignoreAsciiCase = false);

// Whether the subdirectory `name` of the directory at the drive path
// `parent` ("c:\", "c:\home\u\go\pkg") is a tree that is never listed nor
// walked. Names are UTF-8 (WTF-8 on Windows).
bool IsNeverOfferedTree(std::string_view parent, std::string_view name,
                        bool ignoreAsciiCase = false);

}  // namespace tidwen
