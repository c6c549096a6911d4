#include "converter/shop_record.h"

#include <string>

#include "common/profile.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "converter/record_table.h"

namespace vostrel {

namespace {

constexpr int kShopSlots = 8;
constexpr const char* kSlotStems[] = {"GiveItem",   "GiveValue", "Give2Item",
                                      "Give2Value", "GetItem",   "GetValue"};

// The server expects a number in every trade key, so an empty one becomes "0".
std::string ZeroWhenEmpty(std::string value) { return value.empty() ? "0" : value; }

}  // namespace

common::Status ConvertShop(int32_t n) {
  const common::layout::ProfileKindFiles& files = common::layout::kShops;
  const RecordSource read(files, n);
  if (common::Status s = read.status(); !s.ok()) return s;
  const std::string& section = read.section();

  common::ProfileEdit edit(common::layout::RecordFile(files.recordPrefix, n));
  edit.Set(section, "Name", read.Get("Name"));
  edit.Set(section, "JoinSay", read.Get("JoinSay"));
  edit.Set(section, "LeaveSay", read.Get("LeaveSay"));
  edit.Set(section, "FixesItems", ZeroWhenEmpty(read.Get("FixesItems")));
  for (int slot = 1; slot <= kShopSlots; ++slot) {
    for (const char* stem : kSlotStems) {
      const std::string key = stem + common::Dec(slot);
      edit.Set(section, key, ZeroWhenEmpty(read.Get(key)));
    }
  }
  // Named as the operator knows it, relative to the server folder.
  const std::string name = files.recordPrefix + 1 + common::Dec(n) + ".dat";
  return edit.Commit().WithContext("cannot write " + name);
}

}  // namespace vostrel
