// What both faces of the converter share: the kinds of data it converts,
// the checks made before a job starts, and the one call that runs a job.
// The window (page_click) and the command line (convert_command) each turn
// the checks' notices and the jobs' events and results into what they show;
// the jobs themselves never see either face.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/job.h"
#include "common/message_port.h"
#include "common/server_folder.h"
#include "common/server_layout.h"
#include "common/server_process.h"
#include "common/status.h"
#include "converter/converter_state.h"

namespace vostrel {

// The six pages of the converter, in tab order, which `convert all` follows.
enum class Page { Items = 0, Spells = 1, Signs = 2, Shops = 3, NPCs = 4, Maps = 5 };

// What a page's Max box holds when the window opens; also the command
// line's maximum when none is given.
constexpr const char* DefaultMaximum(Page page) {
  return page == Page::Items || page == Page::Maps ? "1000" : "500";
}

// The name a job's result carries ("items", ..., "maps").
const char* JobName(Page page);

// The files of a profile page's kind (Maps has none of its own: NPCs').
const common::layout::ProfileKindFiles& FilesOf(Page page);

// The texts of the boxes a job's checks show.
inline constexpr const char* kTitleFileNotFound = "File not found";
// A source that exists but cannot be read (or is a link the tools refuse).
inline constexpr const char* kPromptUnreadable = "Nothing was converted: ";
inline constexpr const char* kTitleUnreadable = "Source file unreadable";
// A job refused because this folder's server is running (the command line
// without --force).
inline constexpr const char* kPromptServerRunning = "Nothing was converted: ";

// Why a job does not start, as the window's box says it. The command line
// prints the same "<title>: <prompt>" and, after it, `where` in brackets
// when the prompt itself names no file or folder.
struct Notice {
  std::string prompt;
  std::string title;
  common::MsgIcon icon = common::MsgIcon::None;
  std::string where;   // "looked in /srv/game"; "" when the prompt names the file
  common::Status why;  // the same as a status, for the job's result
};

// The first check of a page: its source file (the maps folder for Maps) is
// there and can be read. A missing source, one that is a link the tools
// refuse, and one that cannot be read each get their notice; nothing when
// the job may go on.
std::optional<Notice> CheckSource(const common::ServerFolder& server, Page page);

// The last check before a job's first write: OK when this folder's server
// is not running, or `mode` lets the job write anyway (kAsk: the question
// box was answered Yes; kForce: a box says so). Otherwise Aborted, naming
// the processes; the window has nothing more to say (its question was
// answered No), the command line prints it.
common::Status CheckServer(const common::ServerFolder& server, common::MessagePort& messages,
                           common::ServerCheck mode);

// Runs the job of `page` on records (maps) 1 to `max` of `server`: sets the
// kind's maximum in `state`, makes its record table anew, and converts,
// telling `events` as it goes. `win98` picks the Windows 98 map layout.
// `dryRun` converts everything and writes nothing (see ConvertKind).
common::JobResult RunConversion(const common::ServerFolder& server, Page page, int16_t max,
                                bool win98, ConverterState& state, common::JobEvents& events,
                                bool dryRun = false);

// Appends a real job's entry to the server folder's journal: the kind, its
// range, its counts (blank ones included), its outcome, and the maps that
// were shorter than their layout. A job that did not start changed nothing
// and has none (OK). Fails with why; the caller warns and goes on.
common::Status JournalConversion(const common::ServerFolder& server,
                                 const common::JobResult& result);

// The result of a job that did not start: why is in its status.
common::JobResult NotStarted(Page page, int32_t max, common::Status why);

}  // namespace vostrel
