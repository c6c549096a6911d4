#include "tests/support/scratch_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/profile.h"
#include "common/program_folder.h"

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  std::string tmpl = (fs::temp_directory_path() / "server-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
  common::SetProgramFolder(path_);
  common::ForgetProfileCache();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  // Tests make files read-only; give write access back so removal works.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
  common::SetProgramFolder("");
  common::ForgetProfileCache();
}

std::string ScratchFolder::At(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

void ScratchFolder::Write(std::string_view relative, std::string_view bytes) const {
  fs::path p = At(relative);
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

void ScratchFolder::MakeDir(std::string_view relative) const {
  fs::create_directories(At(relative));
}

std::string ScratchFolder::Read(std::string_view relative) const {
  std::ifstream in(At(relative), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + At(relative));
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool ScratchFolder::Exists(std::string_view relative) const {
  std::error_code ec;
  return fs::exists(fs::symlink_status(At(relative), ec));
}
