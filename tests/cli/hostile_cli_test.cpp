// varlo-cli fed what an attacker or an old file would give it: hostile JSON, numbers that are no
// numbers, damaged dumps, unreadable files, signals. Each is refused with exit 1 (2 for options)
// and a message naming the element, or handled the way Ctrl-C is.
#include <gtest/gtest.h>

#include "cli_harness.h"
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/const_poisson_class.h"
#include "model/td_poisson_class.h"
#include "model/document.h"
#include "model/persistent.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;
using test::Cli;
using test::Folder;
using test::Outcome;
using test::Read;
using test::Write;

// A - B, one UDP class (or a rate-file class, which qns can take); nodes may carry 8-bit names as
// older files hold them.
void SaveNetwork(const std::string& path, const std::string& nameOfA = "A", bool rateClass = false) {
  RegisterPersistentClasses();
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(10, 10);
  a->SetName(nameOfA);
  CGraphicNode* b = doc.CreateNode(50, 10);
  b->SetName("B");
  doc.AddLink(std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, 1000, 20, 0.01),
                                             std::make_unique<C_MM1K_Queue>(b, a, 1000, 20, 0.01)));
  if (rateClass) {
    doc.AddClass(std::make_unique<CTdPoissonClass>(a, b, 0, 0, "r.vlr"));
  } else {
    doc.AddClass(std::make_unique<CConstPoissonClass>(a, b, 0, 0, 100));
  }
  doc.OnSaveDocument(path);
}

TEST(HostileCli, EveryHostileJsonNetworkIsRefusedNamingTheElement) {
  Folder folder("hostile");
  const fs::path corpus = fs::path(VARLO_SOURCE_DIR) / "tests/corpus/hostile";
  std::ifstream expectations(corpus / "expect.txt");
  int cases = 0;
  for (std::string line; std::getline(expectations, line);) {
    std::stringstream fields(line);
    std::string name;
    std::getline(fields, name, '\t');
    const std::string in = folder / name;
    fs::copy_file(corpus / name, in, fs::copy_options::overwrite_existing);
    const Outcome o = Cli(folder, "import '" + in + "' -o out.net");
    EXPECT_EQ(o.code, 1) << name << ": " << o.err;
    for (std::string fragment; std::getline(fields, fragment, '\t');) {
      EXPECT_NE(o.err.find(fragment), std::string::npos) << name << ": " << o.err;
    }
    EXPECT_FALSE(fs::exists(folder / "out.net")) << name;
    ++cases;
  }
  EXPECT_GE(cases, 14);
}

TEST(HostileCli, NumbersThatAreNoNumbersOrTooLargeAreUsageErrors) {
  Folder folder("hostile");
  SaveNetwork(folder / "n.net");
  for (const std::string& arguments : {
           std::string("modify-links n.net -o m.net --type 1 --parameter nan"),
           std::string("modify-links n.net -o m.net --type 1 --parameter inf"),
           std::string("modify-links n.net -o m.net --type 3 --parameter 0.5"),
           std::string("generate-tcp n.net -o m.net --min 0 --max 1 --start nan"),
           std::string("generate-tcp n.net -o m.net --min 0 --max 1 --stop nan"),
           std::string("generate-tcp n.net -o m.net --min 0 --max 4294967295"),
           std::string("generate-trace n.net -o m.net --min 0 --max 1 --slot nan --trace t.vlt"),
           std::string("generate-trace n.net -o m.net --min 0 --max 1 --slot 0.1 --stop nan --trace t.vlt"),
           std::string("ns-script n.net -o s.tcl --length nan"),
           std::string("qns-script n.net -o s.qns --length nan"),
       }) {
    const Outcome o = Cli(folder, arguments);
    EXPECT_EQ(o.code, 2) << arguments << ": " << o.err;
    EXPECT_FALSE(fs::exists(folder / "m.net")) << arguments;
  }
  EXPECT_FALSE(fs::exists(folder / "s.tcl"));
  // Multiplying a 20-packet buffer by 0.01 would leave 0 packets.
  const Outcome shrunk = Cli(folder, "modify-links n.net -o m.net --type 2 --parameter 0.01");
  EXPECT_EQ(shrunk.code, 1) << shrunk.err;
  EXPECT_FALSE(fs::exists(folder / "m.net"));
}

TEST(HostileCli, FilesAreReadAsWhatTheyAre) {
  Folder folder("hostile");
  // An older file's Latin-1 name exports as UTF-8 and imports back to the same name.
  SaveNetwork(folder / "latin.net", "R\xE9seau");
  const Outcome exported = Cli(folder, "export latin.net -o latin.json");
  ASSERT_EQ(exported.code, 0) << exported.err;
  EXPECT_NE(Read(folder / "latin.json").find("\"R\xC3\xA9seau\""), std::string::npos);
  EXPECT_EQ(Cli(folder, "import latin.json -o again.net").code, 0);

  // Unreadable JSON says why.
  Write(folder / "locked.json", "{}");
  fs::permissions(folder / "locked.json", fs::perms::none);
  if (::access((folder / "locked.json").c_str(), R_OK) != 0) {  // root reads everything
    const Outcome locked = Cli(folder, "import locked.json -o x.net");
    EXPECT_EQ(locked.code, 1);
    EXPECT_NE(locked.err.find("Access to locked.json was denied."), std::string::npos) << locked.err;
  }

  // A dump with a damaged row: the rows before it are converted, the command fails naming it.
  SaveNetwork(folder / "n.net");
  // One link (6 values) and one class: 8 values a row.
  const std::string row = "0 1 2 3 4 5 6 7\n";
  Write(folder / "d.dmp", "/n.net\n1 1 3\n" + row + row + "0 1 2 x 4 5 6 7\n" + row);
  const Outcome csv = Cli(folder, "dump2csv d.dmp --net n.net -o d.csv");
  EXPECT_EQ(csv.code, 1);
  EXPECT_NE(csv.err.find("d.dmp: row 3 is damaged"), std::string::npos) << csv.err;
  std::stringstream lines(Read(folder / "d.csv"));
  int count = 0;
  for (std::string line; std::getline(lines, line);) ++count;
  EXPECT_EQ(count, 3);  // the header and two rows
}

TEST(HostileCli, AMissingQnsIsNotReportedAsExitCodeZero) {
  Folder folder("hostile");
  SaveNetwork(folder / "n.net", "A", true);
  const Outcome o = Cli(folder, "qns-script n.net -o s.qns --run", "PATH=/nonexistent");
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.out.find("error code: 0"), std::string::npos) << o.out;
  EXPECT_NE(o.err.find("Error Running qns !"), std::string::npos) << o.err;
}

TEST(HostileCli, TermAndHangupEndARunLikeCtrlC) {
  Folder folder("hostile");
  SaveNetwork(folder / "n.net");
  for (int signal : {SIGTERM, SIGHUP}) {
    const std::string dump = folder / "s.dmp";
    fs::remove(dump);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::freopen((folder / "err.txt").c_str(), "w", stderr);
      ::execl(VARLO_CLI_PATH, VARLO_CLI_PATH, "run", (folder / "n.net").c_str(), "--dump", dump.c_str(), "--total",
              "10000", "--step", "0.0001", "--dump-interval", "0.001", "--quiet", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Once rows are being written, the signal arrives in the middle of the run.
    for (int i = 0; i < 200 && (!fs::exists(dump) || fs::file_size(dump) < 4096); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ::kill(child, signal);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(Read(folder / "err.txt").find("The evaluation was cancelled."), std::string::npos);
    const std::string text = Read(dump);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');  // whole rows only
  }
}

}  // namespace
}  // namespace varlo
