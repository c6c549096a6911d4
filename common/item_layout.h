// The binary item record (Items\Item<N>.dat as the converter writes it),
// defined once for the converter, which writes it, and the inspector, which
// reads names and types back from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/record_layout.h"
#include "common/server_layout.h"

namespace common {

struct ItemRec {
  std::string Name;  // 20 characters, space-padded
  int16_t Pic = 0;
  uint8_t Type = 0;
  int32_t Data1 = 0, Data2 = 0, Data3 = 0;
  std::string GuildReq;  // 20 characters, space-padded
  int32_t LevelReq = 0;
  uint8_t ClassReq = 0;
};

inline constexpr size_t kItemRecSize = 92;

namespace item_layout_detail {
using F = Field<ItemRec>;
// LevelReq is read after ClassReq but stored before it; the record ends in
// 32 reserved bytes, always zero.
inline constexpr F kItemFields[] = {
    F::FixedText("Name", &ItemRec::Name, 20, 0),
    F::Integer("Pic", &ItemRec::Pic, 1),
    F::Byte("Type", &ItemRec::Type, 2),
    F::Long("Data1", &ItemRec::Data1, 3),
    F::Long("Data2", &ItemRec::Data2, 4),
    F::Long("Data3", &ItemRec::Data3, 5),
    F::Byte("ClassReq", &ItemRec::ClassReq, 8),
    F::FixedText("GuildReq", &ItemRec::GuildReq, 20, 6),
    F::Long("LevelReq", &ItemRec::LevelReq, 7),
    F::Reserved(32, 9),
};
}  // namespace item_layout_detail

inline constexpr RecordLayout kItemLayout("item", layout::kItems, kItemRecSize,
                                          item_layout_detail::kItemFields);

}  // namespace common
