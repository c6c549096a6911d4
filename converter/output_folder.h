// The folder a job writes its files into ("\Items\", "\Newmaps\"): made,
// foreseen by a dry run and flushed the same way by every job.
#pragma once

#include <string_view>

#include "common/record_folder.h"
#include "common/server_folder.h"
#include "common/status.h"

namespace vostrel {

// Makes the folder `made` of `server` when a search finds no file in
// `tested` (the same folder, as the page has always spelled its test); one
// root makes is given to the server folder's owner. An existing folder
// without files is found by no search: making it then fails, harmlessly,
// and it is used as it is. A folder that truly cannot be made shows up at
// the job's writes, which say why.
void MakeOutputFolder(const common::ServerFolder& server, std::string_view tested,
                      std::string_view made);

// True when `server` has no folder `name` yet and the real job would make
// it, the operator being allowed to write in the server folder: a dry run
// then counts it as made.
bool OutputFolderToBeMade(const common::ServerFolder& server, std::string_view name);

// Flushes what a job wrote into `folder` to the disk: the folder's file
// system, or the server folder's when the folder could not be reached.
common::Status FlushOutput(const common::ServerFolder& server, const common::RecordFolder& folder);

}  // namespace vostrel
