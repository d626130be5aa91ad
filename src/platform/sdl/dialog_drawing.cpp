#include "dialog_drawing.h"

#include <SDL_ttf.h>

void SetDialogColour(SDL_Renderer* renderer, SDL_Color colour) {
    SDL_SetRenderDrawColor(renderer, colour.r, colour.g, colour.b, colour.a);
}

int DialogTextWidth(TTF_Font* font, const std::string& utf8) {
    int width = 0, height = 0;
    if (font == nullptr || utf8.empty() || TTF_SizeUTF8(font, utf8.c_str(), &width, &height) != 0) return 0;
    return width;
}

int DialogCellHeight(TTF_Font* font, int fallback) {
    return font != nullptr ? TTF_FontHeight(font) : fallback;
}

void DrawDialogText(SDL_Renderer* renderer, TTF_Font* font, const std::string& utf8, int x, int y) {
    if (font == nullptr || utf8.empty()) return;
    SDL_Surface* glyphs = TTF_RenderUTF8_Blended(font, utf8.c_str(), kDialogInk);
    if (glyphs == nullptr) return;
    SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, glyphs);
    if (texture != nullptr) {
        const SDL_Rect at{x, y, glyphs->w, glyphs->h};
        SDL_RenderCopy(renderer, texture, nullptr, &at);
        SDL_DestroyTexture(texture);
    }
    SDL_FreeSurface(glyphs);
}

void DrawDefaultButton(SDL_Renderer* renderer, TTF_Font* font, const SDL_Rect& button,
                       const std::string& label) {
    SetDialogColour(renderer, SDL_Color{225, 225, 225, 255});
    SDL_RenderFillRect(renderer, &button);
    SetDialogColour(renderer, kDialogFocus);
    SDL_RenderDrawRect(renderer, &button);
    const SDL_Rect inner{button.x + 1, button.y + 1, button.w - 2, button.h - 2};
    SDL_RenderDrawRect(renderer, &inner);
    const int cell = DialogCellHeight(font, 0);
    DrawDialogText(renderer, font, label, button.x + (button.w - DialogTextWidth(font, label)) / 2,
                   button.y + (button.h - cell) / 2);
}
