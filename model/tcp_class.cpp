#include "model/tcp_class.h"

#include "model/archive.h"
#include "model/node.h"
#include "platform/core/text_format.h"

namespace varlo {

CTCPClass::CTCPClass(CNode* source, CNode* destination, double startTime, double stopTime, double sinkDelay)
    : CTrafficClass(source, destination, startTime, stopTime), sinkDelay(sinkDelay) {}

void CTCPClass::Serialize(CArchive& ar) {
  CTrafficClass::Serialize(ar);
  if (ar.IsStoring()) {
    ar.WriteDouble(sinkDelay);
  } else {
    sinkDelay = ar.ReadQuantity(0.0);
  }
}

double CTCPClass::GetRate(double t) {
  return IsActive(t) ? lastThroughput : 0.0;
}

std::string CTCPClass::GetDescription() const {
  return Format("To %s ( %4.1lf : %4.1lf )", DestinationName().c_str(), startTime, ShownStopTime(10000.0));
}

std::string CTCPClass::GetNSScript(double startOffset) {
  const std::string name = ScriptName("TCP");
  const std::string from = SourceScriptName();
  const std::string to = DestinationScriptName();
  const char* c = name.c_str();
  std::string script = Format(
      "\nset agent_%s [new Agent/TCP/Reno] \n$ns attach-agent $node_%s $agent_%s\nset sink_%s [new "
      "Agent/TCPSink]\n$ns attach-agent $node_%s $sink_%s\n$ns connect $agent_%s $sink_%s\nset ftp_%s [new "
      "Application/FTP]\n$ftp_%s attach-agent $agent_%s",
      c, from.c_str(), c, c, to.c_str(), c, c, c, c, c, c);
  script += Format(
      "\n$ns at %lf \"$ftp_%s start\"\n$ns at %lf \"$ns detach-agent $node_%s $agent_%s ; $ns detach-agent "
      "$node_%s $sink_%s\"\n",
      startTime + startOffset, c, ShownStopTime(100000.0), from.c_str(), c, to.c_str(), c);
  script += Format("$agent_%s set overhead_ 0.01\n", c);
  return script;
}

std::string CTCPClass::GetQNSScript() const {
  throw CNotSupportedException();
}

}  // namespace varlo
