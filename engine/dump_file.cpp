#include "engine/dump_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "model/archive.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

// Writes the six-decimal text of the exact binary value of |value| < 2^33 (about 8.6e9), rounded
// to the nearest millionth with ties to even, as printf does. value = m * 2^e with an integer m
// below 2^53, so m * 10^6 is below 2^73 and fits a 128-bit integer; the bits shifted out decide
// the rounding.
__extension__ using Uint128 = unsigned __int128;

char* FormatFixed6Small(double value, char* out) {
  if (std::signbit(value)) *out++ = '-';
  if (value == 0) {  // the commonest number of a dump: an empty or idle queue
    std::memcpy(out, "0.000000", 8);
    return out + 8;
  }
  // The significand and exponent straight from the bits: |value| = mantissa * 2^-shift.
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int shift = 1074;  // subnormal
  if (biased != 0) {
    mantissa |= std::uint64_t{1} << 52;
    shift = 1075 - biased;
  }
  // |value| < 2^33 gives shift > 0, and a result below 2^33 * 10^6, which fits 64 bits.
  std::uint64_t millionths = 0;
  if (shift < 100) {  // from 2^-47 down, the value rounds to zero
    const Uint128 one = 1;
    const Uint128 product = static_cast<Uint128>(mantissa) * 1000000u;
    const Uint128 rest = product & ((one << shift) - 1);
    const Uint128 half = one << (shift - 1);
    millionths = static_cast<std::uint64_t>(product >> shift);
    if (rest > half || (rest == half && (millionths & 1) != 0)) ++millionths;
  }
  const std::uint64_t whole = millionths / 1000000u;
  auto decimals = static_cast<std::uint32_t>(millionths % 1000000u);
  out = std::to_chars(out, out + 24, whole).ptr;
  *out++ = '.';
  for (int i = 5; i >= 0; --i) {
    out[i] = static_cast<char>('0' + decimals % 10);
    decimals /= 10;
  }
  return out + 6;
}

}  // namespace

char* FormatFixed6(double value, char* out) {
  // Values of the dump are mostly small: those get an exact integer conversion. The rest go to the
  // standard library's fixed conversion with a precision, which is specified to give printf's
  // characters in the C locale; NaN differs from printf only in its sign, handled here.
  if (std::fabs(value) < 8589934592.0) return FormatFixed6Small(value, out);
  if (std::isnan(value)) {
    if (std::signbit(value)) *out++ = '-';
    std::memcpy(out, "nan", 3);
    return out + 3;
  }
  return std::to_chars(out, out + kMaxFixed6Length, value, std::chars_format::fixed, 6).ptr;
}

std::string FormatFixed6(double value) {
  char buffer[kMaxFixed6Length];
  return std::string(buffer, FormatFixed6(value, buffer));
}

double SizeShownWithin(double size, double K) {
  // Six decimals move a number up by at most half a millionth: only a size that close to K can read
  // more than it.
  if (!(size > K - 5e-7)) return size;
  const auto reads = [](double value) {
    char text[kMaxFixed6Length + 1];
    *FormatFixed6(value, text) = '\0';
    return std::strtod(text, nullptr);
  };
  if (!(reads(size) > K)) return size;
  double below = std::floor(K * 1e6) / 1e6;
  // The division may round back up to a number that reads above K; beyond 2^33 packets a step
  // of the doubles there is about a millionth.
  for (int i = 0; i < 4 && reads(below) > K; ++i) below = std::nextafter(below, 0.0);
  return below < size ? below : size;
}

int NominalRowCount(double totalTime, double dumpInterval) {
  return static_cast<int>(totalTime / dumpInterval);
}

// ---------------------------------------------------------------------------------------------
// Writer

// The rows' numbers travel to the writing thread in blocks; a run that adds them faster than they
// are written waits once a few blocks are on their way, so that they hold little memory.
struct CDumpWriter::Background {
  static constexpr size_t kItemsPerBlock = size_t{1} << 14;
  static constexpr size_t kBlocksOnTheirWay = 4;
  struct Block {
    std::unique_ptr<Item[]> items;
    size_t count = 0;
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Block> full;
  std::vector<std::unique_ptr<Item[]>> empty;
  std::unique_ptr<Item[]> filling;
  bool closing = false;
  std::thread thread;
};

CDumpWriter::CDumpWriter() : buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {
  pos_ = buffer_.get();
  end_ = pos_ + kBufferSize;
}

CDumpWriter::~CDumpWriter() {
  StopBackground();
  if (file_ != nullptr) std::fclose(file_);
}

bool CDumpWriter::Create(const std::string& path, std::string& reason) {
  StopBackground();
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  pos_ = buffer_.get();
  writeFailed_ = false;
  writeErrno_ = 0;
  if (path.empty()) {
    reason = std::strerror(ENOENT);
    return false;
  }
  errno = 0;
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    reason = std::strerror(errno != 0 ? errno : EINVAL);
    return false;
  }
  return true;
}

void CDumpWriter::WriteInBackground() {
  if (background_ != nullptr || file_ == nullptr) return;
  auto background = std::make_unique<Background>();
  background->filling = std::make_unique_for_overwrite<Item[]>(Background::kItemsPerBlock);
  Item* const items = background->filling.get();
  Background& b = *background;
  try {
    // Until Close, the thread alone touches the text buffer and the file.
    b.thread = std::thread([this, &b] {
      for (;;) {
        Background::Block block;
        {
          std::unique_lock<std::mutex> lock(b.mutex);
          b.changed.wait(lock, [&b] { return !b.full.empty() || b.closing; });
          if (b.full.empty()) return;
          block = std::move(b.full.front());
          b.full.pop_front();
          b.changed.notify_all();
        }
        Write(block.items.get(), block.items.get() + block.count);
        std::lock_guard<std::mutex> lock(b.mutex);
        b.empty.push_back(std::move(block.items));
      }
    });
  } catch (const std::system_error&) {
    return;  // no thread to be had: the rows are written as they come
  }
  background_ = std::move(background);
  items_ = itemsPos_ = items;
  itemsEnd_ = items + Background::kItemsPerBlock;
}

void CDumpWriter::HandOver() {
  Background& b = *background_;
  std::unique_lock<std::mutex> lock(b.mutex);
  b.full.push_back(Background::Block{std::move(b.filling), static_cast<size_t>(itemsPos_ - items_)});
  b.changed.notify_all();
  b.changed.wait(lock, [&b] { return b.full.size() < Background::kBlocksOnTheirWay; });
  if (b.empty.empty()) {
    b.filling = std::make_unique_for_overwrite<Item[]>(Background::kItemsPerBlock);
  } else {
    b.filling = std::move(b.empty.back());
    b.empty.pop_back();
  }
  items_ = itemsPos_ = b.filling.get();
  itemsEnd_ = items_ + Background::kItemsPerBlock;
}

void CDumpWriter::StopBackground() {
  if (background_ == nullptr) return;
  Background& b = *background_;
  {
    std::lock_guard<std::mutex> lock(b.mutex);
    if (itemsPos_ != items_)
      b.full.push_back(Background::Block{std::move(b.filling), static_cast<size_t>(itemsPos_ - items_)});
    b.closing = true;
    b.changed.notify_all();
  }
  b.thread.join();
  background_.reset();
  items_ = itemsPos_ = itemsEnd_ = nullptr;
}

void CDumpWriter::Write(const Item* begin, const Item* end) {
  for (const Item* item = begin; item != end; ++item) {
    if (item->after == kRowEnd) {
      LineEnd();
      continue;
    }
    Reserve(kMaxFixed6Length + 1);
    AppendNumber(item->value);
    *pos_++ = item->after;
  }
}

void CDumpWriter::AppendText(const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    if (pos_ == end_) Flush();
    const size_t n = std::min(left, static_cast<size_t>(end_ - pos_));
    std::memcpy(pos_, p, n);
    pos_ += n;
    p += n;
    left -= n;
  }
}

void CDumpWriter::WriteHeader(const std::string& documentPath, int links, int classes, int nominalRows,
                              const std::string& model) {
  AppendText(documentPath);
  AppendText(kTextLineEnd);
  AppendText(Format("%d %d %d", links, classes, nominalRows));
  if (!model.empty()) AppendText(" " + model);
  AppendText(kTextLineEnd);
}

void CDumpWriter::EndRow() {
  if (items_ != nullptr) {
    Add(0.0, kRowEnd);
    return;
  }
  LineEnd();
}

void CDumpWriter::LineEnd() {
  AppendText(kTextLineEnd);
  if (static_cast<size_t>(end_ - pos_) < kBufferSize / 4) Flush();
}

void CDumpWriter::Flush() {
  const size_t n = static_cast<size_t>(pos_ - buffer_.get());
  pos_ = buffer_.get();
  if (n == 0 || file_ == nullptr || writeFailed_) return;
  errno = 0;
  if (std::fwrite(buffer_.get(), 1, n, file_) != n) {
    writeFailed_ = true;
    writeErrno_ = errno != 0 ? errno : EIO;
  }
}

bool CDumpWriter::Close(std::string& reason) {
  StopBackground();
  if (file_ == nullptr) return !writeFailed_;
  Flush();
  errno = 0;
  if (std::fclose(file_) != 0 && !writeFailed_) {
    writeFailed_ = true;
    writeErrno_ = errno != 0 ? errno : EIO;
  }
  file_ = nullptr;
  if (writeFailed_) {
    reason = std::strerror(writeErrno_);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Reader

namespace {

constexpr size_t kReadBufferSize = size_t{1} << 16;

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool ParseNumber(const std::string& word, double& value) {
  if (word.empty()) return false;
  const char* first = word.data();
  const char* last = first + word.size();
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc() && ptr == last) return true;
  // What from_chars does not take but a C reader does: a leading '+', hexadecimal, out of range.
  char* stop = nullptr;
  errno = 0;
  const double v = std::strtod(word.c_str(), &stop);
  if (stop != last) return false;
  value = v;
  return true;
}

}  // namespace

bool ParseDumpCounts(const std::string& line, DumpHeader& header) {
  int links = 0, classes = 0, rows = 0, end = 0;
  if (std::sscanf(line.c_str(), "%d %d %d%n", &links, &classes, &rows, &end) != 3) return false;
  header.links = links;
  header.classes = classes;
  header.nominalRows = rows;
  char model[16] = {};
  header.model = std::sscanf(line.c_str() + end, " %15s", model) == 1 && std::string(model) == "refined"
                     ? "refined"
                     : "classic";
  return true;
}

CDumpReader::CDumpReader(const std::string& path)
    : buffer_(std::make_unique_for_overwrite<char[]>(kReadBufferSize)), path_(path) {
  errno = 0;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    const int error = errno;
    throw CFileException(CFileException::CauseFromErrno(error), path, error);
  }
  header_.documentPath = ReadLine();
  ParseDumpCounts(ReadLine(), header_);
}

CDumpReader::~CDumpReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool CDumpReader::Matches(size_t links, size_t classes) const {
  return header_.links >= 0 && header_.classes >= 0 && static_cast<size_t>(header_.links) == links &&
         static_cast<size_t>(header_.classes) == classes;
}

size_t CDumpReader::ValuesPerRow() const {
  const size_t links = header_.links > 0 ? static_cast<size_t>(header_.links) : 0;
  const size_t classes = header_.classes > 0 ? static_cast<size_t>(header_.classes) : 0;
  return 1 + 6 * links + classes;
}

bool CDumpReader::Refill() {
  begin_ = 0;
  end_ = std::fread(buffer_.get(), 1, kReadBufferSize, file_);
  return end_ > 0;
}

int CDumpReader::Peek() {
  if (begin_ == end_ && !Refill()) return EOF;
  return static_cast<unsigned char>(buffer_[begin_]);
}

int CDumpReader::Get() {
  const int c = Peek();
  if (c != EOF) ++begin_;
  return c;
}

std::string CDumpReader::ReadLine() {
  // Header lines: a path and three counts. A longer line (a file that is no dump) is cut, so a
  // device or a file without line breaks cannot fill memory.
  constexpr size_t kLongestHeaderLine = 65536;
  std::string line;
  for (int c = Get(); c != EOF && c != '\n' && line.size() < kLongestHeaderLine; c = Get()) {
    line += static_cast<char>(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void CDumpReader::SkipLine() {
  for (int c = Get(); c != EOF && c != '\n'; c = Get()) {
  }
}

bool CDumpReader::ReadWord(std::string& word) {
  word.clear();
  int c = Get();
  while (c != EOF && IsSpace(c)) c = Get();
  if (c == EOF) return false;
  while (c != EOF && !IsSpace(c)) {
    word += static_cast<char>(c);
    c = Peek();
    if (c == EOF || IsSpace(c)) break;
    ++begin_;
  }
  return true;
}

bool CDumpReader::ReadNumber(double& value) {
  std::string word;
  return ReadWord(word) && ParseNumber(word, value);
}

CDumpReader::RowLine CDumpReader::ReadRowLine(std::vector<std::string>& words, std::vector<double>* numbers) {
  words.clear();
  if (numbers != nullptr) numbers->clear();
  if (!damage_.empty()) return RowLine::kDamaged;
  const size_t count = ValuesPerRow();
  // No number the writer prints is longer than this, with its separator.
  const size_t longest = count * 400 + 1024;
  for (;;) {
    std::string line;
    bool ended = false;  // by a line break
    bool tooLong = false;
    for (int c = Get(); c != EOF; c = Get()) {
      if (c == '\n') {
        ended = true;
        break;
      }
      if (line.size() >= longest) {
        tooLong = true;
        break;
      }
      line += static_cast<char>(c);
    }
    if (line.empty() && !ended && !tooLong) return RowLine::kEnd;
    const std::uint64_t rowNumber = rowsRead_ + 1;
    auto damaged = [&](const std::string& why) {
      damage_ = Format("%s: row %llu is damaged (%s)", path_.c_str(), static_cast<unsigned long long>(rowNumber),
                       why.c_str());
      words.clear();
      if (numbers != nullptr) numbers->clear();
      return RowLine::kDamaged;
    };
    if (tooLong) return damaged("the line is longer than any row");
    // Split into words.
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && IsSpace(static_cast<unsigned char>(line[i]))) ++i;
      const size_t start = i;
      while (i < line.size() && !IsSpace(static_cast<unsigned char>(line[i]))) ++i;
      if (i > start) words.emplace_back(line, start, i - start);
    }
    if (words.empty()) {
      if (!ended) return RowLine::kEnd;
      continue;  // a blank line
    }
    double value = 0.0;
    for (size_t w = 0; w < words.size(); ++w) {
      if (!ParseNumber(words[w], value)) {
        if (!ended) {  // the file was cut inside this row
          words.resize(w);
          return RowLine::kCut;
        }
        return damaged(Format("value %zu, \"%.40s\", is not a number", w + 1, words[w].c_str()));
      }
      if (numbers != nullptr) numbers->push_back(value);
    }
    if (words.size() == count) {
      ++rowsRead_;
      return RowLine::kRow;
    }
    if (!ended && words.size() < count) return RowLine::kCut;
    return damaged(Format("%zu values where the header announces %zu", words.size(), count));
  }
}

bool CDumpReader::ReadRow(std::vector<double>& row) {
  std::vector<std::string> words;
  const RowLine read = ReadRowLine(words, &row);
  return read == RowLine::kRow;
}

bool CDumpReader::ReadRowWords(std::vector<std::string>& words) {
  return ReadRowLine(words, nullptr) == RowLine::kRow;
}

}  // namespace varlo
