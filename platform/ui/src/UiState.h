// Process-wide state of the window layer (hooks of the tests, the list of forms).
#pragma once
#include <functional>
#include <vector>

#include "UiTest.h"

class TCustomForm;

namespace ui {

struct UiState {
  std::vector<TCustomForm*> forms;
  uitest::MessageBoxHook messageBoxHook;
  std::vector<uitest::ShownBox> shownBoxes;
  std::function<void(TCustomForm*)> modalHook;
  std::function<void(uitest::FolderDialog&)> folderHook;
  std::function<void(HWND)> boxHook;
  int foregroundRequests = 0;
};
UiState& State();

// Runs a handler called from a Qt event: an exception goes to the application's handler
// (Qt must never see one).
void Safely(const std::function<void()>& f);

}  // namespace ui
