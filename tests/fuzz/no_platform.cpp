// The fuzzer drives the reader directly; the file and dialog services the
// rest of the reader uses are never reached, but must link.
#include "platform/dialogs.h"
#include "platform/file_reading.h"

void ShowMessageBox(std::u16string_view, std::u16string_view) {}
std::u16string PromptForText(std::u16string_view, std::u16string_view, std::u16string_view) { return {}; }
bool OpenReadFile(std::u16string_view) { return false; }
int32_t ReadFileBytes(uint8_t*, int32_t) { return 0; }
void CloseReadFile() {}
