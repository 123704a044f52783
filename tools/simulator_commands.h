// The document's simulator and productivity commands, for the document host to call: the ns and
// qns script generators with their runs, the TCP and trace traffic generators, "&Delete All
// Traffic" and "&Modify Links ...". The host supplies what belongs to its windows (saving the
// document under its title).
#pragma once

#include <functional>

#include "platform/core/process_runner.h"

class QWidget;

namespace varlo {

class CVarloDoc;

struct ScriptCommandHooks {
  // Saves the document under its title in its folder; a failure is reported and ignored.
  std::function<void()> saveUnderTitle;
};

// Tooltip of "&Generate NS Script..." while "UseNS" is 0.
extern const char* const kNSScriptDisabledToolTip;

enum class SimulatorKind { kNS, kQNS };

// Starts the simulator, shows "ns is running" / "qns is running" until it ends or is cancelled,
// reports a program that could not be started ("Error Running ns !"), then shows the report.
SimulatorReport RunSimulatorWithReport(const SimulatorRequest& request, SimulatorKind kind, QWidget* parent);

void OnGenerateNSScript(CVarloDoc& doc, QWidget* parent, const ScriptCommandHooks& hooks);
void OnGenerateQNSScript(CVarloDoc& doc, QWidget* parent, const ScriptCommandHooks& hooks);
void OnGenerateTCPTraffic(CVarloDoc& doc, QWidget* parent);
void OnGenerateTraceClasses(CVarloDoc& doc, QWidget* parent);
void OnDeleteAllTraffic(CVarloDoc& doc, QWidget* parent);
void OnModifyLinks(CVarloDoc& doc, QWidget* parent);

}  // namespace varlo
