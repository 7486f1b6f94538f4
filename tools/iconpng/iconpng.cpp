// talyx_iconpng: renders the application icon (an SVG file) as a square PNG file of one size, for
// the icon theme's fixed-size folders. Run at build time, so the PNG files always match the SVG.
//
// The picture is scaled to fill the square, on a transparent background, with antialiasing. It
// is drawn into an image, with no display and no application object: the icon holds shapes
// only, no text (text would need the fonts of a running application).
// Usage: talyx_iconpng <icon.svg> <size> <output.png>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("Usage: talyx_iconpng <icon.svg> <size> <output.png>\n", stderr);
    return 2;
  }
  const char* svgPath = argv[1];
  const int size = std::atoi(argv[2]);
  const char* pngPath = argv[3];
  if (size < 1 || size > 1024) {
    std::fprintf(stderr, "talyx_iconpng: size %s is not between 1 and 1024\n", argv[2]);
    return 2;
  }
  QSvgRenderer renderer{QString::fromLocal8Bit(svgPath)};
  if (!renderer.isValid()) {
    std::fprintf(stderr, "talyx_iconpng: %s is not a readable SVG picture\n", svgPath);
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(0, 0, size, size));
  painter.end();
  if (!image.save(QString::fromLocal8Bit(pngPath), "PNG")) {
    std::fprintf(stderr, "talyx_iconpng: cannot write %s\n", pngPath);
    return 1;
  }
  return 0;
}
