// Command routing. A command (menu item, toolbar button, accelerator, context-menu entry) is a
// number from resources/command_ids.h; it is offered to the active view, then the document host,
// the child frame, the main frame and the application, and the first target that handles it wins.
// The same chain answers the update question (enabled, checked) before menus and buttons show.
#pragma once

#include <string>

namespace varlo {

struct CCmdUI {
  bool enabled = true;
  bool checked = false;
  std::string text;  // when set, the entry's new text ("Undo Move Node")
};

class ICommandTarget {
 public:
  virtual ~ICommandTarget() = default;
  // Returns true when the command was handled.
  virtual bool OnCommand(int id) = 0;
  // Returns true when this target decided the command's state.
  virtual bool OnUpdateCommand(int id, CCmdUI& ui) {
    (void)id;
    (void)ui;
    return false;
  }
};

}  // namespace varlo
