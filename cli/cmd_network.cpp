// Network commands: import/export JSON, resave, routes, save/load traffic.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "cli/command.h"
#include "model/archive.h"
#include "model/document.h"
#include "model/json_network.h"
#include "platform/core/file_io.h"

namespace varlo::cli {
namespace {

void SaveNetwork(CVarloDoc& doc, const std::string& path) { doc.OnSaveDocument(path); }

void RegisterNetworkCommands(CLI::App& app) {
  {
    auto* cmd = app.add_subcommand("import", "Build a network from JSON and save it as a .net file");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("NET.json", *in, "The network as JSON")->required()->check(CLI::ExistingFile);
    cmd->add_option("-o,--output", *out, "The .net file to write")->required();
    cmd->callback([in, out] {
      // The file error says why it could not be read (missing, permission denied ...).
      const std::vector<std::uint8_t> bytes = ReadWholeFile(*in);
      std::istringstream file(std::string(bytes.begin(), bytes.end()));
      std::unique_ptr<CVarloDoc> doc;
      try {
        doc = DocumentFromJson(file, *in, std::filesystem::absolute(*in).parent_path().string());
      } catch (const CJsonNetworkError& e) {
        throw CommandFailure(e.what());
      }
      SaveNetwork(*doc, *out);
    });
  }
  {
    auto* cmd = app.add_subcommand("export", "Write a .net file as JSON");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("IN.net", *in, "The network file")->required();
    cmd->add_option("-o,--output", *out, "The JSON file to write (standard output when absent)");
    cmd->callback([in, out] {
      auto doc = OpenNetwork(*in);
      const std::string text = DocumentToJson(*doc);
      if (out->empty()) {
        std::cout << text;
      } else {
        WriteFileAtomically(*out, std::vector<std::uint8_t>(text.begin(), text.end()));
      }
    });
  }
  {
    auto* cmd = app.add_subcommand("resave", "Read a .net file and write it again");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("IN.net", *in, "The network file")->required();
    cmd->add_option("-o,--output", *out, "The .net file to write")->required();
    cmd->callback([in, out] {
      auto doc = OpenNetwork(*in);
      SaveNetwork(*doc, *out);
    });
  }
  {
    auto* cmd = app.add_subcommand("routes", "Compute the routes and print FROM TO NEXT COST per route");
    auto in = std::make_shared<std::string>();
    cmd->add_option("IN.net", *in, "The network file")->required();
    cmd->callback([in] {
      auto doc = OpenNetwork(*in);
      doc->ComputeRoutes();
      doc->routesValid = true;
      std::ostringstream out;
      const auto nodes = doc->NodesInTableOrder();
      for (const CGraphicNode* from : nodes) {
        for (const CGraphicNode* to : nodes) {
          const auto [queue, cost] = from->GetRoute(to);
          if (queue == nullptr || queue->toNode == nullptr) continue;
          out << from->GetNumber() << ' ' << to->GetNumber() << ' ' << queue->toNode->GetNumber() << ' ' << cost
              << '\n';
        }
      }
      std::cout << out.str();
    });
  }
  {
    auto* cmd = app.add_subcommand("save-traffic", "Save the traffic classes of a network as a .cls file");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("IN.net", *in, "The network file")->required();
    cmd->add_option("-o,--output", *out, "The .cls file to write")->required();
    cmd->callback([in, out] {
      auto doc = OpenNetwork(*in);
      try {
        doc->SaveTraffic(*out);
      } catch (const CArchiveException& e) {
        throw CommandFailure("Error saving traffic... (" + e.Message() + ")");
      } catch (const CFileException& e) {
        throw CommandFailure("Error saving traffic... (" + e.Message() + ")");
      }
    });
  }
  {
    auto* cmd = app.add_subcommand("load-traffic", "Add the classes of a .cls file to a network and save it");
    auto in = std::make_shared<std::string>();
    auto cls = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("IN.net", *in, "The network file")->required();
    cmd->add_option("IN.cls", *cls, "The traffic file")->required();
    cmd->add_option("-o,--output", *out, "The .net file to write")->required();
    cmd->callback([in, cls, out] {
      auto doc = OpenNetwork(*in);
      bool complete = false;
      try {
        complete = doc->LoadTraffic(*cls);
      } catch (const CArchiveException& e) {
        throw CommandFailure("Error loading traffic file... (" + e.Message() + ")");
      } catch (const CFileException& e) {
        throw CommandFailure("Error loading traffic file... (" + e.Message() + ")");
      }
      // Classes added before a class with a missing node stay, as in the program: save them.
      SaveNetwork(*doc, *out);
      if (!complete) {
        throw CommandFailure("Error loading traffic file... (" + *cls +
                             " names a node that the network does not hold; the classes before it were added)");
      }
    });
  }
}

const CommandRegistrar registrar(RegisterNetworkCommands);

}  // namespace
}  // namespace varlo::cli
