// Binary record layouts: each kind describes its record once, as a table of
// fields in the order its profile keys are read; that table drives reading
// the keys, checking the numbers, laying out the record's bytes (which may
// stand in another order on disk) and reading a record back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/binary_record.h"
#include "common/field_value.h"
#include "common/numeric_text.h"
#include "common/server_layout.h"
#include "common/status.h"

namespace common {

enum class FieldType {
  kFixedText,  // `width` characters, cut or padded with spaces
  kByte,       // unsigned 8-bit
  kInteger,    // signed 16-bit, little-endian
  kLong,       // signed 32-bit, little-endian
  kVarText,    // a 16-bit byte count, then the text as read
  kReserved,   // `width` zero bytes, never read from the source
};

// One field of a record of type Rec. `diskSlot` is where the field stands
// among the record's fields on disk, counted from 0.
template <typename Rec>
struct Field {
  FieldType type;
  const char* key;  // the profile key, which also names the field in messages
  int diskSlot;
  size_t width = 0;  // fixed text and reserved bytes only
  std::string Rec::*text = nullptr;
  uint8_t Rec::*byte = nullptr;
  int16_t Rec::*integer = nullptr;
  int32_t Rec::*longValue = nullptr;

  static constexpr Field FixedText(const char* key, std::string Rec::*m, size_t width, int slot) {
    return {FieldType::kFixedText, key, slot, width, m};
  }
  static constexpr Field VarText(const char* key, std::string Rec::*m, int slot) {
    return {FieldType::kVarText, key, slot, 0, m};
  }
  static constexpr Field Byte(const char* key, uint8_t Rec::*m, int slot) {
    return {FieldType::kByte, key, slot, 0, nullptr, m};
  }
  static constexpr Field Integer(const char* key, int16_t Rec::*m, int slot) {
    return {FieldType::kInteger, key, slot, 0, nullptr, nullptr, m};
  }
  static constexpr Field Long(const char* key, int32_t Rec::*m, int slot) {
    return {FieldType::kLong, key, slot, 0, nullptr, nullptr, nullptr, m};
  }
  static constexpr Field Reserved(size_t bytes, int slot) {
    return {FieldType::kReserved, nullptr, slot, bytes};
  }

  // Stores the value read for this field. A number that does not fit leaves
  // the field as it was and says so, naming the key.
  Status Store(std::string_view value, Rec* rec) const {
    switch (type) {
      case FieldType::kFixedText: {
        std::string& to = rec->*text;
        to.assign(value.substr(0, width));
        to.resize(width, ' ');
        return Status::OK();
      }
      case FieldType::kVarText:
        (rec->*text).assign(value);
        return Status::OK();
      case FieldType::kByte:
        return ToByte(value, key, &(rec->*byte));
      case FieldType::kInteger:
        return ToInteger(value, key, &(rec->*integer));
      case FieldType::kLong:
        return ToLong(value, key, &(rec->*longValue));
      case FieldType::kReserved:
        break;
    }
    return Status::OK();
  }

  Status Append(const Rec& rec, RecordWriter* out) const {
    switch (type) {
      case FieldType::kFixedText:
        out->FixedText(rec.*text, width);
        break;
      case FieldType::kVarText:
        return out->VarText(rec.*text).WithContext(key);
      case FieldType::kByte:
        out->Byte(rec.*byte);
        break;
      case FieldType::kInteger:
        out->Integer(rec.*integer);
        break;
      case FieldType::kLong:
        out->Long(rec.*longValue);
        break;
      case FieldType::kReserved:
        out->Zeros(width);
        break;
    }
    return Status::OK();
  }

  // Reads the field from its place on disk, as Append laid it out. Fails
  // only for a variable text whose count runs past the record's `size`.
  // Reserved bytes that are not zero clear `*reservedZero`.
  Status Read(RecordReader& in, size_t size, bool* reservedZero, Rec* rec) const {
    switch (type) {
      case FieldType::kFixedText:
        rec->*text = in.FixedText(width);
        break;
      case FieldType::kVarText: {
        const size_t at = in.position();
        const size_t count = static_cast<uint16_t>(in.Integer());
        if (at + 2 > size || count > size - at - 2) {
          return Status::OutOfRange("the count of " + std::string(key) + " (" +
                                    std::to_string(count) +
                                    " bytes) runs past the end of the record");
        }
        rec->*text = in.FixedText(count);
        break;
      }
      case FieldType::kByte:
        rec->*byte = in.Byte();
        break;
      case FieldType::kInteger:
        rec->*integer = in.Integer();
        break;
      case FieldType::kLong:
        rec->*longValue = in.Long();
        break;
      case FieldType::kReserved:
        for (size_t i = 0; i < width; ++i) {
          if (in.Byte() != 0) *reservedZero = false;
        }
        break;
    }
    return Status::OK();
  }

  // Bytes on disk; 2 for a variable text, whose length is its count alone.
  constexpr size_t FixedBytes() const {
    switch (type) {
      case FieldType::kByte:
        return 1;
      case FieldType::kInteger:
      case FieldType::kVarText:
        return 2;
      case FieldType::kLong:
        return 4;
      case FieldType::kFixedText:
      case FieldType::kReserved:
        return width;
    }
    return 0;
  }
};

inline constexpr size_t kVariableSize = 0;

// A kind's whole record: where it is read from and written to, and its
// fields in key-read order.
template <typename Rec, size_t N>
class RecordLayout {
 public:
  // `size` is the record's size on disk, or kVariableSize for a record with
  // variable texts. A layout made at compile time whose disk slots are not
  // 0 to N - 1, each taken once, or whose fields do not add up to `size`,
  // does not compile.
  constexpr RecordLayout(const char* kind, const layout::ProfileKindFiles& files, size_t size,
                         const Field<Rec> (&fields)[N])
      : kind_(kind), files_(&files) {
    size_t total = 0;
    for (size_t i = 0; i < N; ++i) {
      fields_[i] = fields[i];
      total += fields[i].FixedBytes();
    }
    for (size_t slot = 0; slot < N; ++slot) {
      int holders = 0;
      for (size_t i = 0; i < N; ++i) {
        if (fields[i].diskSlot == static_cast<int>(slot)) {
          diskOrder_[slot] = i;
          ++holders;
        }
      }
      if (holders != 1) throw std::logic_error("a disk slot is missing or taken twice");
    }
    if (size != kVariableSize && total != size) {
      throw std::logic_error("the fields do not add up to the record's size");
    }
    fixedBytes_ = total;
    variable_ = size == kVariableSize;
  }

  const char* kind() const { return kind_; }
  const layout::ProfileKindFiles& files() const { return *files_; }
  const std::array<Field<Rec>, N>& fields() const { return fields_; }
  // The keys of the fields that are read, in key-read order.
  std::vector<std::string_view> KeyNames() const {
    std::vector<std::string_view> names;
    for (const Field<Rec>& f : fields_) {
      if (f.type != FieldType::kReserved) names.push_back(f.key);
    }
    return names;
  }

  // The record's bytes in disk order, in `out`'s memory; none when a field
  // cannot be laid out.
  Status Encode(const Rec& rec, std::vector<uint8_t>* out) const {
    RecordWriter w(std::move(*out));
    w.Reserve(fixedBytes_);
    Status s;
    for (size_t i : diskOrder_) {
      if (s = fields_[i].Append(rec, &w); !s.ok()) break;
    }
    *out = w.Take();
    if (!s.ok()) out->clear();
    return s;
  }

  // The record Encode laid out in `size` bytes at `data`. Fails, saying
  // what was expected and changing nothing, when the bytes are not such a
  // record: a size other than the record's, or texts whose counts do not
  // add up to it. The message follows the file's name ("is 40 bytes; an
  // item record is 92 bytes").
  //
  // With `used`, the record is the one at the start and bytes may follow
  // it: a record written over a longer old file keeps that file's tail,
  // which the server, reading one record from the start, never sees.
  // *used is then the record's own size. Since a tail makes any long file
  // look like a record, its reserved bytes must then be zero, as the
  // conversion writes them.
  Status Decode(const uint8_t* data, size_t size, Rec* rec, size_t* used = nullptr) const {
    const std::string article =
        std::string_view("aeiouAEIOU").find(kind_[0]) != std::string_view::npos ||
                std::string_view(kind_) == "NPC"
            ? "an "
            : "a ";
    const std::string is = "is " + std::to_string(size) + " bytes; ";
    const bool tailAllowed = used != nullptr;
    if (!variable_ && (tailAllowed ? size < fixedBytes_ : size != fixedBytes_)) {
      return Status::InvalidArgument(is + article + kind_ + " record is " +
                                     std::to_string(fixedBytes_) + " bytes");
    }
    Rec read{};
    RecordReader in(data, size);
    bool reservedZero = true;
    for (size_t i : diskOrder_) {
      if (Status s = fields_[i].Read(in, size, &reservedZero, &read); !s.ok()) {
        return Status::InvalidArgument(is + "not " + article + kind_ + " record: " + s.message());
      }
    }
    if (tailAllowed ? in.position() > size : in.position() != size) {
      return Status::InvalidArgument(is + article + kind_ + " record of these texts is " +
                                     std::to_string(in.position()) + " bytes");
    }
    if (in.position() < size && !reservedZero) {
      return Status::InvalidArgument(is + "not " + article + kind_ +
                                     " record: its reserved bytes are not zero");
    }
    if (tailAllowed) *used = in.position();
    *rec = std::move(read);
    return Status::OK();
  }

  // The fields of `rec` in disk order, reserved bytes left out.
  std::vector<FieldValue> Values(const Rec& rec) const {
    std::vector<FieldValue> values;
    for (size_t i : diskOrder_) {
      const Field<Rec>& f = fields_[i];
      FieldValue v;
      v.name = f.key ? f.key : "";
      switch (f.type) {
        case FieldType::kFixedText:
          v.isText = true;
          v.text = rec.*f.text;
          while (!v.text.empty() && v.text.back() == ' ') v.text.pop_back();
          break;
        case FieldType::kVarText:
          v.isText = true;
          v.text = rec.*f.text;
          break;
        case FieldType::kByte:
          v.number = rec.*f.byte;
          break;
        case FieldType::kInteger:
          v.number = rec.*f.integer;
          break;
        case FieldType::kLong:
          v.number = rec.*f.longValue;
          break;
        case FieldType::kReserved:
          continue;
      }
      values.push_back(std::move(v));
    }
    return values;
  }

  // Decode, then Values: the fields of a record file's bytes.
  Status ReadFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out,
                    size_t* used = nullptr) const {
    Rec rec{};
    if (Status s = Decode(bytes.data(), bytes.size(), &rec, used); !s.ok()) return s;
    *out = Values(rec);
    return Status::OK();
  }

 private:
  const char* kind_;
  const layout::ProfileKindFiles* files_;
  std::array<Field<Rec>, N> fields_{};
  std::array<size_t, N> diskOrder_{};
  size_t fixedBytes_ = 0;  // the record's size but for its variable texts
  bool variable_ = false;  // its size depends on its texts
};

}  // namespace common
