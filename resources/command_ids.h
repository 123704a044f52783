// Command numbers of the desktop program. The program's own commands run from 32771 to 32820; the
// framework's standard commands keep their customary numbers (57600 New, 57601 Open, ...). A
// command's number is also the key of its status-bar prompt and tooltip (string_table.h).
#pragma once

namespace varlo {

// --- canvas context menu ("Menu_ViewNet") ------------------------------------------------------
constexpr int kIdAddNode = 32771;
constexpr int kIdStartLink = 32772;
constexpr int kIdEndLink = 32773;
constexpr int kIdStartTraffic = 32774;
constexpr int kIdDestination = 32775;
constexpr int kIdProperties = 32776;
constexpr int kIdCancelLink = 32777;
constexpr int kIdCancelTraffic = 32778;
constexpr int kIdDeleteNode = 32779;
constexpr int kIdDeleteLink = 32780;
constexpr int kIdCopyStyle = 32814;
constexpr int kIdPasteStyle = 32815;

// --- class tree context menu ("Menu_ViewClass") ------------------------------------------------
constexpr int kIdDeleteTrafficEntry = 32786;

// --- Computation menu -------------------------------------------------------------------------
constexpr int kIdParameters = 32787;
constexpr int kIdComputeRoutes = 32788;
constexpr int kIdMM1KZIteration = 32789;
constexpr int kIdGenerateNSScript = 32792;
constexpr int kIdComputeMetrics = 32801;

// --- View menu --------------------------------------------------------------------------------
constexpr int kIdZoomIn = 32790;
constexpr int kIdZoomOut = 32791;
constexpr int kIdCreateGraphic = 32793;
constexpr int kIdViewGrid = 32806;

// --- Productivity menu ------------------------------------------------------------------------
constexpr int kIdLoadTraffic = 32807;
constexpr int kIdSaveTraffic = 32808;
constexpr int kIdGenerateTCPTraffic = 32809;
constexpr int kIdModifyLinks = 32810;
constexpr int kIdDeleteAllTraffic = 32811;

// --- reached through their numbers only -------------------------------------------------------
constexpr int kIdGenerateQNSScript = 32816;
constexpr int kIdAnimateDump = 32817;
constexpr int kIdGenerateTraceClasses = 32818;

// --- File menu, the program's own -------------------------------------------------------------
// 32819 is free in the program's range; the picture export beside "Create Metafile.." uses it.
constexpr int kIdExportPicture = 32819;
constexpr int kIdCreateMetafile = 32820;
constexpr int kIdExportSummary = 32842;
constexpr int kIdOpenSweepSummary = 32843;

// --- beyond the original's commands -----------------------------------------------------------
constexpr int kIdToolsOptions = 32840;  // Tools > Options...: ns folder and the "UseNS" flag
constexpr int kIdZoomToFit = 32841;     // View > Zoom to Fit

// --- framework commands -----------------------------------------------------------------------
constexpr int kIdFileNew = 57600;
constexpr int kIdFileOpen = 57601;
constexpr int kIdFileClose = 57602;
constexpr int kIdFileSave = 57603;
constexpr int kIdFileSaveAs = 57604;
constexpr int kIdFilePrintSetup = 57606;
constexpr int kIdFilePrint = 57607;
constexpr int kIdFilePrintDirect = 57608;
constexpr int kIdFilePrintPreview = 57609;
constexpr int kIdFileMruFirst = 57616;  // the four recent files: 57616 .. 57619
constexpr int kIdFileMruLast = 57619;
constexpr int kIdWindowNew = 57648;
constexpr int kIdWindowArrange = 57649;
constexpr int kIdWindowCascade = 57650;
constexpr int kIdWindowTile = 57651;
constexpr int kIdWindowSplit = 57653;
constexpr int kIdAppAbout = 57664;
constexpr int kIdAppExit = 57665;
constexpr int kIdHelpContents = 57670;
constexpr int kIdNextPane = 57680;
constexpr int kIdPrevPane = 57681;
constexpr int kIdEditCopy = 57634;
constexpr int kIdEditCut = 57635;
constexpr int kIdEditPaste = 57637;
constexpr int kIdEditUndo = 57643;
constexpr int kIdEditRedo = 57644;
constexpr int kIdViewToolbar = 59392;
constexpr int kIdViewStatusBar = 59393;

// Application title string; captions every message box.
constexpr int kIdsAppTitle = 57344;

}  // namespace varlo
