// The program's one error box.
#pragma once

#include <string_view>

#include "cache/sinks.h"

namespace corvella {

// A message box with the text, the title "Corvella", the exclamation icon and an OK button.
// Any thread may call it; it returns when the user has closed the box.
void ShowErrorBox(std::u16string_view text);

class ErrorBoxSink final : public ErrorSink {
  public:
    void ShowError(std::u16string_view message) override { ShowErrorBox(message); }
};

}  // namespace corvella
