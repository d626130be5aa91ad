#include "edit_line.h"
#include "sdl_backend.h"

std::string ToUtf8(std::u16string_view text) { return Utf8FromCodePoints(CodePointsFromUtf16(text)); }
