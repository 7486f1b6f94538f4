// talyx_aboutpicture: draws the about box's 225 x 89 picture and writes it as a JPEG file.
//
// The picture is drawn procedurally so that it can be made again from this file alone: a dark
// blue gradient, the name TALYX in block letters from a 5 x 7 dot font, and a serial frame
// (start bit, the bits of 'T' least significant first, stop bit) drawn as a line signal under it.
// Usage: talyx_aboutpicture <output.jpg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <cstddef>
#include <jpeglib.h>
// clang-format on

namespace {

constexpr int Width = 225;
constexpr int Height = 89;

struct Rgb {
  uint8_t R, G, B;
};

class Canvas {
 public:
  Canvas() : pixels_(Width * Height) {}

  void Put(int x, int y, Rgb color) {
    if (x >= 0 && x < Width && y >= 0 && y < Height) pixels_[y * Width + x] = color;
  }
  void Fill(int left, int top, int width, int height, Rgb color) {
    for (int y = top; y < top + height; ++y)
      for (int x = left; x < left + width; ++x) Put(x, y, color);
  }
  const uint8_t* Row(int y) const { return &pixels_[y * Width].R; }

 private:
  std::vector<Rgb> pixels_;
};

// Rows of the five letters, top row first; bit 4 is the leftmost dot.
struct Glyph {
  char Letter;
  uint8_t Rows[7];
};
constexpr Glyph Font[] = {
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
};

const Glyph* GlyphOf(char letter) {
  for (const Glyph& glyph : Font)
    if (glyph.Letter == letter) return &glyph;
  return nullptr;
}

// Each dot of the font becomes a dot x dot square with a one-pixel shadow.
void DrawText(Canvas& canvas, const char* text, int left, int top, int dot, Rgb color) {
  constexpr Rgb Shadow{10, 20, 50};
  for (int i = 0; text[i] != '\0'; ++i) {
    const Glyph* glyph = GlyphOf(text[i]);
    if (!glyph) continue;
    const int glyphLeft = left + i * 6 * dot;
    for (int row = 0; row < 7; ++row)
      for (int column = 0; column < 5; ++column)
        if (glyph->Rows[row] & (0x10 >> column)) {
          canvas.Fill(glyphLeft + column * dot + 1, top + row * dot + 1, dot, dot, Shadow);
          canvas.Fill(glyphLeft + column * dot, top + row * dot, dot, dot, color);
        }
  }
}

// One character on the line as the port sends it: idle high, start bit low, eight data bits
// least significant first, stop bit high.
void DrawFrame(Canvas& canvas, uint8_t character, int left, int top, int bitWidth, int swing,
               Rgb color) {
  std::vector<bool> levels{true, false};
  for (int bit = 0; bit < 8; ++bit) levels.push_back((character >> bit) & 1);
  levels.push_back(true);
  levels.push_back(true);
  for (size_t i = 0; i < levels.size(); ++i) {
    const int x = left + static_cast<int>(i) * bitWidth;
    const int y = levels[i] ? top : top + swing;
    canvas.Fill(x, y, bitWidth + 1, 2, color);
    if (i > 0 && levels[i] != levels[i - 1]) canvas.Fill(x, top, 2, swing + 2, color);
  }
}

bool WriteJpeg(const Canvas& canvas, const char* path) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);  // the standard manager exits the program on an error
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = Width;
  info.image_height = Height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(canvas.Row(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.jpg>\n", argv[0]);
    return 2;
  }
  Canvas canvas;
  // Dark blue at the top to a lighter steel blue at the bottom.
  for (int y = 0; y < Height; ++y) {
    const int t = y * 255 / (Height - 1);
    canvas.Fill(0, y, Width, 1,
                Rgb{static_cast<uint8_t>(16 + t / 8), static_cast<uint8_t>(40 + t / 4),
                    static_cast<uint8_t>(96 + t / 3)});
  }
  // A thin frame around the picture.
  constexpr Rgb Frame{150, 180, 220};
  canvas.Fill(0, 0, Width, 1, Frame);
  canvas.Fill(0, Height - 1, Width, 1, Frame);
  canvas.Fill(0, 0, 1, Height, Frame);
  canvas.Fill(Width - 1, 0, 1, Height, Frame);

  // TALYX: five letters of 5 dots at 5 pixels, one dot apart, centred.
  constexpr int Dot = 5;
  constexpr int TextWidth = 5 * 6 * Dot - Dot;
  DrawText(canvas, "TALYX", (Width - TextWidth) / 2, 10, Dot, Rgb{255, 255, 255});
  // The frame of 'T' on the line below, in the lamp's green.
  constexpr int BitWidth = 15;
  DrawFrame(canvas, 'T', (Width - 12 * BitWidth) / 2, 58, BitWidth, 18, Rgb{0, 230, 80});

  if (!WriteJpeg(canvas, argv[1])) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
