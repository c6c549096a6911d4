#include "converter/output_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include "common/binary_record.h"
#include "common/file_search.h"
#include "common/host_path.h"
#include "common/trusted_folder.h"

namespace vostrel {

namespace {

// "\Items\" as a plain name of the server folder: "Items".
std::string_view PlainName(std::string_view name) {
  while (!name.empty() && common::IsSeparator(name.front())) name.remove_prefix(1);
  while (!name.empty() && common::IsSeparator(name.back())) name.remove_suffix(1);
  return name;
}

}  // namespace

void MakeOutputFolder(const common::ServerFolder& server, std::string_view tested,
                      std::string_view made) {
  common::Folder found;
  if (server.OpenFolder(tested, &found).ok() && !common::FindFirstFileIn(found, "*").empty()) {
    return;
  }
  common::Folder root;
  if (!server.OpenRoot(&root).ok()) return;
  common::CreateFolderIn(root, PlainName(made), 0777, true).IgnoreError();
}

bool OutputFolderToBeMade(const common::ServerFolder& server, std::string_view name) {
  common::Folder root;
  if (!server.OpenRoot(&root).ok()) return false;
  bool exists = false;
  common::ResolveName(root, PlainName(name), &exists);
  // Made only where the operator may write; otherwise every write fails as
  // in the real job, whose folder could not be made.
  return !exists && faccessat(root.fd(), ".", W_OK, AT_EACCESS) == 0;
}

common::Status FlushOutput(const common::ServerFolder& server, const common::RecordFolder& folder) {
  if (folder.folder().valid()) return common::FlushFileSystem(folder.folder());
  common::Folder root;
  if (common::Status s = server.OpenRoot(&root); !s.ok()) return s;
  return common::FlushFileSystem(root);
}

}  // namespace vostrel
