// The document: one open network. It owns every node, link and traffic class, keeps both ends of
// every link and class in step, numbers new nodes, notifies its views with update hints, and
// reads and writes the network file (".net") and the traffic file (".cls").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/mm1k_queue.h"
#include "model/traffic_class.h"
#include "model/graph_data.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "model/keyed_table.h"
#include "platform/core/file_io.h"

namespace varlo {

class CArchive;
class CVarloDoc;

// Update hints sent from the document to its views.
enum UpdateHint : int {
  kHintGeneral = 0,        // redraw everything
  kHintNodeAdded = 1,      // object: node
  kHintNodeRemoved = 2,    // object: node about to be destroyed
  kHintClassAdded = 3,     // object: traffic class
  kHintClassRemoved = 4,   // object: traffic class about to be destroyed
  kHintNodeChanged = 5,    // object: node
  kHintNodeHighlight = 6,  // object: node
  kHintGraphData = 7,      // graph data or queue values changed
  kHintClassChanged = 8,   // object: traffic class whose times changed (its description with them)
};

// A view of the document (canvas, class tree, graph). sender is the view that caused the change,
// or nullptr; views normally ignore updates they sent themselves.
class IDocumentView {
 public:
  virtual ~IDocumentView() = default;
  virtual void OnUpdate(IDocumentView* sender, int hint, CPersistent* object) = 0;
};

class CDocumentEdit;

// Receives every edit made through the edit functions (model/document_edits.h), done, so that
// it can be undone and redone: the desktop program's undo stack. Without one, edits are final.
class IEditRecorder {
 public:
  virtual ~IEditRecorder() = default;
  virtual void Record(std::unique_ptr<CDocumentEdit> edit) = 0;
};

class CVarloDoc {
 public:
  CVarloDoc();
  ~CVarloDoc();
  CVarloDoc(const CVarloDoc&) = delete;
  CVarloDoc& operator=(const CVarloDoc&) = delete;

  // --- views -------------------------------------------------------------------------------
  void AddView(IDocumentView* view);
  void RemoveView(IDocumentView* view);
  const std::vector<IDocumentView*>& GetViews() const { return views_; }
  void UpdateAllViews(IDocumentView* sender, int hint = kHintGeneral, CPersistent* object = nullptr);

  // --- model operations ---------------------------------------------------------------------
  // Enters the node under its number (replacing a node of that number), raises largest x/y.
  // The caller sends hint 1.
  void AddNode(std::unique_ptr<CGraphicNode> node);
  // Creates the next node on the canvas: number from the counter, name "N%d", node defaults.
  // Throws std::runtime_error when no unused 16-bit number is left. The caller sends hint 1.
  CGraphicNode* CreateNode(std::int32_t x, std::int32_t y);
  void DeleteNode(CGraphicNode* node);
  CGraphicNode* FindNode(std::uint16_t number) const;
  CGraphicNode* NodeAt(std::int32_t x, std::int32_t y) const;
  // The caller sends hint 0.
  void AddLink(std::unique_ptr<CGraphicLink> link);
  void DeleteLink(CGraphicLink* link);
  CGraphicLink* FindLink(const CNode* a, const CNode* b) const;
  CGraphicLink* LinkAt(std::int32_t x, std::int32_t y) const;
  // The caller sends hint 3.
  void AddClass(std::unique_ptr<CTrafficClass> trafficClass);
  void DeleteClass(CTrafficClass* trafficClass);
  // --- reversible removal (undo) ---------------------------------------------------------------
  // What a removal took out and where it stood, so that putting it back restores every list's
  // order. Removing sends the hints the delete operations send; nothing is destroyed.
  struct DetachedClass {
    std::unique_ptr<CTrafficClass> object;
    size_t listIndex = 0, sourceIndex = 0, destinationIndex = 0;
  };
  struct DetachedLink {
    std::unique_ptr<CGraphicLink> object;
    size_t listIndex = 0, firstIndex = 0, secondIndex = 0;
  };
  struct DetachedNode {
    std::unique_ptr<CGraphicNode> object;
    std::ptrdiff_t chainIndex = -1;
    // In the order they were removed. Declared so that the classes go first when destroyed.
    std::vector<DetachedLink> links;
    std::vector<DetachedClass> classes;
  };
  DetachedClass DetachClass(CTrafficClass* trafficClass);
  DetachedLink DetachLink(CGraphicLink* link);
  DetachedNode DetachNode(CGraphicNode* node);
  // Put back what the matching Detach took, the document being as the removal left it. notify
  // sends hint 3 (class), 0 (link) or 1, 0 and 3 for each class (node); marks modified.
  void AttachClass(DetachedClass detached, bool notify = true);
  void AttachLink(DetachedLink detached, bool notify = true);
  void AttachNode(DetachedNode detached);
  size_t IndexOfClass(const CTrafficClass* trafficClass) const;

  // --- edit recording (the desktop program's undo stack) -------------------------------------
  void SetEditRecorder(IEditRecorder* recorder) { recorder_ = recorder; }
  // Hands a done edit to the recorder (dropped when there is none).
  void RecordEdit(std::unique_ptr<CDocumentEdit> edit);

  // Least-cost routes over the queues and the classes' paths; sends hint 0 unless notifyViews is
  // false (the runs, which may be off the windows' thread: their callers tell the views when the
  // run has returned). Does not set the routes-valid flag (the commands do).
  void ComputeRoutes(bool notifyViews = true);

  // Node-table walk.
  template <class F>
  void ForEachNode(F&& f) const {
    nodeTable_.ForEach([&](std::uint16_t, const std::unique_ptr<CGraphicNode>& n) { f(n.get()); });
  }
  std::vector<CGraphicNode*> NodesInTableOrder() const;
  size_t GetNodeCount() const { return nodeTable_.Size(); }
  const std::vector<std::unique_ptr<CGraphicLink>>& GetLinks() const { return links_; }
  const std::vector<std::unique_ptr<CTrafficClass>>& GetClasses() const { return classes_; }

  // --- persistent fields ----------------------------------------------------------------------
  std::int32_t nextNodeNumber = 1;
  C_MM1K_Queue templateQueue;  // rate 1000, buffer 5000, delay 0, weight 1

  // --- computation parameters (not stored in the file) ------------------------------------------
  double totalTime = 15.0;     // s
  double runningStep = 0.01;   // s
  double dumpInterval = 0.1;   // s
  std::string dumpFilePath;    // the dump file of the runs, graphs and animation
  // Whether the ns script command is offered (the installer's "UseNS"); set by the program.
  bool useNS = false;

  // --- the curves of the graph window ("Create Graphic ...") ---------------------------------
  GraphData graph;

  // --- run-time fields -----------------------------------------------------------------------
  bool routesValid = false;
  std::int32_t largestX = 0, largestY = 0;
  double zoomFactor = 1.0;
  bool IsModified() const { return modified_; }
  void SetModifiedFlag(bool modified = true) { modified_ = modified; }
  // Raises largest x/y to the node's position.
  void RaiseExtent(const CGraphicNode* node);

  // --- files ---------------------------------------------------------------------------------
  // Full path of the document file ("" for a network never saved) and its title.
  const std::string& GetPathName() const { return pathName_; }
  void SetPathName(std::string path) { pathName_ = std::move(path); }
  // The name in the window caption: the file name of the path, or "Untitled".
  std::string GetTitle() const;
  void SetTitle(std::string title) { title_ = std::move(title); }
  // The document's folder (where its title-named files go); the working directory when never saved.
  std::string GetFolder() const;

  // Writes / reads the whole network through an archive.
  void Serialize(CArchive& ar);
  // Opens a .net file into this (empty) document. Throws CArchiveException or CFileException;
  // on failure the document is left empty.
  void OnOpenDocument(const std::string& path);
  // Saves to path atomically (temporary file renamed into place); sets the path name and clears
  // the modified flag. Throws CArchiveException or CFileException; the old file stays intact.
  void OnSaveDocument(const std::string& path);
  // The network file's bytes.
  std::vector<std::uint8_t> SaveToBytes(const std::string& fileNameForMessages) const;

  // Traffic file (.cls): the class list alone.
  std::vector<std::uint8_t> SaveTrafficToBytes(const std::string& fileName) const;
  void SaveTraffic(const std::string& path) const;
  // Loads classes; stops at the first class naming a missing node (classes before it stay).
  // Throws CArchiveException/CFileException for a bad file (nothing added) and returns false when
  // it stopped at a missing node. Sends hint 3 for each class added.
  bool LoadTraffic(const std::string& path);
  // The same from an archive over a traffic file's bytes (the archive names the file).
  bool LoadTraffic(CArchive& ar);
  // Reads a traffic file's count and classes; the classes are not yet attached to nodes.
  static std::vector<std::unique_ptr<CTrafficClass>> ReadTraffic(CArchive& ar);

 private:
  void Store(CArchive& ar) const;
  void Load(CArchive& ar);
  void ResolveAfterLoad();  // links to nodes, classes to nodes
  // Before a link is destroyed: drops the paths of the classes crossing its queues and every
  // node's route table, so that nothing refers to its queues.
  void ForgetRoutes(const CGraphicLink* link);
  // Destroys every class, link and node without notifying the views (before and after a failed read).
  void ClearContents();

  CKeyedTable<std::unique_ptr<CGraphicNode>> nodeTable_;
  std::vector<std::unique_ptr<CGraphicLink>> links_;
  std::vector<std::unique_ptr<CTrafficClass>> classes_;
  std::vector<IDocumentView*> views_;
  IEditRecorder* recorder_ = nullptr;
  bool modified_ = false;
  std::string pathName_;
  std::string title_;
};


}  // namespace varlo
