// The two TCP throughput profiles: tables of 40 loss rows (i per cent) by 5000 round-trip columns
// (10 j ms) of throughputs in packets per millisecond, and their bilinear lookup.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

namespace varlo {

enum TcpProfileIndex : int { kProfileNetBSD = 0, kProfileNS = 1 };

// The program-wide profile in use ("Profile to use"); starts at 0 (NetBSD 1.2 Profile). Indices
// other than the two profiles are ignored.
int GetTcpProfile();
void SetTcpProfile(int index);

// The NetBSD profile asked for a point outside its table. what() is the user's message; Where(),
// once the run has said so, names the class, the time and the point it asked for.
class CProfileOutOfTableException : public std::runtime_error {
 public:
  CProfileOutOfTableException() : std::runtime_error("NS surface computed only for Blocking = 0 ") {}
  const std::string& Where() const { return where_; }
  void Locate(std::string where) { where_ = std::move(where); }

 private:
  std::string where_;
};

class CTcpProfiles {
 public:
  static constexpr int kRows = 40;
  static constexpr int kColumns = 5000;

  // The tables. Their cells are computed the first time they are read, a block of a row at a
  // time: a run reads only a few rows, and a short run should not pay for 400,000 powers.
  static const CTcpProfiles& Instance();

  // T[row][column] of a profile.
  double At(int profile, int row, int column) const {
    const std::size_t block =
        static_cast<std::size_t>(row) * kBlocksPerRow + static_cast<std::size_t>(column) / kBlockColumns;
    if (ready_[profile][block].load(std::memory_order_acquire) == 0)
      FillBlock(profile, row, column / kBlockColumns);
    return tables_[profile][static_cast<std::size_t>(row) * kColumns + static_cast<std::size_t>(column)];
  }
  // Throughput in packets per millisecond for round-trip time R (s) and loss L (fraction). Points
  // outside the table (and NaN or negative inputs) get the NS formula with the NS profile and
  // throw CProfileOutOfTableException with the NetBSD profile.
  double Lookup(int profile, double roundTripTime, double loss) const;
  // The same, but the NetBSD profile goes on beyond its table as the NS profile's formula does:
  // from the nearest point of the table's edge (loss 0.39, round trip 49.99 s), the throughput
  // falls as 1 / (1 + 40 L) in the loss and as R^-0.98 in the round trip. A flow whose path loses
  // two fifths of its packets still sends a little, and a run goes on; one whose path crosses a
  // link that sends nothing (an infinite round trip) sends nothing. Only NaN or negative inputs
  // throw.
  double LookupBeyondTable(int profile, double roundTripTime, double loss) const;

 private:
  static constexpr int kBlockColumns = 64;
  static constexpr int kBlocksPerRow = (kColumns + kBlockColumns - 1) / kBlockColumns;

  CTcpProfiles();
  void FillBlock(int profile, int row, int block) const;
  // Between rows row, row + 1 and columns column, column + 1, f and e of the way (0 to 1).
  double Bilinear(int profile, int row, int column, double f, double e) const;

  std::unique_ptr<double[]> tables_[2];
  std::unique_ptr<std::atomic<std::uint8_t>[]> ready_[2];
  mutable std::mutex fillMutex_;
};

}  // namespace varlo
