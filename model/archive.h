// The object archive: the binary format of .net and .cls files. Little-endian integers, IEEE
// doubles, counts, archive strings and object references with class records. An archive works
// on a byte buffer; the document's file operations read a whole file into it or write it out.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/persistent.h"
#include "platform/core/file_errors.h"

namespace varlo {

class CArchive {
 public:
  enum Mode { kStore, kLoad };

  // A storing archive that collects bytes, for the file named fileName (used in messages).
  explicit CArchive(std::string fileName);
  // A loading archive over the given bytes.
  CArchive(std::vector<std::uint8_t> bytes, std::string fileName);

  bool IsStoring() const { return mode_ == kStore; }
  bool IsLoading() const { return mode_ == kLoad; }
  const std::string& GetFileName() const { return fileName_; }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  // Bytes not yet read (loading).
  size_t Remaining() const { return bytes_.size() - readPos_; }

  void WriteU8(std::uint8_t v);
  void WriteU16(std::uint16_t v);
  void WriteU32(std::uint32_t v);
  void WriteI32(std::int32_t v) { WriteU32(static_cast<std::uint32_t>(v)); }
  void WriteDouble(double v);
  void WriteBytes(const void* data, size_t size);
  // Count: 16 bits below 0xFFFF, otherwise 0xFFFF and 32 bits.
  void WriteCount(std::uint32_t count);
  // Archive string of 8-bit characters.
  void WriteString(const std::string& s);
  // Object reference with class record; nullptr writes the tag 0.
  void WriteObject(const CPersistent* object);

  std::uint8_t ReadU8();
  std::uint16_t ReadU16();
  std::uint32_t ReadU32();
  std::int32_t ReadI32() { return static_cast<std::int32_t>(ReadU32()); }
  double ReadDouble();
  // A stored quantity: finite and not denormal (no value the program computes or accepts is
  // either), and at least `least`. Anything else is a damaged file: "bad format".
  double ReadQuantity(double least = -1.7976931348623157e308);
  void ReadBytes(void* data, size_t size);
  // Reads a count; a count that cannot fit in the remaining bytes (each element needs at least
  // minElementSize bytes) is a bad format.
  std::uint32_t ReadCount(size_t minElementSize = 2);
  std::string ReadString();
  // Reads an object reference; nullptr for the tag 0. Unknown classes, other schemas and bad
  // indices raise CArchiveException. Back-references to objects are refused as bad format: the
  // program never writes them, and accepting one would give a single object two owners.
  std::unique_ptr<CPersistent> ReadObject();
  // As ReadObject, but an object that accept refuses (checked on the empty object, before it
  // reads its fields) is "unexpected object".
  std::unique_ptr<CPersistent> ReadObject(const std::function<bool(const CPersistent&)>& accept);

  // Reads an object that must be of class T (or derived); anything else is "unexpected object".
  template <class T>
  std::unique_ptr<T> ReadObjectOf() {
    std::unique_ptr<CPersistent> object =
        ReadObject([](const CPersistent& o) { return dynamic_cast<const T*>(&o) != nullptr; });
    if (!object) return nullptr;
    T* typed = dynamic_cast<T*>(object.get());
    if (typed == nullptr) Throw(CArchiveException::kBadClass);
    object.release();
    return std::unique_ptr<T>(typed);
  }

  [[noreturn]] void Throw(CArchiveException::Cause cause) const;

 private:
  void Need(size_t size);
  void NeedStoring() const;
  void NeedLoading() const;

  Mode mode_;
  std::string fileName_;
  std::vector<std::uint8_t> bytes_;
  size_t readPos_ = 0;
  // Storing: class name -> index, and the running index counter (classes and objects share it).
  std::map<std::string, std::uint32_t> storedClasses_;
  std::map<const CPersistent*, std::uint32_t> storedObjects_;
  std::uint32_t nextIndex_ = 1;
  // Loading: index -> class (nullptr entries stand for objects).
  std::vector<const PersistentClassInfo*> loadedIndex_;
};

}  // namespace varlo
