#include "system_font.h"

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <string>

namespace {

// The Windows system font's cell height; the face is sized down until its
// cell fits.
constexpr int kCellHeight = 16;
constexpr int kSmallestSize = 6;

TTF_Font* Font = nullptr;
bool LookedUp = false;
bool TtfStarted = false;
bool FontconfigUsed = false;

// The file and face index of fontconfig's best match for "sans-serif".
bool FindSansFile(std::string& file, int& index) {
    FontconfigUsed = true;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) return false;
    bool found = false;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    if (pattern != nullptr) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcChar8* path = nullptr;
        if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch &&
            path != nullptr) {
            file = reinterpret_cast<const char*>(path);
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
            found = true;
        }
        if (match != nullptr) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return found;
}

TTF_Font* OpenSansFont() {
    std::string file;
    int index = 0;
    if (!FindSansFile(file, index)) return nullptr;
    if (TTF_Init() != 0) return nullptr;
    TtfStarted = true;
    int size = kCellHeight;
    TTF_Font* font = TTF_OpenFontIndex(file.c_str(), size, index);
    if (font == nullptr) return nullptr;
    while (TTF_FontHeight(font) > kCellHeight && size > kSmallestSize)
        if (TTF_SetFontSize(font, --size) != 0) break;
    return font;
}

} // namespace

TTF_Font* SystemFont() {
    // One look-up per run: a machine without fonts is not asked again every tick.
    if (!LookedUp) {
        LookedUp = true;
        Font = OpenSansFont();
    }
    return Font;
}

void CloseSystemFont() {
    if (Font != nullptr) TTF_CloseFont(Font);
    Font = nullptr;
    if (TtfStarted) TTF_Quit();
    TtfStarted = false;
    if (FontconfigUsed) FcFini();
    FontconfigUsed = false;
    LookedUp = false;
}
