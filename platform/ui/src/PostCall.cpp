#include "PostCall.h"

#include <QTimer>

#include "UiPrivate.h"
#include "UiState.h"

void PostCall(std::function<void()> call) {
  if (!call) return;
  QTimer::singleShot(0, ui::EnsureQt(), [call = std::move(call)] { ui::Safely(call); });
}
