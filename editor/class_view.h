// The class tree: the left pane of a network window. Under the root "Traffic : " it lists every
// node as a source of traffic and, under each node, the traffic classes that start there. Selecting
// an entry highlights the node, or a class's end nodes and route, on the canvas; the context menu
// deletes a node or class or edits its properties.
#pragma once

#include <QTreeWidget>
#include <functional>
#include <unordered_map>
#include <vector>

#include "platform/qt/command_target.h"
#include "model/document.h"

namespace varlo {

class CVarloView;

class CClassView : public QTreeWidget, public IDocumentView, public ICommandTarget {
 public:
  CClassView(CVarloDoc* doc, QWidget* parent = nullptr);
  ~CClassView() override;

  CVarloDoc* GetDocument() const { return doc_; }

  void OnUpdate(IDocumentView* sender, int hint, CPersistent* object) override;
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

  QTreeWidgetItem* RootItem() const { return rootItem_; }
  // The entry of a node or a class in this tree, or nullptr.
  QTreeWidgetItem* ItemOf(const CPersistent* object) const;
  // What an entry stands for (nullptr for the root).
  CGraphicNode* NodeOf(const QTreeWidgetItem* item) const;
  CTrafficClass* ClassOf(const QTreeWidgetItem* item) const;

  // A right-click on an entry: sets the node or class target and returns the menu's command ids;
  // empty (no menu) for the root or no entry. The right button runs this and shows the menu.
  std::vector<int> OnContextClick(QTreeWidgetItem* item);
  CGraphicNode* GetNodeTarget() const { return nodeTarget_; }
  CTrafficClass* GetClassTarget() const { return classTarget_; }

  // Told of the node an entry picked in the tree stands for (a class: its source), so that the
  // window can bring it into view.
  std::function<void(const CGraphicNode&)> nodeSelected;

  // The first canvas of the document, which prints for the tree.
  CVarloView* FirstCanvas() const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void OnInitialUpdate();
  QTreeWidgetItem* InsertSorted(QTreeWidgetItem* parent, const QString& text, int image, CPersistent* object);
  void InsertNode(CGraphicNode* node);
  void InsertClass(CTrafficClass* trafficClass);
  void RemoveItem(const CPersistent* object);
  void OnSelectionChanged(QTreeWidgetItem* gaining, QTreeWidgetItem* losing);
  // Toggles the highlight of the entry's node, or of a class's ends, and sets its route's links.
  void ToggleEntry(QTreeWidgetItem* item, bool gaining);
  void SetRouteHighlight(const CTrafficClass& trafficClass, bool on);

  CVarloDoc* doc_;
  QTreeWidgetItem* rootItem_ = nullptr;
  CGraphicNode* nodeTarget_ = nullptr;
  CTrafficClass* classTarget_ = nullptr;
  // Entries by object. Each tree keeps its own, so that two windows on one document never act
  // on each other's entries.
  std::unordered_map<const CPersistent*, QTreeWidgetItem*> items_;
  bool ignoreSelection_ = false;
};

}  // namespace varlo
