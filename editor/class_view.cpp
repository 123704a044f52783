#include "editor/class_view.h"

#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>

#include "editor/node_dialog.h"
#include "editor/varlo_view.h"
#include "model/document_edits.h"
#include "model/queue.h"
#include "model/traffic_class.h"
#include "model/graphic_link.h"
#include "model/traffic_class_kinds.h"
#include "platform/qt/dialog_exchange.h"
#include "platform/qt/icons.h"
#include "resources/command_ids.h"
#include "resources/string_table.h"
#include "editor/class_times_dlg.h"

namespace varlo {

namespace {

constexpr int kObjectRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
enum Level : int { kLevelRoot = 0, kLevelNode = 1, kLevelClass = 2 };
constexpr int kImageRoot = 0;
constexpr int kImageNode = 1;

QString NodeText(const CGraphicNode& node) {
  return QStringLiteral("From ") + QString::fromStdString(node.GetName());
}

}  // namespace

CClassView::CClassView(CVarloDoc* doc, QWidget* parent) : QTreeWidget(parent), doc_(doc) {
  setColumnCount(1);
  header()->hide();
  setIconSize(QSize(16, 16));
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setContextMenuPolicy(Qt::PreventContextMenu);
  setSortingEnabled(false);
  connect(this, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
            if (!ignoreSelection_) OnSelectionChanged(current, previous);
          });
  doc_->AddView(this);
  OnInitialUpdate();
}

CClassView::~CClassView() {
  doc_->RemoveView(this);
}

void CClassView::OnInitialUpdate() {
  ignoreSelection_ = true;
  rootItem_ = new QTreeWidgetItem(this, QStringList(QStringLiteral("Traffic : ")));
  rootItem_->setIcon(0, TreeImage(kImageRoot));
  rootItem_->setData(0, kLevelRole, kLevelRoot);
  doc_->ForEachNode([this](CGraphicNode* node) {
    InsertNode(node);
    doc_->RaiseExtent(node);
  });
  rootItem_->setExpanded(true);
  for (const auto& trafficClass : doc_->GetClasses()) InsertClass(trafficClass.get());
  setCurrentItem(rootItem_);
  ignoreSelection_ = false;
}

QTreeWidgetItem* CClassView::InsertSorted(QTreeWidgetItem* parent, const QString& text, int image,
                                          CPersistent* object) {
  // Alphabetical, ignoring case; an entry goes after those of equal text.
  int index = 0;
  while (index < parent->childCount() &&
         QString::compare(parent->child(index)->text(0), text, Qt::CaseInsensitive) <= 0)
    ++index;
  auto* item = new QTreeWidgetItem(QStringList(text));
  item->setIcon(0, TreeImage(image));
  item->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(object)));
  parent->insertChild(index, item);
  items_[object] = item;
  return item;
}

void CClassView::InsertNode(CGraphicNode* node) {
  QTreeWidgetItem* item = InsertSorted(rootItem_, NodeText(*node), kImageNode, node);
  item->setData(0, kLevelRole, kLevelNode);
}

void CClassView::InsertClass(CTrafficClass* trafficClass) {
  QTreeWidgetItem* parent = ItemOf(trafficClass->GetSource());
  if (!parent) return;
  QTreeWidgetItem* item = InsertSorted(parent, QString::fromStdString(trafficClass->GetDescription()),
                                       KindOf(*trafficClass).treeImage, trafficClass);
  item->setData(0, kLevelRole, kLevelClass);
  parent->setExpanded(true);
}

QTreeWidgetItem* CClassView::ItemOf(const CPersistent* object) const {
  const auto it = items_.find(object);
  return it == items_.end() ? nullptr : it->second;
}

CGraphicNode* CClassView::NodeOf(const QTreeWidgetItem* item) const {
  if (!item || item->data(0, kLevelRole).toInt() != kLevelNode) return nullptr;
  return reinterpret_cast<CGraphicNode*>(item->data(0, kObjectRole).value<quintptr>());
}

CTrafficClass* CClassView::ClassOf(const QTreeWidgetItem* item) const {
  if (!item || item->data(0, kLevelRole).toInt() != kLevelClass) return nullptr;
  return reinterpret_cast<CTrafficClass*>(item->data(0, kObjectRole).value<quintptr>());
}

void CClassView::RemoveItem(const CPersistent* object) {
  QTreeWidgetItem* item = ItemOf(object);
  if (!item) return;
  // Forget the entry and everything under it (a node's classes go with it).
  std::vector<QTreeWidgetItem*> stack{item};
  while (!stack.empty()) {
    QTreeWidgetItem* top = stack.back();
    stack.pop_back();
    for (int i = 0; i < top->childCount(); ++i) stack.push_back(top->child(i));
    const auto* gone = reinterpret_cast<const CPersistent*>(top->data(0, kObjectRole).value<quintptr>());
    items_.erase(gone);
    if (gone == nodeTarget_) nodeTarget_ = nullptr;
    if (gone == classTarget_) classTarget_ = nullptr;
  }
  // Removing the selected entry selects nothing, so no other entry's highlight is toggled.
  QTreeWidgetItem* current = currentItem();
  bool selectionGoes = false;
  for (QTreeWidgetItem* p = current; p; p = p->parent()) selectionGoes = selectionGoes || p == item;
  ignoreSelection_ = true;
  if (selectionGoes) setCurrentItem(nullptr);
  delete item;
  if (selectionGoes) {
    setCurrentItem(nullptr);
    clearSelection();
  }
  ignoreSelection_ = false;
}

// --- document updates -----------------------------------------------------------------------------

void CClassView::OnUpdate(IDocumentView*, int hint, CPersistent* object) {
  switch (hint) {
    case kHintNodeAdded:
      if (auto* node = dynamic_cast<CGraphicNode*>(object)) {
        InsertNode(node);
        rootItem_->setExpanded(true);
      }
      break;
    case kHintNodeRemoved:
      RemoveItem(object);
      break;
    case kHintClassAdded:
      if (auto* trafficClass = dynamic_cast<CTrafficClass*>(object)) InsertClass(trafficClass);
      break;
    case kHintClassRemoved:
      if (auto* trafficClass = dynamic_cast<CTrafficClass*>(object)) {
        QTreeWidgetItem* item = ItemOf(trafficClass);
        if (item && item == currentItem()) {
          auto* source = static_cast<CGraphicNode*>(trafficClass->GetSource());
          auto* destination = static_cast<CGraphicNode*>(trafficClass->GetDestination());
          if (source) source->highlighted = false;
          if (destination) destination->highlighted = false;
          if (doc_->routesValid) SetRouteHighlight(*trafficClass, false);
          if (source) doc_->UpdateAllViews(this, kHintNodeHighlight, source);
          if (destination) doc_->UpdateAllViews(this, kHintNodeHighlight, destination);
        }
        RemoveItem(trafficClass);
      }
      break;
    case kHintNodeChanged:
      if (auto* node = dynamic_cast<CGraphicNode*>(object))
        if (QTreeWidgetItem* item = ItemOf(node)) item->setText(0, NodeText(*node));
      break;
    case kHintClassChanged:
      // The description shows the class's times.
      if (auto* trafficClass = dynamic_cast<CTrafficClass*>(object))
        if (QTreeWidgetItem* item = ItemOf(trafficClass))
          item->setText(0, QString::fromStdString(trafficClass->GetDescription()));
      break;
    default:
      break;
  }
}

// --- selection ------------------------------------------------------------------------------------

void CClassView::SetRouteHighlight(const CTrafficClass& trafficClass, bool on) {
  std::vector<CQueue*> queues;
  trafficClass.GetPathQueues(queues);
  for (CQueue* queue : queues)
    if (queue && queue->owningLink) queue->owningLink->highlighted = on;
}

void CClassView::ToggleEntry(QTreeWidgetItem* item, bool gaining) {
  if (CGraphicNode* node = NodeOf(item)) {
    node->highlighted = !node->highlighted;
    doc_->UpdateAllViews(this, kHintNodeHighlight, node);
  } else if (CTrafficClass* trafficClass = ClassOf(item)) {
    for (CNode* end : {trafficClass->GetSource(), trafficClass->GetDestination()}) {
      auto* node = static_cast<CGraphicNode*>(end);
      if (!node) continue;
      node->highlighted = !node->highlighted;
      doc_->UpdateAllViews(this, kHintNodeHighlight, node);
    }
    if (doc_->routesValid) SetRouteHighlight(*trafficClass, gaining);
  }
}

void CClassView::OnSelectionChanged(QTreeWidgetItem* gaining, QTreeWidgetItem* losing) {
  if (losing) ToggleEntry(losing, false);
  if (gaining) ToggleEntry(gaining, true);
  doc_->UpdateAllViews(this, kHintGeneral);
  if (gaining && nodeSelected) {
    // A class shows where it starts.
    CGraphicNode* node = NodeOf(gaining);
    if (!node) {
      if (CTrafficClass* trafficClass = ClassOf(gaining))
        node = static_cast<CGraphicNode*>(trafficClass->GetSource());
    }
    if (node) nodeSelected(*node);
  }
}

// --- context menu and commands --------------------------------------------------------------------

std::vector<int> CClassView::OnContextClick(QTreeWidgetItem* item) {
  if (!item || item == rootItem_) return {};
  if (CGraphicNode* node = NodeOf(item)) {
    nodeTarget_ = node;
    classTarget_ = nullptr;
    return {kIdDeleteNode, kIdProperties};
  }
  if (CTrafficClass* trafficClass = ClassOf(item)) {
    classTarget_ = trafficClass;
    nodeTarget_ = nullptr;
    return {kIdProperties, kIdDeleteTrafficEntry};
  }
  return {};
}

void CClassView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::RightButton) {
    QTreeWidget::mousePressEvent(event);
    return;
  }
  // The right button leaves the selection alone, as the tree control does.
  const std::vector<int> items = OnContextClick(itemAt(event->position().toPoint()));
  if (items.empty()) return;
  QMenu menu(this);
  for (int id : items) {
    const char* text = id == kIdDeleteNode   ? "Delete Node"
                       : id == kIdProperties ? "Properties..."
                                             : "Delete Traffic Entry";
    QAction* action = menu.addAction(QString::fromLatin1(text));
    action->setData(id);
    action->setStatusTip(StatusPrompt(id));
  }
  if (QAction* chosen = menu.exec(event->globalPosition().toPoint())) OnCommand(chosen->data().toInt());
}

CVarloView* CClassView::FirstCanvas() const {
  for (IDocumentView* view : doc_->GetViews())
    if (auto* canvas = dynamic_cast<CVarloView*>(view)) return canvas;
  return nullptr;
}

bool CClassView::OnCommand(int id) {
  switch (id) {
    case kIdDeleteNode:
      if (CGraphicNode* node = nodeTarget_) {
        nodeTarget_ = nullptr;
        edits::DeleteNode(*doc_, node);
      }
      return true;
    case kIdDeleteTrafficEntry:
      if (CTrafficClass* trafficClass = classTarget_) {
        classTarget_ = nullptr;
        edits::DeleteClass(*doc_, trafficClass);
      }
      return true;
    case kIdProperties:
      if (CGraphicNode* node = nodeTarget_) {
        NodeProperties values;
        if (EditNodeProperties(*node, values, this)) {
          CChangeSet changes;
          changes.SetNode(node, values);
          edits::ChangeProperties(*doc_, "Node Properties", std::move(changes));
        }
      } else if (CTrafficClass* trafficClass = classTarget_) {
        CClassTimesDlg dialog(this);
        dialog.startTime = trafficClass->startTime;
        dialog.stopTime = trafficClass->stopTime;
        if (ExecDialog(dialog) == QDialog::Accepted) {
          CChangeSet changes;
          changes.SetClassTimes(trafficClass, dialog.startTime, dialog.stopTime);
          edits::ChangeProperties(*doc_, "Class Times", std::move(changes));
        }
      }
      return true;
    case kIdFilePrint:
    case kIdFilePrintDirect:
    case kIdFilePrintPreview:
    case kIdCreateMetafile:
    case kIdExportPicture:
    case kIdZoomIn:
    case kIdZoomOut:
      if (CVarloView* canvas = FirstCanvas()) return canvas->OnCommand(id);
      return false;
    default:
      return false;
  }
}

bool CClassView::OnUpdateCommand(int id, CCmdUI& ui) {
  switch (id) {
    case kIdFilePrint:
    case kIdFilePrintDirect:
    case kIdFilePrintPreview:
    case kIdCreateMetafile:
    case kIdExportPicture:
    case kIdZoomIn:
    case kIdZoomOut:
      if (CVarloView* canvas = FirstCanvas()) return canvas->OnUpdateCommand(id, ui);
      return false;
    default:
      return false;
  }
}

}  // namespace varlo
