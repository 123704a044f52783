// A hand-built line of three nodes 1 - 2 - 3 with a queue per direction and complete route
// tables, for the engine tests.
#pragma once

#include <string>

#include "model/mm1k_queue.h"
#include "model/node.h"

namespace varlo::test {

struct LineNetwork {
  CNode a{1, "A"}, b{2, "B"}, c{3, "C"};
  C_MM1K_Queue ab{&a, &b, 100.0, 10.0, 0.01}, ba{&b, &a, 100.0, 10.0, 0.01};
  C_MM1K_Queue bc{&b, &c, 50.0, 10.0, 0.02}, cb{&c, &b, 50.0, 10.0, 0.02};

  LineNetwork() {
    CNode* nodes[] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
      nodes[i]->SetRouteIndex(i);
      nodes[i]->ResetRoutes(3);
    }
    a.SetRoute(&b, &ab, 1);
    a.SetRoute(&c, &ab, 2);
    b.SetRoute(&a, &ba, 1);
    b.SetRoute(&c, &bc, 1);
    c.SetRoute(&b, &cb, 1);
    c.SetRoute(&a, &cb, 2);
  }
};

// Replaces every '@' of a script template by a class's script name.
inline std::string Fill(std::string text, const std::string& name) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + name.size())) {
    text.replace(at, 1, name);
  }
  return text;
}

}  // namespace varlo::test
