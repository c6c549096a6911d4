#include "converter/shop_record.h"

#include <array>
#include <optional>
#include <string>

#include "common/profile.h"
#include "common/profile_index.h"
#include "common/profile_text.h"
#include "common/record_folder.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "converter/record_table.h"

namespace vostrel {

namespace {

constexpr int kShopSlots = 8;
constexpr const char* kSlotStems[] = {"GiveItem",   "GiveValue", "Give2Item",
                                      "Give2Value", "GetItem",   "GetValue"};
constexpr size_t kShopKeys = 4 + kShopSlots * std::size(kSlotStems);

// The 52 keys in the order they are written; all but the first three are
// trade keys.
const std::array<std::string, kShopKeys>& ShopKeys() {
  static const std::array<std::string, kShopKeys> keys = [] {
    std::array<std::string, kShopKeys> k;
    size_t i = 0;
    for (const char* key : {"Name", "JoinSay", "LeaveSay", "FixesItems"}) k[i++] = key;
    for (int slot = 1; slot <= kShopSlots; ++slot) {
      for (const char* stem : kSlotStems) k[i++] = stem + common::Dec(slot);
    }
    return k;
  }();
  return keys;
}

constexpr size_t kFirstTradeKey = 3;

// The server expects a number in every trade key, so an empty one becomes "0".
std::string ZeroWhenEmpty(std::string value) { return value.empty() ? "0" : value; }

}  // namespace

std::string NewShopFileText(std::string_view section,
                            const std::vector<std::pair<std::string, std::string>>& keys) {
  // What the profile writer makes of a missing file given these keys one
  // after another: a header, then each key on a line of its own after the
  // last, with the file's default line ending.
  std::string text;
  text.reserve(16 + keys.size() * 24);
  text += '[';
  text += section;
  text += "]\r\n";
  for (const auto& [key, value] : keys) {
    text += key;
    text += '=';
    text += common::profile_text::TrimLeadingBlanks(common::CutAtNul(value));
    text += "\r\n";
  }
  return text;
}

common::Status ConvertShop(int32_t n, RecordJob& job) {
  if (common::Status s = job.SourceStatus(); !s.ok()) return s;
  const std::string sectionName = job.SectionName(n);
  const common::ProfileReader::Section section = job.FindSection(n, sectionName);

  const std::array<std::string, kShopKeys>& keys = ShopKeys();
  // The 52 keys are read in one pass over the section.
  static const common::KeyList kKeyList(std::vector<std::string_view>(keys.begin(), keys.end()));
  std::array<std::string_view, kShopKeys> read;
  section.GetAll(kKeyList, read.data());
  std::vector<std::pair<std::string, std::string>> values;
  values.reserve(kShopKeys);
  for (size_t i = 0; i < kShopKeys; ++i) {
    std::string value(read[i]);
    values.emplace_back(keys[i], i < kFirstTradeKey ? std::move(value) : ZeroWhenEmpty(value));
  }
  // Named as the operator knows it, relative to the server folder.
  const std::string name = job.files().recordPrefix + 1 + common::Dec(n) + ".dat";

  if (job.dryRun()) {
    const common::RecordFolder* folder = job.folder();
    if (folder && !folder->folder().valid() && !job.folderToBeMade()) {
      return folder->status().WithContext("cannot write " + name);
    }
    return job.CheckWrite(n).WithContext("cannot write " + name);
  }

  // A shop file the job's folder did not hold is written whole; one that is
  // there keeps its other keys and sections through the general editor.
  if (common::RecordFolder* folder = job.folder(); folder && folder->IsNew(job.RecordName(n))) {
    bool notDone = false;
    common::Status s =
        folder->CreateNew(job.RecordName(n), NewShopFileText(sectionName, values), &notDone);
    if (!notDone) return s.WithContext("cannot write " + name);
  }
  // In a whole job the folder is open already, and the job flushes what it
  // wrote once at its end; a folder the job could not open fails every shop
  // with the reason.
  common::RecordFolder* folder = job.folder();
  std::optional<common::ProfileEdit> edit;
  if (folder) {
    if (!folder->folder().valid()) return folder->status().WithContext("cannot write " + name);
    edit.emplace(folder->folder(), job.RecordName(n));
    edit->DeferFlush();
  } else {
    edit.emplace(job.RecordPath(n));
  }
  for (const auto& [key, value] : values) edit->Set(sectionName, key, value);
  return edit->Commit().WithContext("cannot write " + name);
}

common::Status ReadShopFields(const common::ProfileReader& file, int32_t n,
                              std::vector<FieldValue>* out) {
  if (!file.status().ok()) return file.status();
  const std::string sectionName = common::layout::kShops.sectionPrefix + common::Dec(n);
  const common::ProfileReader::Section section = file.InSection(sectionName);
  if (!section.exists()) {
    return common::Status::InvalidArgument("has no section [" + sectionName + "]");
  }
  out->clear();
  for (const std::string& key : ShopKeys()) {
    FieldValue v;
    v.name = key;
    v.isText = true;
    v.text = section.Get(key);
    out->push_back(std::move(v));
  }
  return common::Status::OK();
}

common::Status ConvertShop(int32_t n) {
  RecordJob job(common::layout::kShops);
  return ConvertShop(n, job);
}

}  // namespace vostrel
