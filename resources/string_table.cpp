#include "resources/string_table.h"

#include <unordered_map>

#include "resources/command_ids.h"

namespace varlo {

namespace {

const std::unordered_map<int, const char*>& Strings() {
  static const std::unordered_map<int, const char*> table = {
      {kIdAddNode, "Adds a node at the position of the mouse"},
      {kIdStartLink, "Selects this node as the first one for a link"},
      {kIdEndLink, "Selects this node as the other end of the link"},
      {kIdStartTraffic, "Makes this node the source for a new class of traffic"},
      {kIdDestination, "Makes this node the destination of the current class of traffic"},
      {kIdProperties, "Modify the settings for this element"},
      {kIdCancelLink, "Cancel the link "},
      {kIdCancelTraffic, "Cancel the class of traffic establishment"},
      {kIdDeleteNode, "Delete the node under the cursor"},
      {kIdDeleteLink, "Delete the link under the cursor"},
      {kIdDeleteTrafficEntry, "Delete the current traffic class"},
      {kIdParameters, "Set the computation parameters"},
      {kIdComputeRoutes, "Compute the routes in the network\nRoutes Computation"},
      {kIdMM1KZIteration, "Runs Z-iteration - M/M/1/K Queues\nM/M/1/K Z-iteration"},
      {kIdZoomIn, "Zooms in to the drawing\nZoom In"},
      {kIdZoomOut, "Zooms out of the drawing\nZoom Out"},
      {kIdGenerateNSScript,
       "This generates a script file for ns (Network Simulator) for the current network.\nNS Script"},
      {kIdCreateGraphic, "Creates a new graph of Data...\nCreate Graphic"},
      {kIdComputeMetrics, "Runs Z-iteration\nZ-iterate"},
      {kIdViewGrid, "View the grid in the graph"},
      {kIdLoadTraffic, "Load Classes from a file"},
      {kIdSaveTraffic, "Save Classes to a file"},
      {kIdGenerateTCPTraffic, "This generates a bunch of TCP connections automatically"},
      {kIdModifyLinks, "&Modify the capacity of links with specific parameters"},
      {kIdDeleteAllTraffic, "Deletes all classes of traffic"},
      {kIdGenerateQNSScript, "Generate a script for the Quick network simulator"},
      {kIdAnimateDump, "Animate using a dump file..."},
      {kIdExportPicture, "Save the drawing as an SVG, PNG or PDF picture\nExport Picture"},
      {kIdToolsOptions, "Set where ns is installed and whether the ns script command is offered\nOptions"},
      {kIdZoomToFit, "Shows the whole network in the window\nZoom to Fit"},
      {kIdExportSummary, "Save the busiest queues and the class throughput of the last run as CSV\nExport Summary"},
      {kIdOpenSweepSummary, "Show the summary.csv of a what-if sweep as a table\nOpen Sweep Summary"},
      {kIdFileNew, "Create a new document\nNew"},
      {kIdFileOpen, "Open an existing document\nOpen"},
      {kIdFileClose, "Close the active document\nClose"},
      {kIdFileSave, "Save the active document\nSave"},
      {kIdFileSaveAs, "Save the active document with a new name\nSave As"},
      {kIdFilePrintSetup, "Change the printer and printing options\nPage Setup"},
      {kIdFilePrint, "Print the active document\nPrint"},
      {kIdFilePrintDirect, "Print the active document using current options\nQuick Print"},
      {kIdFilePrintPreview, "Display full pages\nPrint Preview"},
      {kIdFileMruFirst, "Open this document"},
      {kIdFileMruFirst + 1, "Open this document"},
      {kIdFileMruFirst + 2, "Open this document"},
      {kIdFileMruLast, "Open this document"},
      {kIdWindowNew, "Open another window for the active document\nNew Window"},
      {kIdWindowArrange, "Arrange icons at the bottom of the window\nArrange Icons"},
      {kIdWindowCascade, "Arrange windows so they overlap\nCascade Windows"},
      {kIdWindowTile, "Arrange windows as non-overlapping tiles\nTile Windows"},
      {kIdWindowSplit, "Split the active window into panes\nSplit"},
      {kIdAppAbout, "Display program information, version number and copyright\nAbout"},
      {kIdAppExit, "Quit the application; prompts to save documents\nExit"},
      {kIdHelpContents, "Display help Information about Varlo 1.0"},
      {kIdNextPane, "Switch to the next window pane\nNext Pane"},
      {kIdPrevPane, "Switch back to the previous window pane\nPrevious Pane"},
      {kIdEditCopy, "Copy the selection and put it on the Clipboard\nCopy"},
      {kIdEditCut, "Cut the selection and put it on the Clipboard\nCut"},
      {kIdEditPaste, "Insert Clipboard contents\nPaste"},
      {kIdEditUndo, "Undo the last action\nUndo"},
      {kIdEditRedo, "Redo the previously undone action\nRedo"},
      {kIdViewToolbar, "Show or hide the toolbar\nToggle ToolBar"},
      {kIdViewStatusBar, "Show or hide the status bar\nToggle StatusBar"},
  };
  return table;
}

}  // namespace

QString CommandString(int id) {
  const auto& table = Strings();
  auto it = table.find(id);
  return it == table.end() ? QString() : QString::fromUtf8(it->second);
}

QString StatusPrompt(int id) {
  return CommandString(id).section(QLatin1Char('\n'), 0, 0);
}

QString ToolTipText(int id) {
  const QString s = CommandString(id);
  const auto nl = s.indexOf(QLatin1Char('\n'));
  return nl < 0 ? QString() : s.mid(nl + 1);
}

QString AppTitle() {
  return QStringLiteral("Varlo");
}

}  // namespace varlo
