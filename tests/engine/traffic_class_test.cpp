#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/object_steps.h"
#include "model/const_poisson_class.h"
#include "model/tcp_class.h"
#include "engine/tcp_profile.h"
#include "line_network.h"
#include "model/archive.h"
#include "platform/core/text_format.h"

namespace varlo {
namespace {

using test::Fill;
using test::LineNetwork;

std::vector<CQueue*> Queues(const CTrafficClass& c) {
  std::vector<CQueue*> out;
  for (const auto& e : c.GetPath()) out.push_back(e->queue);
  return out;
}

TEST(TrafficClass, ActiveIntervalAndIdentity) {
  CConstPoissonClass always(nullptr, nullptr, 5.0, 5.0, 2.0), bounded(nullptr, nullptr, 1.0, 2.0, 2.0);
  EXPECT_EQ(always.GetRate(0.0), 2.0);
  EXPECT_EQ(bounded.GetRate(2.0), 2.0);
  EXPECT_EQ(bounded.GetRate(2.001), 0.0);
  EXPECT_NE(always.GetIdentity(), bounded.GetIdentity());
}

TEST(TrafficClass, RouteWalksBothWays) {
  LineNetwork net;
  CTCPClass tcp(&net.a, &net.c, 0.0, 0.0, 0.0);
  std::vector<CQueue*> forward, reverse;
  EXPECT_TRUE(tcp.GetPathQueues(forward));
  EXPECT_TRUE(tcp.GetReversePathQueues(reverse));
  EXPECT_EQ(forward, (std::vector<CQueue*>{&net.ab, &net.bc}));
  EXPECT_EQ(reverse, (std::vector<CQueue*>{&net.cb, &net.ba}));

  tcp.BuildPath();
  EXPECT_FALSE(tcp.IsUnreachable());
  EXPECT_EQ(Queues(tcp), (std::vector<CQueue*>{&net.ab, &net.bc, nullptr}));
  EXPECT_EQ(net.ab.pathEntries, std::vector<PathEntry*>{tcp.GetPath()[0].get()});
  EXPECT_EQ(net.bc.pathEntries, std::vector<PathEntry*>{tcp.GetPath()[1].get()});
  tcp.BuildPath();  // a rebuild replaces the entries in the queues' lists
  EXPECT_EQ(net.ab.pathEntries, std::vector<PathEntry*>{tcp.GetPath()[0].get()});
  tcp.ClearPath();
  EXPECT_TRUE(net.ab.pathEntries.empty());
  {
    CConstPoissonClass dropped(&net.a, &net.c, 0.0, 0.0, 1.0);
    dropped.BuildPath();
  }  // destroying a class unlinks its entries
  EXPECT_TRUE(net.bc.pathEntries.empty());

  CConstPoissonClass local(&net.b, &net.b, 0.0, 0.0, 1.0);
  local.BuildPath();
  EXPECT_EQ(Queues(local), std::vector<CQueue*>{nullptr});
  EXPECT_FALSE(local.IsUnreachable());
}

TEST(TrafficClass, DeletedQueueLeavesNoDanglingEntry) {
  CNode a(1, "A"), b(2, "B");
  for (CNode* node : {&a, &b}) node->SetRouteIndex(node->GetNumber() - 1), node->ResetRoutes(2);
  auto q = std::make_unique<C_MM1K_Queue>(&a, &b, 10.0, 10.0, 0.0);
  a.SetRoute(&b, q.get(), 1);
  CConstPoissonClass c(&a, &b, 0.0, 0.0, 1.0);
  c.BuildPath();
  q.reset();  // the link goes before the paths are rebuilt
  EXPECT_EQ(c.GetPath()[0]->queue, nullptr);
  PropagateRates(c, 0.0);
  AdvanceOccupancy(c, 0.1);
  AdvanceOccupancyDiscrete(c, 0.1);
  NormalizeOccupancy(c);
  a.ResetRoutes(2);
  c.BuildPath();
  EXPECT_TRUE(c.IsUnreachable());
}

TEST(TrafficClass, UnreachableDestinationsEndTheWalk) {
  LineNetwork net;
  net.b.ResetRoutes(3);  // B knows no routes: A cannot reach C
  CConstPoissonClass poisson(&net.a, &net.c, 0.0, 0.0, 1.0);
  std::vector<CQueue*> out{&net.cb};
  EXPECT_FALSE(poisson.GetPathQueues(out));
  EXPECT_EQ(out, std::vector<CQueue*>{&net.cb});  // left as it was
  poisson.BuildPath();
  EXPECT_TRUE(poisson.IsUnreachable());
  EXPECT_EQ(Queues(poisson), std::vector<CQueue*>{nullptr});
  EXPECT_TRUE(net.ab.pathEntries.empty());

  // B sends traffic for C back to A: the walk circles and must give up.
  net.b.SetRoute(&net.c, &net.ba, 1);
  EXPECT_FALSE(poisson.GetPathQueues(out));

  // Forward fine, no way back: only TCP needs the return direction.
  LineNetwork oneWay;
  oneWay.c.ResetRoutes(3);
  CConstPoissonClass udp(&oneWay.a, &oneWay.c, 0.0, 0.0, 1.0);
  CTCPClass tcp(&oneWay.a, &oneWay.c, 0.0, 0.0, 0.0);
  udp.BuildPath();
  tcp.BuildPath();
  EXPECT_FALSE(udp.IsUnreachable());
  EXPECT_TRUE(tcp.IsUnreachable());
  EXPECT_EQ(OfferedRate(tcp, 1.0), 0.0);
}

TEST(TrafficClass, RatesAndOccupancyAlongThePath) {
  LineNetwork net;
  CConstPoissonClass c(&net.a, &net.c, 0.0, 0.0, 6.0);
  c.BuildPath();
  const auto& path = c.GetPath();
  PropagateRates(c, 0.0);  // empty queues pass on the previous input rate, 0 at the start
  EXPECT_EQ(path[0]->x, 6.0);
  EXPECT_EQ(path[1]->x, 0.0);
  EXPECT_EQ(path[2]->x, 0.0);

  net.ab.N = 2.0, net.ab.U = 0.5, net.ab.P = 0.5;
  net.bc.N = 4.0, net.bc.U = 1.0;
  path[0]->n = 5.0, path[1]->n = 2.0;
  PropagateRates(c, 1.0);
  EXPECT_EQ(path[1]->x, 5.0 * 0.5 * 100.0 / 2.0);  // its share of the served rate
  EXPECT_EQ(path[2]->x, 2.0 * 1.0 * 50.0 / 4.0);

  path[0]->n = 20.0;
  AdvanceOccupancy(c, 0.1);
  EXPECT_DOUBLE_EQ(path[0]->n, 20.0 + 0.1 * (0.5 * 6.0 - 125.0));
  EXPECT_DOUBLE_EQ(path[1]->n, 2.0 + 0.1 * (125.0 - 25.0));
  path[0]->n = 0.5;
  AdvanceOccupancy(c, 0.1);
  EXPECT_EQ(path[0]->n, 0.0);  // never negative
}

TEST(TrafficClass, DiscreteOccupancyHasNoNaNOnIdleQueues) {
  LineNetwork net;
  CConstPoissonClass c(&net.a, &net.c, 0.0, 0.0, 6.0);
  c.BuildPath();
  const auto& path = c.GetPath();
  path[0]->x = 6.0, path[0]->n = 1.0;
  path[1]->x = 25.0, path[1]->n = 2.0;
  path[2]->x = 10.0;
  net.ab.arrivalRate = 0.0, net.ab.accepted = 0.0, net.ab.served = 2.0;  // idle: 0/0 on arrival
  net.bc.arrivalRate = 10.0, net.bc.accepted = 4.0, net.bc.serviceRate = 0.0;
  AdvanceOccupancyDiscrete(c, 0.1);
  EXPECT_DOUBLE_EQ(path[0]->n, 1.0 - 25.0 * 2.0 / 100.0);
  EXPECT_DOUBLE_EQ(path[1]->n, 2.0 + 25.0 * 4.0 / 10.0);
}

TEST(TrafficClass, NormalizeSharesTheQueueSize) {
  LineNetwork net;
  CConstPoissonClass c1(&net.a, &net.b, 0.0, 0.0, 1.0), c2(&net.a, &net.c, 0.0, 0.0, 1.0);
  c1.BuildPath();
  c2.BuildPath();
  c1.GetPath()[0]->n = 1.0;
  c2.GetPath()[0]->n = 3.0;
  c2.GetPath()[1]->n = 7.0;
  net.ab.N = 2.0;
  net.ab.SumOccupancy();
  net.bc.SumOccupancy();
  net.bc.occupancySum = 0.0;
  NormalizeOccupancy(c1);
  NormalizeOccupancy(c2);
  EXPECT_EQ(c1.GetPath()[0]->n, 0.5);
  EXPECT_EQ(c2.GetPath()[0]->n, 1.5);
  EXPECT_EQ(c2.GetPath()[1]->n, 0.0);
}

TEST(TrafficClass, PoissonTexts) {
  LineNetwork net;
  CConstPoissonClass c(&net.a, &net.c, 5.0, 5.0, 2.5);
  EXPECT_EQ(c.GetDescription(), "To C (  5.0 : 10000.0 ); Rate: 2.500000.");
  const std::string name = Format("_Poisson_A_1_C_3_%x", c.GetIdentity());
  EXPECT_EQ(c.GetNSScript(1.5),
            Fill("set agent_@ [new Agent/CBR/UDP]\n$ns attach-agent $node_A_1 $agent_@\n"
                 "set null_@ [new Agent/Null]\n$ns attach-agent $node_C_3 $null_@\n"
                 "$ns connect $agent_@ $null_@\n\nset poisson_@ [new Application/Traffic/Exponential]\n"
                 "$poisson_@ set packet_size_ 1000\n$poisson_@ set rate_ 20000.000000\n"
                 "$agent_@ attach-traffic $poisson_@\n"
                 "\n$ns at 6.500000 \"$agent_@ start\"\n$ns at 100000.000000 \"$ns detach-agent "
                 "$node_A_1 $agent_@ ; $ns detach-agent $node_C_3 $null_@\"\n",
                 name));
  EXPECT_THROW(c.GetQNSScript(), CNotSupportedException);
}

TEST(TrafficClass, TcpTexts) {
  LineNetwork net;
  CTCPClass c(&net.a, &net.c, 1.0, 20.0, 0.0);
  EXPECT_EQ(c.GetDescription(), "To C (  1.0 : 20.0 )");
  const std::string name = Format("_TCP_A_1_C_3_%x", c.GetIdentity());
  EXPECT_EQ(c.GetNSScript(0.5),
            Fill("\nset agent_@ [new Agent/TCP/Reno] \n$ns attach-agent $node_A_1 $agent_@\n"
                 "set sink_@ [new Agent/TCPSink]\n$ns attach-agent $node_C_3 $sink_@\n"
                 "$ns connect $agent_@ $sink_@\nset ftp_@ [new Application/FTP]\n$ftp_@ attach-agent $agent_@"
                 "\n$ns at 1.500000 \"$ftp_@ start\"\n$ns at 20.000000 \"$ns detach-agent $node_A_1 "
                 "$agent_@ ; $ns detach-agent $node_C_3 $sink_@\"\n$agent_@ set overhead_ 0.01\n",
                 name));
  EXPECT_THROW(c.GetQNSScript(), CNotSupportedException);
}

TEST(TrafficClass, TcpThroughputFromRoundTripAndLoss) {
  LineNetwork net;
  for (CQueue* q : std::vector<CQueue*>{&net.ab, &net.ba, &net.bc, &net.cb}) q->propagationDelay = 0.0;
  CTCPClass c(&net.a, &net.c, 0.0, 0.0, 0.0);
  const CTcpProfiles& profiles = CTcpProfiles::Instance();
  ASSERT_EQ(GetTcpProfile(), kProfileNetBSD);
  EXPECT_EQ(OfferedRate(c, 0.0), 1000.0 * profiles.At(kProfileNetBSD, 0, 5));  // idle: R = 0 looks up 50 ms

  net.ab.N = 10.0, net.ab.P = 0.1, net.cb.propagationDelay = 0.02;
  c.sinkDelay = 0.05;
  const double expected =
      1000.0 * profiles.Lookup(kProfileNetBSD, 0.05 + 10.0 / 100.0 + 0.02, 1.0 - (1.0 - 0.1));
  EXPECT_DOUBLE_EQ(OfferedRate(c, 2.0), expected);
  net.ab.N = 0.0;
  EXPECT_EQ(OfferedRate(c, 1.0), expected);  // earlier than the last evaluation: the stored value
  EXPECT_NE(OfferedRate(c, 0.0), expected);  // time 0 starts a new run
}

TEST(TrafficClass, SerializesNumbersTimesThenOwnField) {
  LineNetwork net;
  CConstPoissonClass c(&net.a, &net.c, 1.0, 2.0, 0.5);
  CArchive out("c.cls");
  c.Serialize(out);
  const std::vector<std::uint8_t> expected = {
      1, 0, 3, 0,                    // source and destination numbers
      0, 0, 0, 0, 0, 0, 0xF0, 0x3F,  // start 1.0
      0, 0, 0, 0, 0, 0, 0,    0x40,  // stop 2.0
      0, 0, 0, 0, 0, 0, 0xE0, 0x3F,  // rate 0.5
  };
  EXPECT_EQ(out.Bytes(), expected);
  CArchive in(expected, "c.cls");
  CTCPClass read;  // same file form, with the sink delay in the rate's place
  read.Serialize(in);
  EXPECT_EQ(read.GetSourceNumber(), 1);
  EXPECT_EQ(read.GetDestinationNumber(), 3);
  EXPECT_EQ(read.startTime, 1.0);
  EXPECT_EQ(read.stopTime, 2.0);
  EXPECT_EQ(read.sinkDelay, 0.5);
}

}  // namespace
}  // namespace varlo
