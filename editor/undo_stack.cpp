#include "editor/undo_stack.h"

#include <QUndoCommand>

#include "model/document_edits.h"

namespace varlo {

namespace {

// Every command may take in the one before it; the records decide (only the moves of one drag do).
constexpr int kEditCommandId = 1;

class CEditCommand : public QUndoCommand {
 public:
  CEditCommand(CVarloDoc& doc, std::unique_ptr<CDocumentEdit> edit)
      : QUndoCommand(QString::fromStdString(edit->Name())), doc_(doc), edit_(std::move(edit)) {}

  // The edit is done when it is recorded: the stack's first redo (inside push) has nothing to do.
  void redo() override {
    if (done_) {
      done_ = false;
      return;
    }
    edit_->Redo(doc_);
  }
  void undo() override { edit_->Undo(doc_); }
  int id() const override { return kEditCommandId; }
  bool mergeWith(const QUndoCommand* other) override {
    const auto* next = dynamic_cast<const CEditCommand*>(other);
    return next != nullptr && edit_->MergeWith(*next->edit_);
  }

 private:
  CVarloDoc& doc_;
  std::unique_ptr<CDocumentEdit> edit_;
  bool done_ = true;
};

}  // namespace

CDocumentUndo::CDocumentUndo(CVarloDoc& doc, QObject* parent) : QObject(parent), doc_(doc) {
  doc_.SetEditRecorder(this);
  connect(&stack_, &QUndoStack::indexChanged, this, [this] { Sync(); });
  connect(&stack_, &QUndoStack::cleanChanged, this, [this] { Sync(); });
}

CDocumentUndo::~CDocumentUndo() {
  doc_.SetEditRecorder(nullptr);
  modifiedChanged = nullptr;
  stack_.disconnect(this);
  // The records go before the document: some hold elements taken out of it.
  stack_.clear();
}

void CDocumentUndo::Record(std::unique_ptr<CDocumentEdit> edit) {
  stack_.push(new CEditCommand(doc_, std::move(edit)));
  Sync();
}

QString CDocumentUndo::UndoText() const {
  return stack_.canUndo() ? QStringLiteral("Undo ") + stack_.undoText() : QStringLiteral("Undo");
}

QString CDocumentUndo::RedoText() const {
  return stack_.canRedo() ? QStringLiteral("Redo ") + stack_.redoText() : QStringLiteral("Redo");
}

void CDocumentUndo::Sync() {
  const bool modified = !stack_.isClean();
  if (doc_.IsModified() != modified) {
    doc_.SetModifiedFlag(modified);
  }
  if (modifiedChanged) modifiedChanged();
}

}  // namespace varlo
