// The dump file of the evaluation runs: line 1 the document's path, line 2 "%d %d %d" (links,
// classes, nominal rows), then one row per sampling time: the time, three values per queue (average
// size, utilisation, loss) for each link's forward then backward queue, one rate per class. Numbers
// are written as "%lf" prints them. The writer belongs to the runs; the reader is shared by graph
// creation, the dump animation and CSV export.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace varlo {

// Line end of the text files the program writes: the platform's own.
#ifdef _WIN32
inline constexpr const char* kTextLineEnd = "\r\n";
#else
inline constexpr const char* kTextLineEnd = "\n";
#endif

// Longest "%lf" text: the 309 integer digits of the largest double, sign, point and six decimals.
inline constexpr size_t kMaxFixed6Length = 320;

// Writes value exactly as printf's "%lf" does (inf, -inf, nan, -nan, -0.000000 included) at out,
// which must have room for kMaxFixed6Length characters; returns the end of the text.
char* FormatFixed6(double value, char* out);
std::string FormatFixed6(double value);

// A queue's average size as a row shows it, for a buffer of K packets: size itself, unless its six
// decimals would read more than K (a full buffer of 2.9999996 packets reads 3.000000); then the
// largest six-decimal number that reads no more than K.
double SizeShownWithin(double size, double K);

// R of line 2: total time / dump interval, truncated to an integer.
int NominalRowCount(double totalTime, double dumpInterval);

class CDumpWriter {
 public:
  CDumpWriter();
  ~CDumpWriter();  // closes the file, discarding the write status
  CDumpWriter(const CDumpWriter&) = delete;
  CDumpWriter& operator=(const CDumpWriter&) = delete;

  // Creates the file, replacing any file of that name. False, with the system's reason, when it
  // cannot be created.
  bool Create(const std::string& path, std::string& reason);
  bool IsOpen() const { return file_ != nullptr; }

  // A non-empty model name follows the three counts of line 2 after a blank.
  void WriteHeader(const std::string& documentPath, int links, int classes, int nominalRows,
                   const std::string& model = "");

  // From here on the rows are turned into text and written by a thread of the writer's own, in
  // the order they were added, so that the run goes on with its next steps meanwhile; the file's
  // bytes are the same. Call after WriteHeader; Close (or Create) waits for the thread.
  void WriteInBackground();

  void BeginRow(double time) { Add(time, '\t'); }
  // One queue's group: average size, utilisation, loss.
  void AddQueue(double averageSize, double utilisation, double loss) {
    if (items_ != nullptr) {
      if (itemsEnd_ - itemsPos_ < 3) HandOver();
      *itemsPos_++ = Item{averageSize, ' '};
      *itemsPos_++ = Item{utilisation, ' '};
      *itemsPos_++ = Item{loss, '\t'};
      return;
    }
    Reserve(3 * (kMaxFixed6Length + 1));
    AppendNumber(averageSize);
    *pos_++ = ' ';
    AppendNumber(utilisation);
    *pos_++ = ' ';
    AppendNumber(loss);
    *pos_++ = '\t';
  }
  void AddClass(double rate) { Add(rate, '\t'); }
  void EndRow();

  // Writes what is buffered and closes. False, with the reason, when some write failed.
  bool Close(std::string& reason);

 private:
  static constexpr size_t kBufferSize = size_t{1} << 20;

  // A number and the character that follows it in the row; kRowEnd stands for the line end.
  struct Item {
    double value;
    char after;
  };
  static constexpr char kRowEnd = '\n';
  struct Background;

  void Add(double value, char after) {
    if (items_ != nullptr) {
      if (itemsPos_ == itemsEnd_) HandOver();
      *itemsPos_++ = Item{value, after};
      return;
    }
    Reserve(kMaxFixed6Length + 1);
    AppendNumber(value);
    *pos_++ = after;
  }
  // Background writing: gives the filled items to the writing thread and takes empty ones.
  void HandOver();
  // Background writing: hands over what is left and waits until the thread has written it all.
  void StopBackground();
  void Write(const Item* begin, const Item* end);
  void Reserve(size_t n) {
    if (static_cast<size_t>(end_ - pos_) < n) Flush();
  }
  void AppendNumber(double value) { pos_ = FormatFixed6(value, pos_); }
  void AppendText(const std::string& text);
  void LineEnd();
  void Flush();

  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  char* pos_ = nullptr;
  char* end_ = nullptr;
  int writeErrno_ = 0;
  bool writeFailed_ = false;
  std::unique_ptr<Background> background_;
  Item* items_ = nullptr;  // the items being filled (background writing only)
  Item* itemsPos_ = nullptr;
  Item* itemsEnd_ = nullptr;
};

struct DumpHeader {
  std::string documentPath;
  // -1 when line 2 does not hold three integers.
  int links = -1;
  int classes = -1;
  int nominalRows = -1;
  // The model that wrote the rows: "refined" when line 2 says so after its counts, else "classic".
  std::string model = "classic";
};

// Reads a dump file sequentially. Numbers are white-space separated words; line ends of either
// platform are accepted. Short or truncated files are read as far as they go.
class CDumpReader {
 public:
  // Opens the file and reads its two header lines. Throws CFileException when it cannot be opened.
  explicit CDumpReader(const std::string& path);
  ~CDumpReader();
  CDumpReader(const CDumpReader&) = delete;
  CDumpReader& operator=(const CDumpReader&) = delete;

  const DumpHeader& GetHeader() const { return header_; }
  // Whether line 2 announces this many links and classes.
  bool Matches(size_t links, size_t classes) const;
  // Numbers in one row: the time, six per link, one per class.
  size_t ValuesPerRow() const;

  // The next white-space-delimited word; false at the end of the file.
  bool ReadWord(std::string& word);
  // The next word as a number (decimal, inf, nan); false at the end or when the word is not a
  // number (the word is consumed either way).
  bool ReadNumber(double& value);
  // One whole row: one line of ValuesPerRow() numbers. False at the end of the file, after a last
  // line that the file cut short (a run stopped while writing; row then holds its numbers), and
  // for a damaged row: a complete line with too few or too many words, a word that is not a
  // number, or a line longer than any row. A damaged row leaves row empty and sets Damage().
  bool ReadRow(std::vector<double>& row);
  // The same, keeping each number's text as written.
  bool ReadRowWords(std::vector<std::string>& words);
  // After a row was refused as damaged: "<file>: row N is damaged (...)", N counting data rows
  // from 1; empty otherwise.
  const std::string& Damage() const { return damage_; }
  // Data rows read so far.
  std::uint64_t RowsRead() const { return rowsRead_; }
  // Discards the rest of the current line.
  void SkipLine();

 private:
  int Get();
  int Peek();
  bool Refill();
  std::string ReadLine();
  enum class RowLine { kRow, kEnd, kCut, kDamaged };
  RowLine ReadRowLine(std::vector<std::string>& words, std::vector<double>* numbers);

  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  DumpHeader header_;
  std::string path_;
  std::string damage_;
  std::uint64_t rowsRead_ = 0;
};

// Parses line 2 ("%d %d %d", then the model name of a refined dump); false, leaving header
// untouched, when it does not hold three integers.
bool ParseDumpCounts(const std::string& line, DumpHeader& header);

}  // namespace varlo
