// Placeholder until the SDL dialogs land.
#include "platform/dialogs.h"

void ShowMessageBox(std::u16string_view, std::u16string_view) {}
std::u16string PromptForText(std::u16string_view, std::u16string_view, std::u16string_view) { return {}; }
