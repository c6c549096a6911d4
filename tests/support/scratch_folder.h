// A temporary server folder for one test: created empty, made the program
// folder, removed again at the end.
#pragma once

#include <string>
#include <string_view>

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder's host path, with no trailing "/".
  const std::string& path() const { return path_; }
  // path() + "/" + relative ("/" between folders).
  std::string At(std::string_view relative) const;

  // Writes `bytes` to `relative`, creating its folders.
  void Write(std::string_view relative, std::string_view bytes) const;
  void MakeDir(std::string_view relative) const;
  // The file's bytes; throws when it cannot be read.
  std::string Read(std::string_view relative) const;
  bool Exists(std::string_view relative) const;

 private:
  std::string path_;
};
