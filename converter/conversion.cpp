#include "converter/conversion.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "common/file_search.h"
#include "common/host_path.h"
#include "common/profile.h"
#include "common/qt/journal.h"
#include "common/server_layout.h"
#include "common/trusted_folder.h"
#include "converter/map_job.h"
#include "converter/profile_jobs.h"

namespace vostrel {

namespace {

// Names the file the page tested for ("items.ini"), or the maps folder.
std::string MissingPrompt(Page page) {
  std::string_view tested = page == Page::Maps ? "your maps folder" : FilesOf(page).sourceTested;
  while (!tested.empty() && common::IsSeparator(tested.front())) tested.remove_prefix(1);
  return "Please place this in the same folder as " + std::string(tested);
}

// True when an ordinary file matches `tested` in the server folder, as the
// window has always asked: `tested` is a name ("spells.ini") or a folder
// ("Maps\", any file in it).
bool HasFile(const common::ServerFolder& server, std::string_view tested) {
  size_t cut = tested.size();
  while (cut > 0 && !common::IsSeparator(tested[cut - 1])) --cut;
  const std::string_view folderPart = tested.substr(0, cut);
  const std::string_view name = tested.substr(cut);
  common::Folder folder;
  const bool atRoot = std::all_of(folderPart.begin(), folderPart.end(), common::IsSeparator);
  const common::Status s =
      atRoot ? server.OpenRoot(&folder) : server.OpenFolder(folderPart, &folder);
  return s.ok() && !common::FindFirstFileIn(folder, name.empty() ? "*" : name).empty();
}

// How the source file of a profile-file kind reads: OK, NotFound, or why
// it cannot be read (its message names the file).
common::Status SourceReads(const common::ServerFolder& server, Page page) {
  common::Folder folder;
  std::string entry;
  if (common::Status s = server.Locate(FilesOf(page).source, &folder, &entry); !s.ok()) return s;
  return common::ProfileReader(folder, entry).status();
}

Notice Unreadable(const common::Status& why) {
  return {kPromptUnreadable + why.message(), kTitleUnreadable, common::MsgIcon::Stop, "", why};
}

}  // namespace

const common::layout::ProfileKindFiles& FilesOf(Page page) {
  switch (page) {
    case Page::Items:
      return common::layout::kItems;
    case Page::Spells:
      return common::layout::kSpells;
    case Page::Signs:
      return common::layout::kSigns;
    case Page::Shops:
      return common::layout::kShops;
    case Page::NPCs:
    case Page::Maps:
      break;
  }
  return common::layout::kNPCs;
}

const char* JobName(Page page) {
  switch (page) {
    case Page::Items:
      return "items";
    case Page::Spells:
      return "spells";
    case Page::Signs:
      return "signs";
    case Page::Shops:
      return "shops";
    case Page::NPCs:
      return "npcs";
    case Page::Maps:
      break;
  }
  return "maps";
}

std::optional<Notice> CheckSource(const common::ServerFolder& server, Page page) {
  const bool maps = page == Page::Maps;
  if (!HasFile(server, maps ? common::layout::kMapsTested : FilesOf(page).sourceTested)) {
    // A source that is there but refused (a link the operator did not make)
    // is named with the reason rather than called missing.
    common::Status s;
    if (maps) {
      common::Folder folder;
      s = server.OpenFolder("\\maps\\", &folder);
    } else {
      s = SourceReads(server, page);
    }
    if (common::IsUntrustedLink(s)) return Unreadable(s);
    const std::string where = "looked in " + server.root();
    return Notice{MissingPrompt(page), kTitleFileNotFound, common::MsgIcon::None, where,
                  common::Status::NotFound(MissingPrompt(page) + " (" + where + ")")};
  }
  if (maps) return std::nullopt;
  // A source that is there but cannot be read would make every record
  // blank; the job does not start, and the box says which file and why.
  if (const common::Status s = SourceReads(server, page); !s.ok() && !s.IsNotFound()) {
    return Unreadable(s);
  }
  return std::nullopt;
}

common::Status CheckServer(const common::ServerFolder& server, common::MessagePort& messages,
                           common::ServerCheck mode) {
  return common::CheckServerBeforeWrite(server.root(), messages, mode);
}

common::JobResult RunConversion(const common::ServerFolder& server, Page page, int16_t max,
                                bool win98, ConverterState& state, common::JobEvents& events,
                                bool dryRun) {
  if (page != Page::Maps) {
    PrepareKind(state, page, max);
    return ConvertKind(server, page, state, events, dryRun);
  }
  state.MaxMaps = max;
  return win98 ? ConvertMapsWin98(server, state, events, dryRun)
               : ConvertMaps(server, state, events, dryRun);
}

common::Status JournalConversion(const common::ServerFolder& server,
                                 const common::JobResult& result) {
  if (!result.started) return common::Status::OK();
  return common::AppendJournal(server, common::JournalEntryOf("convert", result));
}

common::JobResult NotStarted(Page page, int32_t max, common::Status why) {
  common::JobResult result;
  result.job = JobName(page);
  result.first = 1;
  result.last = max;
  result.status = std::move(why);
  return result;
}

}  // namespace vostrel
