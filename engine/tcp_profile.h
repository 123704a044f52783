// The two TCP throughput profiles: tables of 40 loss rows (i per cent) by 5000 round-trip columns
// (10 j ms) of throughputs in packets per millisecond, and their bilinear lookup.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>

namespace varlo {

enum TcpProfileIndex : int { kProfileNetBSD = 0, kProfileNS = 1 };

// The program-wide profile in use ("Profile to use"); starts at 0 (NetBSD 1.2 Profile). Indices
// other than the two profiles are ignored.
int GetTcpProfile();
void SetTcpProfile(int index);

// The NetBSD profile asked for a point outside its table. what() is the user's message.
class CProfileOutOfTableException : public std::runtime_error {
 public:
  CProfileOutOfTableException() : std::runtime_error("NS surface computed only for Blocking = 0 ") {}
};

class CTcpProfiles {
 public:
  static constexpr int kRows = 40;
  static constexpr int kColumns = 5000;

  // The tables, built once on first use.
  static const CTcpProfiles& Instance();

  // T[row][column] of a profile.
  double At(int profile, int row, int column) const {
    return tables_[profile][static_cast<std::size_t>(row) * kColumns + static_cast<std::size_t>(column)];
  }
  // Throughput in packets per millisecond for round-trip time R (s) and loss L (fraction). Points
  // outside the table (and NaN or negative inputs) get the NS formula with the NS profile and
  // throw CProfileOutOfTableException with the NetBSD profile.
  double Lookup(int profile, double roundTripTime, double loss) const;

 private:
  CTcpProfiles();
  std::unique_ptr<double[]> tables_[2];
};

}  // namespace varlo
