// The document's evaluation and result commands, for the document host to call: "&Parameters...",
// the two runs ("&Compute Metrics", "M/M/1/K Z-iteration"), "Create Graphic ..." and the dump
// animation. The host supplies what belongs to the windows: saving, the status bar, the graph
// window.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "engine/run.h"

class QWidget;

namespace varlo {

class CVarloDoc;
class CVarloGraphView;

// "Running time(sec) : %ld".
QString RunningTimeText(long seconds);

// "&Parameters...": the dialog on the document's values and the program-wide profile; OK copies
// them back. Does not mark the document as modified.
void OnParameters(CVarloDoc& doc, QWidget* parent);

// The Output File a document without one is offered: the network's name with ".dmp" (in place of
// ".net"), in the network's folder.
QString DefaultDumpFilePath(const CVarloDoc& doc);

// The dump file the graph and animation dialogs start with: the document's own, or, for a network
// just opened (which has none yet), the Output File its runs write when that file exists, so that
// results already beside the network are offered. Empty otherwise.
std::string OfferedDumpFile(const CVarloDoc& doc);

// The status-bar line after "&Compute Routes": "Routes computed: N routes, M unreachable pairs",
// counting ordered pairs of distinct nodes.
QString RoutesComputedText(const CVarloDoc& doc);

// What a cancelled run tells the user: "The run was cancelled at t = ..." with the simulated time
// reached and the rows its dump file holds.
QString RunCancelledText(const RunResult& result);

struct RunCommandHooks {
  // Saves the document under its title in its folder (a network never saved goes through Save As
  // first). Returns false when the user cancelled that Save As: the run does not start.
  std::function<bool()> saveUnderTitle;
  // The first pane of the status bar.
  std::function<void(const QString&)> status;
};

// A run command: save, the dialog, the run in "Computation is running", the outcome reported, the
// running time in the status bar. Returns the run's result, or nothing when the dialog was
// cancelled.
std::optional<RunResult> OnRunCommand(CVarloDoc& doc, RunMethod method, QWidget* parent,
                                      const RunCommandHooks& hooks);

struct GraphWindowHooks {
  // Activates the open graph window of the document.
  std::function<void()> activate;
  // Opens a new graph window holding view; false when it cannot be made.
  std::function<bool(CVarloGraphView* view)> open;
};

// "Create Graphic ...": the dialog, the chosen columns of the dump read into the document's graph
// data, the ns companions when asked, and the graph window opened or refreshed.
void OnCreateGraphic(CVarloDoc& doc, QWidget* parent, const GraphWindowHooks& hooks);

// Command 32817: the stepper dialog, run modally.
void OnAnimateDump(CVarloDoc& doc, QWidget* parent);

}  // namespace varlo
