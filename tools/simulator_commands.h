// The document's simulator and productivity commands, for the document host to call: the ns and
// qns script generators with their runs, the TCP and trace traffic generators, "&Delete All
// Traffic" and "&Modify Links ...". The host supplies what belongs to its windows (saving the
// document under its title).
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "platform/core/process_runner.h"

class QWidget;

namespace varlo {

class CVarloDoc;

struct ScriptCommandHooks {
  // Saves the document under its title in its folder (a network never saved goes through Save As
  // first); a failure is reported and ignored. Returns false when the user cancelled that Save As.
  std::function<bool()> saveUnderTitle;
};

// Status-bar prompt of "&Generate NS Script..." while "UseNS" is 0: how to turn it on.
extern const char* const kNSScriptDisabledPrompt;
// Tooltip of "&Generate NS Script..." while "UseNS" is 0.
extern const char* const kNSScriptDisabledToolTip;

enum class SimulatorKind { kNS, kQNS };

// Starts the simulator, shows "ns is running" / "qns is running" until it ends or is cancelled,
// reports a program that could not be started ("Error Running ns !"), then shows the report.
// filesNote, when given, tells in the report where the run's files are.
SimulatorReport RunSimulatorWithReport(const SimulatorRequest& request, SimulatorKind kind, QWidget* parent,
                                       const QString& filesNote = QString());

// The NS report's note on the files: the script's full path and, with monitored queues, where ns
// writes their "<title>_<from>_<to>.tr" files (the folder it runs in, the script's).
QString NSFilesNote(const std::string& scriptPath, const std::string& documentFolder, const std::string& title,
                    bool monitors);

void OnGenerateNSScript(CVarloDoc& doc, QWidget* parent, const ScriptCommandHooks& hooks);
void OnGenerateQNSScript(CVarloDoc& doc, QWidget* parent, const ScriptCommandHooks& hooks);
void OnGenerateTCPTraffic(CVarloDoc& doc, QWidget* parent);
void OnGenerateTraceClasses(CVarloDoc& doc, QWidget* parent);
void OnDeleteAllTraffic(CVarloDoc& doc, QWidget* parent);
void OnModifyLinks(CVarloDoc& doc, QWidget* parent);

}  // namespace varlo
