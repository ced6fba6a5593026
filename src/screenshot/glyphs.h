// The two dot fonts of the screenshot's text band: 95 glyphs of 7 x 11 for
// the characters 32 to 126, and 16 glyphs of 7 x 5 for the hexadecimal
// digits that stand for any other byte.
#pragma once

namespace screenshot {

const int kGlyphWidth = 7;
const int kTextGlyphHeight = 11;
const int kDigitGlyphHeight = 5;

// Turns the glyph tables into masks (0 off, 255 on), once at initialisation.
void PrepareGlyphMasks();
// 1 when cell (x, y) of the glyph of character code (32 to 126) is on.
int TextGlyphOn(int code, int x, int y);
// 1 when cell (x, y) of the glyph of hexadecimal digit (0 to 15) is on.
int DigitGlyphOn(int digit, int x, int y);

}  // namespace screenshot
