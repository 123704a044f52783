#include "engine/tcp_profile.h"

#include <gtest/gtest.h>

#include <cmath>

namespace varlo {
namespace {

const CTcpProfiles& Profiles() {
  return CTcpProfiles::Instance();
}

void ExpectClose(double actual, double expected) {
  EXPECT_NEAR(actual, expected, 1e-12 * expected);
}

TEST(TcpProfiles, TableValues) {
  // b_i * m^-(a_i + 0.00001 i j) with m = 10 j ms, coefficients of rows 0, 5, 20 and 39.
  ExpectClose(Profiles().At(kProfileNetBSD, 0, 1), 25.0 * std::pow(10.0, -1.1));
  ExpectClose(Profiles().At(kProfileNetBSD, 5, 10), 5.13 * std::pow(100.0, -(0.998 + 0.0005)));
  ExpectClose(Profiles().At(kProfileNetBSD, 20, 143), 1.53 * std::pow(1430.0, -(0.88 + 0.0286)));
  ExpectClose(Profiles().At(kProfileNetBSD, 39, 4999), 0.855 * std::pow(49990.0, -(0.7 + 1.94961)));
  // NS: the exponent changes at column 143.
  ExpectClose(Profiles().At(kProfileNS, 0, 142), 7.0 * std::pow(1420.0, -0.85));
  ExpectClose(Profiles().At(kProfileNS, 3, 143), 18.0 * std::pow(1430.0, -0.98) / 2.2);
  // Column 0 (0 ms) would be infinite; it repeats column 1.
  for (int profile : {kProfileNetBSD, kProfileNS}) {
    for (int row : {0, 17, 39}) {
      EXPECT_TRUE(std::isfinite(Profiles().At(profile, row, 0)));
      EXPECT_EQ(Profiles().At(profile, row, 0), Profiles().At(profile, row, 1));
    }
  }
}

TEST(TcpProfiles, LookupOnGridPointsAndBetween) {
  for (int profile : {kProfileNetBSD, kProfileNS}) {
    EXPECT_EQ(Profiles().Lookup(profile, 0.1, 0.05), Profiles().At(profile, 5, 10));
    EXPECT_EQ(Profiles().Lookup(profile, 0.0, 0.0), Profiles().At(profile, 0, 5));  // R = 0 is 50 ms
    // Half way in both directions: the mean of the four corners.
    const double corners = Profiles().At(profile, 5, 10) + Profiles().At(profile, 6, 10) +
                           Profiles().At(profile, 5, 11) + Profiles().At(profile, 6, 11);
    EXPECT_NEAR(Profiles().Lookup(profile, 0.105, 0.055), corners / 4.0, 1e-12);
  }
}

TEST(TcpProfiles, OutsideTheTable) {
  const double nsValue = 18.0 * std::pow(100.0, -0.98) / (1.0 + 40.0 * 0.39);
  EXPECT_DOUBLE_EQ(Profiles().Lookup(kProfileNS, 0.1, 0.39), nsValue);
  EXPECT_DOUBLE_EQ(Profiles().Lookup(kProfileNS, 49.99, 0.0), 18.0 * std::pow(49990.0, -0.98));
  EXPECT_NO_THROW(Profiles().Lookup(kProfileNetBSD, 49.98, 0.38));  // last cell inside
  EXPECT_THROW(Profiles().Lookup(kProfileNetBSD, 0.1, 0.39), CProfileOutOfTableException);
  EXPECT_THROW(Profiles().Lookup(kProfileNetBSD, 49.99, 0.0), CProfileOutOfTableException);
  EXPECT_THROW(Profiles().Lookup(kProfileNetBSD, NAN, 0.0), CProfileOutOfTableException);
  try {
    Profiles().Lookup(kProfileNetBSD, 60.0, 0.0);
    ADD_FAILURE() << "no exception";
  } catch (const CProfileOutOfTableException& e) {
    EXPECT_STREQ(e.what(), "NS surface computed only for Blocking = 0 ");
  }
}

// Beyond the NetBSD table's edge (loss 0.39, 49.99 s) the throughput goes on from the edge as the NS
// formula falls: by (1 + 40 * 0.39) / (1 + 40 L) in the loss and (49990 / R_ms)^0.98 in the round trip.
TEST(TcpProfiles, NetBsdBeyondItsTable) {
  const CTcpProfiles& p = Profiles();
  // Inside, and with the NS profile everywhere, the same as Lookup.
  EXPECT_EQ(p.LookupBeyondTable(kProfileNetBSD, 0.105, 0.055), p.Lookup(kProfileNetBSD, 0.105, 0.055));
  EXPECT_EQ(p.LookupBeyondTable(kProfileNS, 0.1, 0.6), p.Lookup(kProfileNS, 0.1, 0.6));
  // Row 39 (b = 0.855, a = 0.7) at 100 ms, then the loss's fall.
  const double edge = 0.855 * std::pow(100.0, -(0.7 + 0.00001 * 39 * 10));
  ExpectClose(p.LookupBeyondTable(kProfileNetBSD, 0.1, 0.39), edge);
  ExpectClose(p.LookupBeyondTable(kProfileNetBSD, 0.1, 0.5), edge * 16.6 / 21.0);
  EXPECT_EQ(p.LookupBeyondTable(kProfileNetBSD, 0.1, 1.0), edge * 16.6 / 41.0);
  // Continuous at the loss edge: just inside, the interpolation between rows 38 and 39.
  EXPECT_NEAR(p.LookupBeyondTable(kProfileNetBSD, 0.1, 0.39 - 1e-12), edge, 1e-9);
  // Row 0 (b = 25, a = 1.1) at the last column, then the round trip's fall.
  const double last = 25.0 * std::pow(49990.0, -1.1);
  ExpectClose(p.LookupBeyondTable(kProfileNetBSD, 60.0, 0.0), last * std::pow(49990.0 / 60000.0, 0.98));
  // Both beyond at once.
  const double corner = 0.855 * std::pow(49990.0, -(0.7 + 0.00001 * 39 * 4999));
  ExpectClose(p.LookupBeyondTable(kProfileNetBSD, 100.0, 0.8), corner * 16.6 / 33.0 * std::pow(0.4999, 0.98));
  // A path through a link that sends nothing has an infinite round trip: nothing is sent.
  EXPECT_EQ(p.LookupBeyondTable(kProfileNetBSD, INFINITY, 0.0), 0.0);
  EXPECT_EQ(p.LookupBeyondTable(kProfileNetBSD, INFINITY, 0.7), 0.0);
  // What no path can have still stops the run.
  EXPECT_THROW(p.LookupBeyondTable(kProfileNetBSD, NAN, 0.5), CProfileOutOfTableException);
  EXPECT_THROW(p.LookupBeyondTable(kProfileNetBSD, 0.1, -0.1), CProfileOutOfTableException);
}

TEST(TcpProfiles, ProgramWideSetting) {
  EXPECT_EQ(GetTcpProfile(), kProfileNetBSD);
  SetTcpProfile(kProfileNS);
  EXPECT_EQ(GetTcpProfile(), kProfileNS);
  SetTcpProfile(7);  // not a profile
  EXPECT_EQ(GetTcpProfile(), kProfileNS);
  SetTcpProfile(kProfileNetBSD);
  EXPECT_EQ(GetTcpProfile(), kProfileNetBSD);
}

}  // namespace
}  // namespace varlo
