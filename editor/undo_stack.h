// The undo stack of one document. The document's edit functions (model/document_edits.h) hand
// it every edit they make, already done; Undo and Redo run the edits' records. The stack's clean
// state is the saved file: undoing back to it clears the document's modified flag, so closing no
// longer asks to save.
#pragma once

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <functional>
#include <memory>

#include "model/document.h"

namespace varlo {

class CDocumentUndo : public QObject, public IEditRecorder {
 public:
  explicit CDocumentUndo(CVarloDoc& doc, QObject* parent = nullptr);
  ~CDocumentUndo() override;
  CDocumentUndo(const CDocumentUndo&) = delete;
  CDocumentUndo& operator=(const CDocumentUndo&) = delete;

  QUndoStack* Stack() { return &stack_; }
  void Record(std::unique_ptr<CDocumentEdit> edit) override;

  bool CanUndo() const { return stack_.canUndo(); }
  bool CanRedo() const { return stack_.canRedo(); }
  // "Undo Move Node" / "Redo Move Node", or "Undo" / "Redo" when there is nothing to do.
  QString UndoText() const;
  QString RedoText() const;
  void Undo() { stack_.undo(); }
  void Redo() { stack_.redo(); }
  // The document was saved: its present state is the clean one.
  void SetSaved() { stack_.setClean(); }

  // Called whenever the modified flag may have changed (captions show it).
  std::function<void()> modifiedChanged;

 private:
  void Sync();

  CVarloDoc& doc_;
  QUndoStack stack_;
};

}  // namespace varlo
