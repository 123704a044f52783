#include "model/archive.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/core/text_format.h"

namespace varlo {

namespace {

// Tags of object references.
constexpr std::uint16_t kNullTag = 0;
constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000u;

// Class names longer than this are not ours; the reader refuses them before reading them.
constexpr std::uint16_t kMaxClassNameLength = 63;

// Archive-string lengths: one byte below 0xFF, then 0xFF + 16 bits below 0xFFFE, then
// 0xFF 0xFFFF + 32 bits. 0xFF 0xFFFE announces 16-bit characters.
constexpr std::uint8_t kLongStringByte = 0xFF;
constexpr std::uint16_t kWideStringMark = 0xFFFE;
constexpr std::uint16_t kHugeStringMark = 0xFFFF;

}  // namespace

// --- CArchive ---------------------------------------------------------------------------------

CArchive::CArchive(std::string fileName) : mode_(kStore), fileName_(std::move(fileName)) {}

CArchive::CArchive(std::vector<std::uint8_t> bytes, std::string fileName)
    : mode_(kLoad), fileName_(std::move(fileName)), bytes_(std::move(bytes)) {
  // Index 0 is the null object; classes and objects count from 1.
  loadedIndex_.push_back(nullptr);
}

void CArchive::Throw(CArchiveException::Cause cause) const {
  throw CArchiveException(cause, fileName_);
}

void CArchive::NeedStoring() const {
  if (!IsStoring()) Throw(CArchiveException::kReadOnly);
}

void CArchive::NeedLoading() const {
  if (!IsLoading()) Throw(CArchiveException::kWriteOnly);
}

void CArchive::Need(size_t size) {
  NeedLoading();
  if (size > Remaining()) Throw(CArchiveException::kEndOfFile);
}

void CArchive::WriteBytes(const void* data, size_t size) {
  NeedStoring();
  const auto* p = static_cast<const std::uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + size);
}

void CArchive::WriteU8(std::uint8_t v) {
  WriteBytes(&v, 1);
}

void CArchive::WriteU16(std::uint16_t v) {
  const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  WriteBytes(b, sizeof b);
}

void CArchive::WriteU32(std::uint32_t v) {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  WriteBytes(b, sizeof b);
}

void CArchive::WriteDouble(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  std::uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  WriteBytes(b, sizeof b);
}

void CArchive::WriteCount(std::uint32_t count) {
  if (count < 0xFFFF) {
    WriteU16(static_cast<std::uint16_t>(count));
  } else {
    WriteU16(0xFFFF);
    WriteU32(count);
  }
}

void CArchive::WriteString(const std::string& s) {
  const size_t length = s.size();
  if (length < kLongStringByte) {
    WriteU8(static_cast<std::uint8_t>(length));
  } else if (length < kWideStringMark) {
    WriteU8(kLongStringByte);
    WriteU16(static_cast<std::uint16_t>(length));
  } else {
    WriteU8(kLongStringByte);
    WriteU16(kHugeStringMark);
    WriteU32(static_cast<std::uint32_t>(length));
  }
  WriteBytes(s.data(), length);
}

void CArchive::WriteObject(const CPersistent* object) {
  NeedStoring();
  if (object == nullptr) {
    WriteU16(kNullTag);
    return;
  }
  if (auto seen = storedObjects_.find(object); seen != storedObjects_.end()) {
    const std::uint32_t index = seen->second;
    if (index < kBigObjectTag) {
      WriteU16(static_cast<std::uint16_t>(index));
    } else {
      WriteU16(kBigObjectTag);
      WriteU32(index);
    }
    return;
  }

  const std::string name = object->GetRuntimeClassName();
  if (auto known = storedClasses_.find(name); known != storedClasses_.end()) {
    const std::uint32_t index = known->second;
    if (index < kBigObjectTag) {
      WriteU16(static_cast<std::uint16_t>(kClassTag | index));
    } else {
      WriteU16(kBigObjectTag);
      WriteU32(kBigClassTag | index);
    }
  } else {
    const PersistentClassInfo* info = FindPersistentClass(name);
    WriteU16(kNewClassTag);
    WriteU16(static_cast<std::uint16_t>(info != nullptr ? info->schema : 1));
    WriteU16(static_cast<std::uint16_t>(name.size()));
    WriteBytes(name.data(), name.size());
    storedClasses_.emplace(name, nextIndex_++);
  }
  storedObjects_.emplace(object, nextIndex_++);
  // Writing does not change an object's persistent state, but Serialize serves both directions.
  const_cast<CPersistent*>(object)->Serialize(*this);
}

void CArchive::ReadBytes(void* data, size_t size) {
  Need(size);
  if (size != 0) std::memcpy(data, bytes_.data() + readPos_, size);
  readPos_ += size;
}

std::uint8_t CArchive::ReadU8() {
  std::uint8_t v;
  ReadBytes(&v, 1);
  return v;
}

std::uint16_t CArchive::ReadU16() {
  std::uint8_t b[2];
  ReadBytes(b, sizeof b);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t CArchive::ReadU32() {
  std::uint8_t b[4];
  ReadBytes(b, sizeof b);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

double CArchive::ReadDouble() {
  std::uint8_t b[8];
  ReadBytes(b, sizeof b);
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[i];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

double CArchive::ReadQuantity(double least) {
  const double v = ReadDouble();
  if (!std::isfinite(v) || (v != 0.0 && std::fabs(v) < DBL_MIN) || v < least) Throw(CArchiveException::kBadIndex);
  return v;
}

std::uint32_t CArchive::ReadCount(size_t minElementSize) {
  std::uint32_t count = ReadU16();
  if (count == 0xFFFF) count = ReadU32();
  if (static_cast<std::uint64_t>(count) * minElementSize > Remaining()) Throw(CArchiveException::kBadIndex);
  return count;
}

std::string CArchive::ReadString() {
  // The length in one of its forms; wide is set when the 16-bit-character mark came first.
  bool wide = false;
  std::uint64_t length = ReadU8();
  if (length == kLongStringByte) {
    length = ReadU16();
    if (length == kWideStringMark) {
      wide = true;
      length = ReadU8();
      if (length == kLongStringByte) {
        length = ReadU16();
        // A second mark cannot be a length.
        if (length == kWideStringMark) Throw(CArchiveException::kBadIndex);
        if (length == kHugeStringMark) length = ReadU32();
      }
    } else if (length == kHugeStringMark) {
      length = ReadU32();
    }
  }
  const std::uint64_t byteLength = wide ? 2 * length : length;
  // Checked before allocating: a damaged length must not reserve gigabytes.
  if (byteLength > Remaining()) Throw(CArchiveException::kEndOfFile);
  std::string s;
  if (!wide) {
    s.resize(static_cast<size_t>(length));
    ReadBytes(s.data(), s.size());
    return s;
  }
  s.reserve(static_cast<size_t>(length));
  for (std::uint64_t i = 0; i < length; ++i) {
    const std::uint16_t c = ReadU16();
    // Characters outside the 8-bit range have no 8-bit form; they become '?'.
    s.push_back(c < 0x100 ? static_cast<char>(static_cast<unsigned char>(c)) : '?');
  }
  return s;
}

std::unique_ptr<CPersistent> CArchive::ReadObject() {
  return ReadObject({});
}

std::unique_ptr<CPersistent> CArchive::ReadObject(const std::function<bool(const CPersistent&)>& accept) {
  NeedLoading();
  const std::uint16_t tag = ReadU16();
  std::uint32_t objectTag;
  if (tag == kBigObjectTag) {
    objectTag = ReadU32();
  } else {
    objectTag = (static_cast<std::uint32_t>(tag & kClassTag) << 16) | (tag & ~kClassTag & 0xFFFFu);
  }
  if ((objectTag & kBigClassTag) == 0) {
    if (objectTag == kNullTag) return nullptr;
    // A back-reference: never written by the program, and it would give one object two owners.
    Throw(CArchiveException::kBadIndex);
  }

  const PersistentClassInfo* info = nullptr;
  if (tag == kNewClassTag) {
    const std::uint16_t schema = ReadU16();
    const std::uint16_t nameLength = ReadU16();
    if (nameLength > kMaxClassNameLength) Throw(CArchiveException::kBadClass);
    std::string name(nameLength, '\0');
    ReadBytes(name.data(), name.size());
    info = FindPersistentClass(name);
    if (info == nullptr) Throw(CArchiveException::kBadClass);
    if (schema != info->schema) Throw(CArchiveException::kBadSchema);
    loadedIndex_.push_back(info);
  } else {
    const std::uint32_t classIndex = objectTag & ~kBigClassTag;
    // Index 0, an index not yet given, or the index of an object instead of a class.
    if (classIndex == 0 || classIndex >= loadedIndex_.size() || loadedIndex_[classIndex] == nullptr) {
      Throw(CArchiveException::kBadIndex);
    }
    info = loadedIndex_[classIndex];
  }

  std::unique_ptr<CPersistent> object = info->create();
  if (!object) Throw(CArchiveException::kGeneric);
  if (accept && !accept(*object)) Throw(CArchiveException::kBadClass);
  loadedIndex_.push_back(nullptr);
  object->Serialize(*this);
  return object;
}

}  // namespace varlo
